"""The grader's sandboxes: each runs a submission's steps as a user of its own, in a control group
with memory, process and processor limits, on a disk and an X display of its own, with no network
and nothing of the host's but the system read-only and what the build needs. Every limit is proved
before the first submission runs (Sandboxes.prove).
"""
import os
import pwd
import re
import secrets
import shlex
import shutil
import stat
import struct
import subprocess
import sys
import threading
import time

import xdisplay
from outside import run_limited

SCREEN = (1920, 1200)
FIRST_UID = 64000  # each sandbox runs as a user of its own, the first free one from here up
MEMORY_LIMIT = 1 << 30
PROCESS_LIMIT = 256
FILE_SIZE_LIMIT = 256 << 20
TMP_LIMIT = 256 << 20  # the sandbox's /tmp, in memory
DISK_LIMIT = 256 << 20  # its own disk: its scene, its program, what it changes in its Wine prefix
CPU_PERIOD = 100000  # microseconds; a sandbox gets the processors divided by the jobs
TOOL_TIMEOUT = 60  # seconds for one call of a tool outside the sandbox (ninja, compare, ...)
# What a sandbox is held to; the run stops unless each is proved (or the teacher accepts less).
LIMITS = ["memory", "processes", "processors", "disk", "/tmp", "files", "time"]


class Stopped(Exception):
    """The run is being ended: no sandbox starts any more."""


class Limits:
    """Memory and process limits for one sandbox, and its share of the processors (CORES of
    them), in a control group of its own (v2 or v1): a submission that spins cannot slow its
    neighbour's past the time limit."""

    def __init__(self, name, cores):
        self.files, self.dirs, self.events = [], [], {}
        base = "/sys/fs/cgroup"
        quota = cores * CPU_PERIOD
        if os.path.exists(os.path.join(base, "cgroup.controllers")):
            try:
                with open(os.path.join(base, "cgroup.subtree_control"), "w") as f:
                    f.write("+memory +pids +cpu")
            except OSError:
                pass
            self._make(os.path.join(base, name), {"memory.max": MEMORY_LIMIT, "memory.swap.max": 0,
                                                  "pids.max": PROCESS_LIMIT,
                                                  "cpu.max": "%d %d" % (quota, CPU_PERIOD)})
            self.events = {"oom_kill": os.path.join(base, name, "memory.events"),
                           "max": os.path.join(base, name, "memory.events"),
                           "pids": os.path.join(base, name, "pids.events")}
        elif os.path.isdir(os.path.join(base, "memory")) and os.path.isdir(os.path.join(base, "pids")):
            self._make(os.path.join(base, "memory", name), {"memory.limit_in_bytes": MEMORY_LIMIT})
            self._make(os.path.join(base, "pids", name), {"pids.max": PROCESS_LIMIT})
            if os.path.isdir(os.path.join(base, "cpu")):
                self._make(os.path.join(base, "cpu", name), {"cpu.cfs_period_us": CPU_PERIOD,
                                                             "cpu.cfs_quota_us": quota})
            self.events = {"oom_kill": os.path.join(base, "memory", name, "memory.oom_control"),
                           "max": os.path.join(base, "memory", name, "memory.failcnt"),
                           "pids": os.path.join(base, "pids", name, "pids.events")}
        self.working = bool(self.dirs) and all(os.path.exists(f) for f in self.files)

    def _make(self, path, settings):
        try:
            os.makedirs(path, exist_ok=True)
            self.dirs.append(path)
            for key, value in settings.items():
                if os.path.exists(os.path.join(path, key)):
                    with open(os.path.join(path, key), "w") as f:
                        f.write(str(value))
            self.files.append(os.path.join(path, "cgroup.procs"))
        except OSError:
            pass

    def prefix(self):
        """A command prefix that moves itself into the groups, then runs the rest."""
        if not self.working:
            # Weaker, but still limits: processes of the slot's own user, memory per process.
            return ["prlimit", "--nproc=%d" % PROCESS_LIMIT, "--data=%d" % MEMORY_LIMIT, "--"]
        return ["sh", "-c", 'for f in %s; do echo $$ > "$f"; done; exec "$@"'
                % " ".join(shlex.quote(f) for f in self.files), "sh"]

    def in_force(self):
        """Each limit that holds, as the control groups read back, in words: {"memory": "memory
        1024 MiB", ...}; without them, what prlimit holds instead. A value that did not take is
        left out."""
        if not self.working:
            return {"processes": "%d processes of its own user" % PROCESS_LIMIT,
                    "memory of each process": "memory %d MiB a process" % (MEMORY_LIMIT >> 20)}
        found = {}
        for path in self.dirs:
            for key in ("memory.max", "memory.limit_in_bytes", "pids.max", "cpu.max", "cpu.cfs_quota_us"):
                text = read(os.path.join(path, key))
                if text and text.split()[0].isdigit():
                    found[key.split(".")[0]] = int(text.split()[0])
        held = {}
        if found.get("memory") == MEMORY_LIMIT:
            held["memory"] = "memory %d MiB" % (MEMORY_LIMIT >> 20)
        if found.get("pids") == PROCESS_LIMIT:
            held["processes"] = "%d processes" % PROCESS_LIMIT
        if found.get("cpu"):
            cores = found["cpu"] / CPU_PERIOD
            held["processors"] = "%g processor%s" % (cores, "" if cores == 1 else "s")
        return held

    def counts(self):
        """Times the memory limit killed a process (oom_kill) or was reached (max), and times a
        new process was refused (pids)."""
        found = {}
        for key, path in self.events.items():
            text = open(path).read() if os.path.exists(path) else ""
            m = re.search(r"^(?:%s )?(\d+)$" % ("max" if key == "pids" else key), text, re.M)
            found[key] = int(m.group(1)) if m else 0
        return found

    def close(self):
        """Removes the groups, first ending what is still in them: a run that was interrupted may
        leave a sandbox's processes dying, and a group with processes cannot be removed."""
        for path in self.dirs:
            deadline = time.monotonic() + 5
            while os.path.isdir(path):
                try:
                    with open(os.path.join(path, "cgroup.procs")) as f:
                        for pid in f.read().split():
                            os.kill(int(pid), 9)
                    os.rmdir(path)
                except OSError:
                    if time.monotonic() > deadline:
                        print("grade: cannot remove the control group %s" % path, file=sys.stderr)
                        break
                    time.sleep(0.05)


class Slot:
    """One sandbox at a time: its own X display, which only a holder of its key may use, its own
    user, disk and limits. No window manager: nothing with more rights than the submission acts
    on the display (the program pictures itself and ends without waiting for one)."""

    def __init__(self, index, work, cores, uid, prefix):
        self.index, self.work, self.uid = index, work, uid
        os.makedirs(work, exist_ok=True)
        self.disk = Disk(os.path.join(work, "disk"), prefix)
        self.authority = make_authority(os.path.join(work, "authority"))
        self.xvfb, number = xdisplay.start("%dx%dx24" % SCREEN, authority=self.authority)
        self.display = ":" + number
        self.socket = "/tmp/.X11-unix/X" + number
        self.limits = Limits("tutorial-grade-%d-%d" % (os.getpid(), index), cores)

    def close(self):
        self.disk.clear()
        self.xvfb.terminate()
        try:
            self.xvfb.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.xvfb.kill()
            self.xvfb.wait()
        self.limits.close()


class Disk:
    """A slot's own disk, made anew for each submission: a tmpfs of DISK_LIMIT bytes holding the
    submission's folder, with the prepared Wine prefix under an overlay whose changes land on the
    same tmpfs. A submission that fills its disk fills this, nothing of the host's. Unlimited (a
    host folder, each file limited alone, the prefix copied as hard links) where mounts fail."""

    def __init__(self, path, prefix):
        self.path, self.prefix, self.limited = path, prefix, True
        self.scratch = os.path.join(path, "scratch")

    def make(self):
        """The submission's empty folder with its own Wine prefix in it. Raises OSError, saying
        why, when a limited disk cannot be made."""
        self.clear()
        os.makedirs(self.path)
        merged = os.path.join(self.scratch, "prefix")
        if not self.limited:
            os.makedirs(self.scratch)
            if run_limited(["cp", "-al", self.prefix, merged], 120).returncode != 0:
                shutil.copytree(self.prefix, merged, symlinks=True)
            return self.scratch
        mount("tmpfs", self.path, "size=%d,mode=0755,nosuid,nodev" % DISK_LIMIT)
        for folder in ("upper", "over", "scratch/prefix"):
            os.makedirs(os.path.join(self.path, folder))
        # NOTE: the option string splits at commas and colons; a path's own are escaped.
        escape = lambda path: re.sub(r"([,:\\])", r"\\\1", path)
        mount("overlay", merged, "lowerdir=%s,upperdir=%s,workdir=%s,nosuid,nodev" % (
            escape(self.prefix), escape(os.path.join(self.path, "upper")), escape(os.path.join(self.path, "over"))))
        return self.scratch

    def clear(self):
        """Unmounts and removes it all; whatever a dying sandbox still holds goes when it ends."""
        remove_mounted(self.path)


def mount(kind, point, options):
    result = run_limited(["mount", "-t", kind, "-o", options, kind, point], TOOL_TIMEOUT)
    if result.returncode != 0:
        raise OSError("%s at %s: %s" % (kind, point, " ".join(result.stderr.split()) or "exit code %d" % result.returncode))


def remove_mounted(path):
    """Removes a folder with whatever is mounted in it, the deepest mount first."""
    for point in sorted(mounts_under(path), key=len, reverse=True):
        run_limited(["umount", "--lazy", point], TOOL_TIMEOUT)
    shutil.rmtree(path, ignore_errors=True)


def mounts_under(path):
    """The mount points at path or under it, as the kernel lists them (octal escapes undone)."""
    points = []
    with open("/proc/self/mounts") as f:
        for line in f:
            point = re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)), line.split()[1])
            if point == path or point.startswith(path.rstrip("/") + "/"):
                points.append(point)
    return points


def free_uids(count):
    """User ids that no account and no running process has, one a slot: a limit per user then
    counts one slot's processes alone."""
    taken = set()
    for entry in os.listdir("/proc"):
        try:
            taken.add(os.stat("/proc/" + entry).st_uid if entry.isdigit() else -1)
        except OSError:
            pass
    uids, uid = [], FIRST_UID
    while len(uids) < count:
        try:
            pwd.getpwuid(uid)
        except KeyError:
            if uid not in taken:
                uids.append(uid)
        uid += 1
    return uids


def make_authority(path):
    """An X authority file with a fresh key that opens any display: the server of a slot reads it,
    and a copy in the sandbox lets the submission, and nothing else, in."""
    field = lambda data: struct.pack(">H", len(data)) + data
    record = (struct.pack(">H", 0xFFFF) + field(b"") + field(b"") +  # any address, any display
              field(b"MIT-MAGIC-COOKIE-1") + field(secrets.token_bytes(16)))
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(record)
    return path


class Sandboxes:
    """Runs commands in the slots' sandboxes, each for at most TIMEOUT seconds, and ends those
    running when the run is stopped. FILES are the build's files a sandbox sees, read-only."""

    def __init__(self, files, timeout):
        self.files, self.timeout = files, timeout
        self.wine = os.environ.get("WINE", "wine")
        # The sandboxes running now, so that an interrupted run can end them.
        self.running, self.lock, self.stopping = set(), threading.Lock(), threading.Event()
        self.why_not = {}  # a limit that could not be set: why

    def command(self, slot, scratch, argv, cwd="/scratch", display=False):
        """The command that runs argv as the slot's user, seeing the system read-only, the kit
        read-only, its scratch folder and nothing else; no network."""
        box = ["bwrap", "--unshare-ipc", "--unshare-pid", "--unshare-net", "--unshare-uts",
               "--unshare-cgroup-try", "--die-with-parent", "--new-session",
               "--cap-add", "CAP_SETUID", "--cap-add", "CAP_SETGID",
               "--ro-bind", "/usr", "/usr", "--proc", "/proc", "--dev", "/dev",
               "--perms", "1777", "--size", str(TMP_LIMIT), "--tmpfs", "/tmp"]
        for top in ("/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"):
            if os.path.islink(top):
                box += ["--symlink", os.readlink(top), top]
            elif os.path.isdir(top):
                box += ["--ro-bind", top, top]
        binds = [(path, path) for path in sorted(self.files)] + [(scratch, "/scratch")]
        if display:
            binds.append((slot.socket, slot.socket))
        # NOTE: bwrap makes the folders above a mount point for root alone (0700): make them
        # first, open to all, or the sandbox's user could not reach what is mounted there.
        above = {"/etc"}
        for _, target in binds:
            parent = os.path.dirname(target)
            while parent not in ("/", "/usr", "/tmp") and not parent.startswith("/usr/"):
                above.add(parent)
                parent = os.path.dirname(parent)
        for folder in sorted(above, key=lambda p: p.count("/")):
            box += ["--perms", "0755", "--dir", folder]
        for path in ("/etc/alternatives", "/etc/ld.so.cache", "/etc/fonts"):
            box += ["--ro-bind-try", path, path]
        for source, target in binds:
            box += ["--bind" if target == "/scratch" else "--ro-bind", source, target]
        env = {"PATH": "/usr/bin:/bin", "HOME": "/scratch/home", "XDG_CACHE_HOME": "/scratch/home/.cache",
               "WINEPREFIX": "/scratch/prefix", "WINEDEBUG": "-all", "WINE": self.wine,
               "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d", "LANG": "C.UTF-8"}
        for key in ("WINEARCH", "WINELOADER"):
            if key in os.environ:
                env[key] = os.environ[key]
        if display:
            env["DISPLAY"] = slot.display
        box += ["--clearenv"]
        for key, value in env.items():
            box += ["--setenv", key, value]
        box += ["--chdir", cwd, "--",
                "setpriv", "--reuid=%d" % slot.uid, "--regid=%d" % slot.uid, "--clear-groups",
                "--inh-caps=-all", "--bounding-set=-all", "--",
                "prlimit", "--fsize=%d" % FILE_SIZE_LIMIT, "--core=0", "--"]
        return slot.limits.prefix() + box + argv

    def prove(self, slot):
        """Each limit of the slot's sandbox that holds, in words, keyed by its name, as read back:
        the control groups' files, and the sizes and limits a program inside sees."""
        held = slot.limits.in_force()
        if not slot.limits.working:
            self.why_not["control groups"] = "none could be made under /sys/fs/cgroup"
        held["time"] = "%g s a step" % self.timeout
        try:
            scratch = slot.disk.make()
        except OSError as error:
            self.why_not["disk"] = str(error)
            slot.disk.limited = False
            scratch = slot.disk.make()
        os.chown(scratch, slot.uid, slot.uid)
        probe = "df -k --output=size /tmp /scratch | tail -n 2; ulimit -f"
        code, said = self.run(slot, scratch, ["sh", "-c", probe])
        slot.disk.clear()
        sizes = said.split()
        if code == 0 and len(sizes) == 3 and all(word.isdigit() for word in sizes):
            tmp, disk, blocks = (int(word) for word in sizes)
            if tmp << 10 == TMP_LIMIT:
                held["/tmp"] = "/tmp %d MiB" % (TMP_LIMIT >> 20)
            if disk << 10 == DISK_LIMIT and slot.disk.limited:
                held["disk"] = "disk %d MiB" % (DISK_LIMIT >> 20)
            if blocks * 512 == FILE_SIZE_LIMIT:
                held["files"] = "files %d MiB each" % (FILE_SIZE_LIMIT >> 20)
        else:
            self.why_not["sandbox"] = "a program in it said: %s" % (" ".join(said.split())[:300] or "exit code %s" % code)
        return held

    def run(self, slot, scratch, argv, cwd="/scratch", display=False):
        """Runs argv in the sandbox for at most --timeout seconds; returns (exit code or None when
        the limit ended it, output)."""
        with self.lock:
            if self.stopping.is_set():
                raise Stopped()
            # NOTE: a session of its own: a Ctrl+C in the teacher's terminal reaches the grader,
            # which ends the sandboxes itself, not the students' programs.
            process = subprocess.Popen(self.command(slot, scratch, argv, cwd=cwd, display=display),
                                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                       errors="replace", start_new_session=True)
            self.running.add(process)
        try:
            output = process.communicate(timeout=self.timeout)[0]
        except subprocess.TimeoutExpired:
            end_sandbox(process)
            return None, ""
        finally:
            with self.lock:
                self.running.discard(process)
        return process.returncode, output

    def stop(self):
        """Ends every sandbox now running and starts no more."""
        with self.lock:
            self.stopping.set()
            running = list(self.running)
        for process in running:
            end_sandbox(process)


def end_sandbox(process):
    """Ends everything in the sandbox: its first process is the namespace's init, and with it go
    all the others. bwrap then reaps it and ends too."""
    try:
        with open("/proc/%d/task/%d/children" % (process.pid, process.pid)) as f:
            for child in f.read().split():
                os.kill(int(child), 9)
    except OSError:
        pass
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def read(path, limit=1 << 20, text=True):
    """A file the sandbox wrote, or None. NOTE: it may have put a link or a pipe there instead:
    only a regular file is read, the link not followed, and no more than limit bytes."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK)
    except OSError:
        return None
    with os.fdopen(fd, "rb") as f:
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            return None
        data = f.read(limit)
        return data.decode("utf-8", "replace") if text else data
