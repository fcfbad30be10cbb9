"""The grader's sandboxes: each runs a submission's steps as a user of its own, in a control group
with memory, process and processor limits, on a disk and an X display of its own, with no network,
no system call that makes a namespace or reaches deeper into the kernel (syscalls.py), and nothing
of the host's but the system read-only and what the build needs. Every limit is proved before the
first submission runs (Sandboxes.prove).
"""
import ctypes
import errno
import glob
import os
import pwd
import re
import secrets
import select
import shlex
import shutil
import signal
import stat
import struct
import subprocess
import sys
import threading
import time

from tutor.contract import EXIT, MAX_HEIGHT, MAX_WIDTH
from tutor.outside import run_limited
from tutor.grade import syscalls

SCREEN = (MAX_WIDTH, MAX_HEIGHT)  # holds the largest picture any tool asks for
FIRST_UID = 64000  # each sandbox runs as a user of its own, the first free one from here up
MEMORY_LIMIT = 1 << 30
PROCESS_LIMIT = 256
FILE_SIZE_LIMIT = 256 << 20
TMP_LIMIT = 256 << 20  # the sandbox's /tmp, in memory
DISK_LIMIT = 256 << 20  # its own disk: its scene, its program, what it changes in its Wine prefix
CPU_PERIOD = 100000  # microseconds; a sandbox gets the processors divided by the jobs
TOOL_TIMEOUT = 60  # seconds for one call of a tool outside the sandbox (ninja, compare, ...)
OUTPUT_KEPT = 64 << 10  # bytes kept of a step's output at its start, and as many at its end
OUTPUT_CAP = 64 << 20  # bytes of output past which a step is ended
GROUP_PREFIX = "tutorial-grade-"  # a run's control groups: GROUP_PREFIX + its pid + "-" + slot
# What a sandbox is held to; the run stops unless each is proved (or the teacher accepts less).
LIMITS = ["memory", "swap", "processes", "processors", "disk", "/tmp", "files", "system call filter", "time"]
# What a sandbox sees of /usr: the system's programs, libraries and data, and the cross compilers'
# own folders; never /usr/local or /usr/src, where a teacher may keep anything.
USR_FOLDERS = ["bin", "sbin", "lib", "lib32", "lib64", "libx32", "libexec", "share", "*-w64-mingw32"]
SYSCALL_FILTER = "syscalls.bpf"  # the compiled filter, in each slot's work folder
FILTER_FD = 3  # where bwrap reads it


class Stopped(Exception):
    """The run is being ended: no sandbox starts any more."""


class Flooded(Exception):
    """A step wrote more than OUTPUT_CAP bytes and was ended."""

    def __init__(self, output):
        super().__init__("more than %s of output" % size_in_words(OUTPUT_CAP))
        self.output = output


def size_in_words(count):
    """Bytes as a person reads them: "512 bytes", "64 KiB", "3.0 GiB"."""
    if count < 1024:
        return "%d bytes" % count
    for unit in ("KiB", "MiB", "GiB", "TiB"):
        count /= 1024
        if count < 1024 or unit == "TiB":
            return ("%d %s" if count == int(count) else "%.1f %s") % (count, unit)


class Output:
    """What a step writes, held to OUTPUT_KEPT bytes at its start and as many at its end; what
    lies between is counted, not kept, however much it is."""

    def __init__(self, kept=OUTPUT_KEPT):
        self.kept, self.head, self.tail, self.total = kept, bytearray(), bytearray(), 0

    def add(self, chunk):
        self.total += len(chunk)
        room = self.kept - len(self.head)
        if room > 0:
            self.head += chunk[:room]
            chunk = chunk[room:]
        if chunk:
            self.tail += chunk
            del self.tail[:-self.kept]

    def text(self):
        skipped = self.total - len(self.head) - len(self.tail)
        middle = b"\n[... %s more ...]\n" % size_in_words(skipped).encode() if skipped else b""
        return (bytes(self.head) + middle + bytes(self.tail)).decode("utf-8", "replace")


# The control groups' files read back to prove a limit (v2 and v1), and what each holds.
READ_BACK = {"memory.max": "memory", "memory.limit_in_bytes": "memory", "memory.swap.max": "swap",
             "memory.memsw.limit_in_bytes": "memory and swap", "pids.max": "pids", "cpu.max": "cpu",
             "cpu.cfs_quota_us": "cpu"}


class Limits:
    """Memory and process limits for one sandbox, no swap, and its share of the processors (CORES
    of them, a fraction where the sandboxes outnumber the cores), in a control group of its own
    (v2 or v1): a submission that spins cannot slow its neighbour's past the time limit."""

    def __init__(self, name, cores):
        self.files, self.dirs, self.events = [], [], {}
        base = "/sys/fs/cgroup"
        quota = max(1000, int(cores * CPU_PERIOD))
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
            # NOTE: memory and swap together (memsw) can only be set once memory alone is.
            self._make(os.path.join(base, "memory", name), {"memory.limit_in_bytes": MEMORY_LIMIT,
                                                            "memory.memsw.limit_in_bytes": MEMORY_LIMIT})
            self._make(os.path.join(base, "pids", name), {"pids.max": PROCESS_LIMIT})
            if os.path.isdir(os.path.join(base, "cpu")):
                self._make(os.path.join(base, "cpu", name), {"cpu.cfs_period_us": CPU_PERIOD,
                                                             "cpu.cfs_quota_us": quota})
            self.events = {"oom_kill": os.path.join(base, "memory", name, "memory.oom_control"),
                           "max": os.path.join(base, "memory", name, "memory.failcnt"),
                           "pids": os.path.join(base, "pids", name, "pids.events")}
        self.working = bool(self.dirs) and all(os.path.exists(f) for f in self.files)

    def _make(self, path, settings):
        """A group with what of SETTINGS it takes: in_force reads back what holds."""
        try:
            os.makedirs(path, exist_ok=True)
        except OSError:
            return
        self.dirs.append(path)
        self.files.append(os.path.join(path, "cgroup.procs"))
        for key, value in settings.items():
            try:
                with open(os.path.join(path, key), "w") as f:
                    f.write(str(value))
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
        left out. The processors read back are self.cores."""
        self.cores = None
        if not self.working:
            return {"processes": "%d processes of its own user" % PROCESS_LIMIT,
                    "memory of each process": "memory %d MiB a process" % (MEMORY_LIMIT >> 20)}
        found = {}
        for path in self.dirs:
            for key, name in READ_BACK.items():
                text = read(os.path.join(path, key))
                if text and text.split()[0].isdigit():
                    found[name] = int(text.split()[0])
        held = {}
        if found.get("memory") == MEMORY_LIMIT:
            held["memory"] = "memory %d MiB" % (MEMORY_LIMIT >> 20)
        # v2 keeps swap apart (none); v1 counts memory and swap together (no more than memory).
        if found.get("swap") == 0 or found.get("memory and swap") == MEMORY_LIMIT:
            held["swap"] = "no swap"
        if found.get("pids") == PROCESS_LIMIT:
            held["processes"] = "%d processes" % PROCESS_LIMIT
        if found.get("cpu"):
            self.cores = found["cpu"] / CPU_PERIOD
            held["processors"] = "%g processor%s" % (round(self.cores, 2), "" if self.cores == 1 else "s")
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
        for path in self.dirs:
            remove_group(path)


def remove_group(path):
    """Removes a control group, first ending what is still in it: a run that was interrupted may
    leave a sandbox's processes dying, and a group with processes cannot be removed."""
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
                return False
            time.sleep(0.05)
    return True


class Slot:
    """One sandbox at a time, with its disk and limits; each submission in it gets a user of its
    own and an X display that its sandbox starts and ends."""

    def __init__(self, index, work, cores, users, prefix):
        self.index, self.work, self.users = index, work, users
        os.makedirs(work, exist_ok=True)
        self.disk = Disk(os.path.join(work, "disk"), prefix)
        self.limits = Limits("%s%d-%d" % (GROUP_PREFIX, os.getpid(), index), cores)
        self.uid = users.take()
        self.filter = None  # the compiled system call filter, once proved to load

    def next_user(self):
        """A user that no earlier submission had: nothing of one carries over to the next."""
        self.uid = self.users.take()

    def close(self):
        self.disk.clear()
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


class Users:
    """User ids that no account and no running process has, handed out once each: a limit per
    user then counts one submission's processes alone."""

    def __init__(self):
        self.lock, self.next = threading.Lock(), FIRST_UID

    def take(self):
        with self.lock:
            taken = set()
            for entry in os.listdir("/proc"):
                try:
                    taken.add(os.stat("/proc/" + entry).st_uid if entry.isdigit() else -1)
                except OSError:
                    pass
            while True:
                uid, self.next = self.next, self.next + 1
                try:
                    pwd.getpwuid(uid)
                except KeyError:
                    if uid not in taken:
                        return uid


def make_authority(path, uid):
    """An X authority file with a fresh key that opens any display, owned by UID: the X server of
    a submission's sandbox reads it, and its programs show it."""
    field = lambda data: struct.pack(">H", len(data)) + data
    record = (struct.pack(">H", 0xFFFF) + field(b"") + field(b"") +  # any address, any display
              field(b"MIT-MAGIC-COOKIE-1") + field(secrets.token_bytes(16)))
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW, 0o600)
    with os.fdopen(fd, "wb") as f:
        os.fchown(f.fileno(), uid, uid)
        f.write(record)
    return path


# Starts the sandbox's own X server (as its user, in its control group, with no shared memory
# to reach past its IPC namespace), waits until it takes connections, then runs the rest on it.
# It ends with the sandbox: nothing of one submission's display is there for the next.
WITH_DISPLAY = """
Xvfb -displayfd 3 -screen 0 %dx%dx24 -nolisten tcp -extension MIT-SHM -auth "$HOME/.Xauthority" \
  3>/tmp/.display </dev/null >/dev/null 2>&1 &
i=0
until [ -s /tmp/.display ]; do
  i=$((i + 1))
  [ $i -le 1000 ] || { echo "failed: the X server did not start" >&2; exit %d; }
  sleep 0.01
done
DISPLAY=:$(head -c 8 /tmp/.display | tr -dc 0-9) exec "$@"
""" % (SCREEN + (EXIT["failed"],))


class Sandboxes:
    """Runs commands in the slots' sandboxes, each for at most TIMEOUT seconds, and ends those
    running when the run is stopped. FILES are the build's files a sandbox sees, read-only; HIDDEN
    are the files and folders the run reads and writes (the checkout, the build, the class, the
    reference, the report), which no sandbox sees even where they lie among the system's folders."""

    def __init__(self, files, timeout, hidden=()):
        self.files, self.timeout, self.hidden = files, timeout, list(hidden)
        self.wine = os.environ.get("WINE", "wine")
        # The sandboxes running now, so that an interrupted run can end them.
        self.running, self.lock, self.stopping = set(), threading.Lock(), threading.Event()
        self.why_not = {}  # a limit that could not be set: why

    def command(self, slot, scratch, argv, cwd="/scratch", display=False):
        """The command that runs argv as the slot's user, seeing the system read-only, the kit
        read-only, its scratch folder and nothing else; no network; the slot's system call
        filter loaded, once prove has compiled it."""
        box = ["bwrap", "--unshare-ipc", "--unshare-pid", "--unshare-net", "--unshare-uts",
               "--unshare-cgroup-try", "--die-with-parent", "--new-session",
               "--cap-add", "CAP_SETUID", "--cap-add", "CAP_SETGID",
               "--proc", "/proc", "--dev", "/dev",
               "--perms", "1777", "--size", str(TMP_LIMIT), "--tmpfs", "/tmp",
               "--perms", "1777", "--dir", "/tmp/.X11-unix"]
        if slot.filter:
            box += ["--seccomp", str(FILTER_FD)]
        system, shown = [], []  # the host's folders it sees
        for top in ["/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"] + \
                sorted(p for pattern in USR_FOLDERS for p in glob.glob(os.path.join("/usr", pattern))):
            if os.path.islink(top):
                system += ["--symlink", os.readlink(top), top]
            elif os.path.isdir(top):
                system += ["--ro-bind", top, top]
                shown.append(top)
        for path in ("/etc/alternatives", "/etc/ld.so.cache", "/etc/fonts"):
            if os.path.exists(path):
                system += ["--ro-bind", path, path]
                shown.append(path)
        # What the run reads and writes, where a folder it sees would show it: a folder under an
        # empty one, a file (one straight in a system folder) under an empty file.
        masks, masked = [], []
        for path in sorted({os.path.realpath(p) for p in self.hidden}, key=len):
            folder = path if os.path.isdir(path) else os.path.dirname(path)
            if not os.path.exists(path) or any(within(path, m) for m in masked):
                continue
            if any(within(folder, top) and folder != top for top in shown):
                masks += ["--tmpfs", folder]
                masked.append(folder)
            elif os.path.isfile(path) and any(within(path, top) for top in shown):
                masks += ["--ro-bind", "/dev/null", path]
        binds = [(path, path) for path in sorted(self.files)] + [(scratch, "/scratch")]
        # NOTE: bwrap makes the folders above a mount point for root alone (0700): make them
        # first, open to all, or the sandbox's user could not reach what is mounted there. Those
        # in a mask are made once it is there.
        above = {"/etc", "/usr"}
        for _, target in binds:
            parent = os.path.dirname(target)
            while parent not in ("/", "/tmp") and not (any(within(parent, top) for top in shown) and
                                                       not any(within(parent, m) for m in masked)):
                above.add(parent)
                parent = os.path.dirname(parent)
        made = lambda folders: [arg for folder in sorted(folders, key=lambda p: p.count("/"))
                                for arg in ("--perms", "0755", "--dir", folder)]
        box += made(f for f in above if not any(within(f, m) for m in masked)) + system + masks
        box += made(f for f in above if any(within(f, m) for m in masked))
        for source, target in binds:
            box += ["--bind" if target == "/scratch" else "--ro-bind", source, target]
        env = {"PATH": "/usr/bin:/bin", "HOME": "/scratch/home", "XDG_CACHE_HOME": "/scratch/home/.cache",
               "WINEPREFIX": "/scratch/prefix", "WINEDEBUG": "-all", "WINE": self.wine,
               "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d", "LANG": "C.UTF-8"}
        for key in ("WINEARCH", "WINELOADER"):
            if key in os.environ:
                env[key] = os.environ[key]
        box += ["--clearenv"]
        for key, value in env.items():
            box += ["--setenv", key, value]
        box += ["--chdir", cwd, "--",
                "setpriv", "--reuid=%d" % slot.uid, "--regid=%d" % slot.uid, "--clear-groups",
                "--inh-caps=-all", "--bounding-set=-all", "--",
                "prlimit", "--fsize=%d" % FILE_SIZE_LIMIT, "--core=0", "--"]
        if display:
            box += ["sh", "-c", WITH_DISPLAY, "sh"]
        # bwrap reads the filter from a descriptor, opened here for each sandbox.
        opened = ["sh", "-c", 'exec "$@" %d<"$0"' % FILTER_FD, slot.filter] if slot.filter else []
        return slot.limits.prefix() + opened + box + argv

    def prove(self, slot):
        """Each limit of the slot's sandbox that holds, in words, keyed by its name, as read back:
        the control groups' files, and the sizes, limits and refused system calls a program inside
        sees."""
        held = slot.limits.in_force()
        if not slot.limits.working:
            self.why_not["control groups"] = "none could be made under /sys/fs/cgroup"
        held["time"] = "%g s a step" % self.timeout
        compiled = os.path.join(slot.work, SYSCALL_FILTER)
        made = run_limited([syscalls.DEBIAN_PYTHON, syscalls.__file__, compiled], TOOL_TIMEOUT)
        if made.returncode == 0:
            slot.filter = compiled
        else:
            said = made.stderr.strip().splitlines()
            self.why_not["system call filter"] = "not compiled: %s" % (
                said[-1] if said else "exit code %d" % made.returncode)
        try:
            scratch = slot.disk.make()
        except OSError as error:
            self.why_not["disk"] = str(error)
            slot.disk.limited = False
            scratch = slot.disk.make()
        os.chown(scratch, slot.uid, slot.uid)
        # NOTE: unshare -U would work for the sandbox's user but for the filter.
        probe = ("df -k --output=size /tmp /scratch | tail -n 2; ulimit -f; "
                 "sed -n 's/^Seccomp:[[:space:]]*//p' /proc/self/status; "
                 "unshare -U true 2>&1 | grep -q 'Operation not permitted' && echo refused || echo made")
        code, said = self.run(slot, scratch, ["sh", "-c", probe])
        slot.disk.clear()
        words = said.split()
        if code == 0 and len(words) == 5 and all(word.isdigit() for word in words[:4]):
            tmp, disk, blocks, mode = (int(word) for word in words[:4])
            if tmp << 10 == TMP_LIMIT:
                held["/tmp"] = "/tmp %d MiB" % (TMP_LIMIT >> 20)
            if disk << 10 == DISK_LIMIT and slot.disk.limited:
                held["disk"] = "disk %d MiB" % (DISK_LIMIT >> 20)
            if blocks * 512 == FILE_SIZE_LIMIT:
                held["files"] = "files %d MiB each" % (FILE_SIZE_LIMIT >> 20)
            if slot.filter and mode == 2 and words[4] == "refused":  # 2: a filter is loaded
                held["system call filter"] = "namespaces, mounts, ptrace, BPF and io_uring refused"
            elif slot.filter:
                self.why_not["system call filter"] = "a program in it was not refused a user namespace"
        else:
            self.why_not["sandbox"] = "a program in it said: %s" % (" ".join(said.split())[:300] or "exit code %s" % code)
        return held

    def run(self, slot, scratch, argv, cwd="/scratch", display=False, timeout=None):
        """Runs argv in the sandbox for at most TIMEOUT seconds (--timeout's by default); returns
        (exit code or None when the limit ended it, output). Its output is read as it comes and held to Output's bound;
        past OUTPUT_CAP bytes the sandbox is ended and Flooded raised."""
        with self.lock:
            if self.stopping.is_set():
                raise Stopped()
            # NOTE: a session of its own: a Ctrl+C in the teacher's terminal reaches the grader,
            # which ends the sandboxes itself, not the students' programs.
            process = subprocess.Popen(self.command(slot, scratch, argv, cwd=cwd, display=display),
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.STDOUT, start_new_session=True)
            self.running.add(process)
        try:
            deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
            output, chunks = Output(), read_until(process.stdout, deadline)
            for chunk in chunks:
                output.add(chunk)
                if output.total > OUTPUT_CAP:
                    end_sandbox(process)
                    raise Flooded(output)
            try:
                # Its output ends with it, but a process may close its output and go on.
                return process.wait(timeout=0 if chunks.timed_out else max(0, deadline - time.monotonic())), \
                    output.text()
            except subprocess.TimeoutExpired:
                end_sandbox(process)
                return None, output.text()
        finally:
            process.stdout.close()
            with self.lock:
                self.running.discard(process)

    def stop(self):
        """Ends every sandbox now running and starts no more."""
        with self.lock:
            self.stopping.set()
            running = list(self.running)
        for process in running:
            end_sandbox(process)


class read_until:
    """The chunks a pipe gives until its end or DEADLINE (then timed_out is set)."""

    def __init__(self, pipe, deadline):
        self.fd, self.deadline, self.timed_out = pipe.fileno(), deadline, False

    def __iter__(self):
        while True:
            left = self.deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                self.timed_out = True
                return
            chunk = os.read(self.fd, 1 << 16)
            if not chunk:
                return
            yield chunk


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


def within(path, folder):
    """Whether PATH is FOLDER or lies under it."""
    return path == folder or path.startswith(folder.rstrip("/") + "/")


def read(path, limit=1 << 20):
    """A control group's file, as text, or None."""
    try:
        with open(path, "rb") as f:
            return f.read(limit).decode("utf-8", "replace")
    except OSError:
        return None


class NotRegular(Exception):
    """What was to be read is a link, a folder or a special file, or is missing."""


def open_folder(path):
    """A descriptor of the folder at PATH, its last part not followed if it is a link: a
    sandbox's user may have put a link where its folder was. Raises NotRegular."""
    try:
        return os.open(path, os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW)
    except OSError as error:
        raise NotRegular(describe(path) if error.errno in (errno.ELOOP, errno.ENOTDIR) else error.strerror)


def read_regular(name, limit, folder=None):
    """The bytes of a regular file, at most LIMIT of them, and whether there were more: NAME is
    opened without following a link (relative to the FOLDER descriptor, if given), and neither a
    pipe nor a device is ever read. Raises NotRegular."""
    try:
        fd = os.open(name, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK | os.O_NOCTTY, dir_fd=folder)
    except OSError as error:
        if error.errno == errno.ENOENT:
            raise NotRegular("missing")
        raise NotRegular(describe(name, folder) if error.errno == errno.ELOOP else error.strerror)
    if not stat.S_ISREG(os.fstat(fd).st_mode):
        os.close(fd)
        raise NotRegular(describe(name, folder))
    with os.fdopen(fd, "rb") as f:
        data = f.read(limit + 1)
    return data[:limit], len(data) > limit


def describe(name, folder=None):
    """What kind of thing is at NAME, in words, its link not followed."""
    try:
        mode = os.stat(name, dir_fd=folder, follow_symlinks=False).st_mode
    except OSError:
        return "missing"
    kinds = ((stat.S_ISLNK, "a symbolic link"), (stat.S_ISDIR, "a folder"), (stat.S_ISREG, "a file"))
    return next((words for test, words in kinds if test(mode)), "a special file")


def die_with_parent():
    """SIGTERM when the process that started this one ends, even by SIGKILL: the grader then ends
    its sandboxes as on Ctrl+C. False where it cannot be set."""
    libc = ctypes.CDLL(None, use_errno=True)
    parent = os.getppid()
    if libc.prctl(1, signal.SIGTERM, 0, 0, 0) != 0:  # PR_SET_PDEATHSIG
        return False
    if os.getppid() != parent:  # it ended before the line above
        os.kill(os.getpid(), signal.SIGTERM)
    return True


def private_mounts():
    """Gives this process a mount namespace of its own, where the sandboxes' disks are mounted:
    they go when its last process ends, even if the grader is killed. False where it cannot be
    (not root); the disks then stay until the next run removes them. NOTE: before any thread
    starts; the kernel refuses it to a process with more than one."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(0x00020000) != 0:  # CLONE_NEWNS
        return False
    # Nothing mounted here reaches the host's namespace.
    return libc.mount(b"none", b"/", None, 0x4000 | 0x40000, None) == 0  # MS_REC | MS_PRIVATE


def remove_leftovers(work_root, keep):
    """Removes what runs that were killed left: their control groups and their work folders under
    WORK_ROOT (a folder per run, named by its process id), with whatever is still mounted there;
    KEEP is this run's. Returns what was removed, in words."""
    alive = lambda name: name.isdigit() and os.path.exists("/proc/%s" % name)
    removed = []
    groups = set()  # one a sandbox, in as many hierarchies as v1 has
    for base in ("/sys/fs/cgroup", "/sys/fs/cgroup/memory", "/sys/fs/cgroup/pids", "/sys/fs/cgroup/cpu"):
        try:
            names = os.listdir(base)
        except OSError:
            continue
        for name in names:
            m = re.fullmatch(re.escape(GROUP_PREFIX) + r"(\d+)-\d+", name)
            if m and not alive(m.group(1)) and remove_group(os.path.join(base, name)):
                groups.add(name)
    if groups:
        removed.append("%d control group%s" % (len(groups), "s" if len(groups) > 1 else ""))
    folders = 0
    for name in os.listdir(work_root) if os.path.isdir(work_root) else []:
        if name != keep and not alive(name):
            remove_mounted(os.path.join(work_root, name))
            folders += 1
    if folders:
        removed.append("%d work folder%s" % (folders, "s" if folders > 1 else ""))
    return removed
