"""Grades a class's exercises by picture.

Each NAME.cpp in SUBMISSIONS defines TForm1::DrawScene, as the exercises do. Each is compiled,
linked with the tools' entry (driver/Driver.cpp) and run once, in a sandbox of its own: the
program lets its scene run for a second, then draws one frame at each size and scene time and
writes it out itself. Each picture is compared with the reference's, made the same way. Writes
report.html (the pictures side by side, what differs marked) and results.csv to --out.

Every step has a time limit; a step that exceeds it ends the sandbox with everything in it.
Run through tools/grade, which installs, builds and prepares the Wine prefix first.
"""
import signal
import sys

# Until there is something to clean up, Ctrl+C just ends the program, without a traceback.
signal.signal(signal.SIGINT, signal.SIG_DFL)

import argparse  # noqa: E402 (after the line above, so that an early Ctrl+C is quiet)
import csv
import html
import os
import pwd
import queue
import re
import secrets
import select
import shlex
import shutil
import stat
import struct
import subprocess
import threading
import time
import zlib

PROGRAM = "Submission"
OWN_SIZE = "792x573"  # the client area the program opens with
DEFAULT_SIZES = [OWN_SIZE, "960x400", "400x720"]
SCREEN = (1920, 1200)
FIRST_UID = 64000  # each sandbox runs as a user of its own, the first free one from here up
MEMORY_LIMIT = 1 << 30
PROCESS_LIMIT = 256
FILE_SIZE_LIMIT = 256 << 20
TMP_LIMIT = 256 << 20  # the sandbox's /tmp, in memory
DISK_LIMIT = 256 << 20  # its own disk: its scene, its program, what it changes in its Wine prefix
CPU_PERIOD = 100000  # microseconds; a sandbox gets the processors divided by the jobs
MESSAGES_LIMIT = 20000  # characters of compiler output kept
PICTURE_LIMIT = 64 << 20  # bytes of one picture read back from a sandbox
TOOL_TIMEOUT = 60  # seconds for one call of a tool outside the sandbox (ninja, compare, ...)
# The driver's exit codes (driver/Driver.cpp) and the verdicts they give.
DRIVER_VERDICTS = {10: "error box", 11: "crashed", 12: "crashed", 13: "left early"}
# What a sandbox is held to; the run stops unless each is proved (or the teacher accepts less).
LIMITS = ["memory", "processes", "processors", "disk", "/tmp", "files", "time"]
VERDICTS = ["pass", "differs", "does not compile", "crashed", "hung", "error box", "left early"]


class Interrupted(Exception):
    """Ctrl+C, SIGTERM or SIGHUP: the run ends, its sandboxes with it."""

    def __init__(self, signum):
        super().__init__("signal %d" % signum)
        self.code = 128 + signum


def interrupt(signum, _frame):
    # NOTE: once only: Ctrl+C reaches both this process and tools/grade, which passes it on, and
    # the clean-up must not be interrupted in turn.
    if not interrupt.raised:
        interrupt.raised = True
        raise Interrupted(signum)


interrupt.raised = False


class Failure(Exception):
    """A submission's run ended in a verdict other than a picture at every size."""

    def __init__(self, verdict, detail, messages=""):
        super().__init__(detail)
        self.verdict, self.detail, self.messages = verdict, detail, messages


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="tools/grade", description=__doc__.split("\n\n")[0],
        usage="tools/grade --reference REFERENCE SUBMISSIONS [--out DIR] [--sizes WxH,...] "
              "[--times S,...] [--timeout S] [--fuzz PERCENT] [--tolerance PIXELS] [--jobs N] "
              "[--accept-weaker-limits]")
    parser.add_argument("submissions", metavar="SUBMISSIONS", help="a folder of NAME.cpp files, one a student")
    parser.add_argument("--reference", required=True,
                        help="the teacher's scene file, or a folder of pictures named by size and "
                             "scene time (800x600@0.5.png; 800x600.png for time 0), as tools/capture writes them")
    parser.add_argument("--out", default="grade", help="where the report goes (default grade/)")
    parser.add_argument("--sizes", help="client areas to picture (default: %s, the program's own, then "
                        "a wide and a tall one; with a folder of pictures, its pictures' sizes)" % OWN_SIZE)
    parser.add_argument("--times", help="scene times in seconds to picture at each size, what SceneTime() "
                        "returns (default: 0; with a folder of pictures, its pictures' times)")
    parser.add_argument("--timeout", type=float, default=20.0,
                        help="seconds a step may take: the compile, the link, the run with its pictures (20)")
    parser.add_argument("--fuzz", type=float, default=2.0, help="colour difference a pixel may have and match (2)")
    parser.add_argument("--tolerance", type=int,
                        help="pixels that may differ at each size (default 0.5%% of the picture)")
    parser.add_argument("--jobs", type=int, default=2, help="sandboxes side by side (2)")
    parser.add_argument("--accept-weaker-limits", action="store_true",
                        help="grade even where a sandbox's limit cannot be set (each is proved first, and "
                             "the run stops when one is missing)")
    parser.add_argument("--build", help=argparse.SUPPRESS)
    parser.add_argument("--check-only", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)

    if not os.path.isdir(args.submissions):
        parser.error("no folder of submissions at %s" % args.submissions)
    if not os.path.exists(args.reference):
        parser.error("no reference at %s" % args.reference)
    if os.path.isfile(args.reference) and not args.reference.endswith(".cpp"):
        parser.error("the reference is a scene file (.cpp) or a folder of pictures, not %s" % args.reference)
    for name, value in (("--timeout", args.timeout), ("--fuzz", args.fuzz)):
        if not value >= 0 or value != value or value == float("inf"):
            parser.error("%s takes a number of 0 or more, not %s" % (name, value))
    if args.timeout < 1:
        parser.error("--timeout takes at least 1 second")
    if args.tolerance is not None and args.tolerance < 0:
        parser.error("--tolerance takes a count of 0 or more")
    if not 1 <= args.jobs <= 8:
        parser.error("--jobs takes 1 to 8")

    pictures = {}
    if os.path.isdir(args.reference):
        for entry in sorted(os.listdir(args.reference)):
            m = re.fullmatch(r"([1-9]\d*x[1-9]\d*)(?:@(\d{1,6}(?:\.\d{1,6})?))?\.png", entry)
            if m:
                pictures[(m.group(1), canonical_time(m.group(2) or "0"))] = os.path.join(args.reference, entry)
        if not pictures:
            parser.error("no pictures named by size and time (800x600@0.png) in %s" % args.reference)
    if args.times is not None:
        times = args.times.split(",")
        for time_ in times:
            if not re.fullmatch(r"\d{1,6}(\.\d{1,6})?", time_):
                parser.error("--times takes seconds like 0,0.5,1, not '%s'" % args.times)
        times = [canonical_time(t) for t in times]
        if len(set(times)) != len(times):
            parser.error("--times names a time twice: %s" % args.times)
    else:
        times = sorted({t for _, t in pictures}, key=float) if pictures else ["0"]
    if args.sizes is not None:
        sizes = args.sizes.split(",")
        for size in sizes:
            m = re.fullmatch(r"([1-9]\d{0,3})x([1-9]\d{0,3})", size)
            if not m or int(m.group(1)) > SCREEN[0] or int(m.group(2)) > SCREEN[1]:
                parser.error("--sizes takes WxH,WxH,... up to %dx%d, not '%s'" % (SCREEN + (args.sizes,)))
        if len(set(sizes)) != len(sizes):
            parser.error("--sizes names a size twice: %s" % args.sizes)
    else:
        sizes = list(dict.fromkeys(s for s, _ in pictures)) if pictures else DEFAULT_SIZES
    missing = [(s, t) for s in sizes for t in times if pictures and (s, t) not in pictures]
    if missing:
        parser.error("no reference picture %s in %s" % (picture_name(*missing[0]), args.reference))
    args.sizes, args.times, args.pictures = sizes, times, pictures
    args.shots = [(s, t) for s in sizes for t in times]
    return args


def canonical_time(text):
    """Seconds as the driver names its pictures: 0.50 is 0.5, 1.0 is 1."""
    whole, _, fraction = text.partition(".")
    fraction = fraction.rstrip("0")
    return str(int(whole)) + ("." + fraction if fraction else "")


def picture_name(size, time_):
    return "%s@%s.png" % (size, time_)


def run_limited(argv, timeout=TOOL_TIMEOUT, **kwargs):
    """A tool's run with a time limit; one that exceeds it counts as failed, with exit code 124."""
    try:
        # NOTE: a session of its own, so that a Ctrl+C meant for the grader does not spoil a result.
        return subprocess.run(argv, capture_output=True, text=True, errors="replace", timeout=timeout,
                              start_new_session=True, **kwargs)
    except subprocess.TimeoutExpired as expired:
        return subprocess.CompletedProcess(argv, 124, "", "timed out after %g s" % expired.timeout)


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


class Kit:
    """What a submission is built from: the compile and link commands of the Watch target, taken
    from the build, with the files they read, which the sandbox sees read-only."""

    def __init__(self, build):
        self.build = build
        commands = run_limited(["ninja", "-C", build, "-t", "commands", "Watch_driver"]).stdout.splitlines()
        wrapper = os.path.join(build, "watch", "Scene.cpp")
        compile_line = next(c for c in commands if " -c " + wrapper in c)
        link_line = next(c for c in commands if " -o drivers/Watch.exe " in c)
        self.compile, self.link, self.files = [], [], set()

        tokens = iter(shlex.split(compile_line))
        for token in tokens:
            if token in ("-MT", "-MF", "-o"):
                next(tokens)
            elif token == "-MD":
                pass
            elif token == wrapper:
                self.compile.append("{source}")
            elif token == "-c":
                self.compile += ["-o", "/scratch/scene.obj", "-c"]
            else:
                self.compile.append(token)
        for i, token in enumerate(self.compile):
            if token.startswith("-I"):
                # The headers only: a teacher's reference scene may sit beside them.
                folder = token[2:]
                self.files.update(os.path.join(folder, name) for name in os.listdir(folder)
                                  if name.endswith(".h") and os.path.isfile(os.path.join(folder, name)))
            elif i and self.compile[i - 1] == "-include":
                self.files.update(p for p in (token, token + ".gch") if os.path.exists(p))

        for token in shlex.split(link_line):
            if token in (":", "&&"):
                continue
            if token == "CMakeFiles/Watch_driver.dir/watch/Scene.cpp.obj":
                token = "/scratch/scene.obj"
            elif token == "drivers/Watch.exe":
                token = "/scratch/%s.exe" % PROGRAM
            elif token.startswith("-Wl,--out-implib,"):
                token = "-Wl,--out-implib,/scratch/lib%s.dll.a" % PROGRAM
            elif not token.startswith("-") and os.path.exists(os.path.join(build, token)):
                self.files.add(os.path.join(build, token))
            elif os.path.isabs(token) and os.path.exists(token):
                self.files.add(token)
            self.link.append(token)


class Slot:
    """One sandbox at a time: its own X display, which only a holder of its key may use, its own
    user, disk and limits. No window manager: nothing with more rights than the submission acts
    on the display (the program pictures itself and ends without waiting for one)."""

    def __init__(self, index, work, cores, uid, prefix):
        self.index, self.work, self.uid = index, work, uid
        os.makedirs(work, exist_ok=True)
        self.disk = Disk(os.path.join(work, "disk"), prefix)
        self.authority = make_authority(os.path.join(work, "authority"))
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                                      "%dx%dx24" % SCREEN, "-nolisten", "tcp", "-auth", self.authority],
                                     pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        number, deadline = b"", time.monotonic() + 20
        try:
            while not number.endswith(b"\n"):
                ready, _, _ = select.select([read], [], [], max(0.0, deadline - time.monotonic()))
                chunk = os.read(read, 16) if ready else b""
                if not chunk:
                    self.xvfb.kill()
                    self.xvfb.wait()
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        finally:
            os.close(read)
        self.display = ":" + number.decode().strip()
        self.socket = "/tmp/.X11-unix/X" + number.decode().strip()
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
            if run_limited(["cp", "-al", self.prefix, merged], timeout=120).returncode != 0:
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
        for point in sorted(mounts_under(self.path), key=len, reverse=True):
            run_limited(["umount", "--lazy", point])
        shutil.rmtree(self.path, ignore_errors=True)


def mount(kind, point, options):
    result = run_limited(["mount", "-t", kind, "-o", options, kind, point])
    if result.returncode != 0:
        raise OSError("%s at %s: %s" % (kind, point, printable(result.stderr) or "exit code %d" % result.returncode))


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


class Grader:
    def __init__(self, args):
        self.args = args
        self.build = args.build
        self.kit = Kit(self.build)
        self.wine = os.environ.get("WINE", "wine")
        self.prefix = os.environ["WINEPREFIX"]
        self.out = os.path.abspath(args.out)
        self.work = os.path.join(self.build, "grade-work")
        # The sandboxes running now, so that an interrupted run can end them.
        self.running, self.lock, self.stopping = set(), threading.Lock(), threading.Event()
        self.why_not = {}  # a limit that could not be set: why
        # A run ended by force may have left its disks mounted.
        for point in sorted(mounts_under(self.work), key=len, reverse=True):
            run_limited(["umount", "--lazy", point])
        shutil.rmtree(self.work, ignore_errors=True)
        shutil.rmtree(os.path.join(self.out, "pictures"), ignore_errors=True)
        os.makedirs(os.path.join(self.out, "pictures"), exist_ok=True)

    # --- the sandbox ---------------------------------------------------------------------

    def sandbox(self, slot, scratch, argv, cwd="/scratch", display=False):
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
        binds = [(path, path) for path in sorted(self.kit.files)] + [(scratch, "/scratch")]
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

    def prepare_scratch(self, slot, source, name):
        """A fresh folder for one submission on its slot's disk: its scene, its X key and a Wine
        prefix of its own over the prepared one, whose files stay read-only to it."""
        scratch = slot.disk.make()
        os.makedirs(os.path.join(scratch, "home"))
        shutil.copyfile(slot.authority, os.path.join(scratch, "home", ".Xauthority"))
        os.chown(os.path.join(scratch, "home", ".Xauthority"), slot.uid, slot.uid)
        shutil.copyfile(source, os.path.join(scratch, name))
        prefix = os.path.join(scratch, "prefix")
        # NOTE: this file names the prepared prefix's server folder in /tmp; Wine makes its own.
        if os.path.exists(os.path.join(prefix, "wineserver")):
            os.remove(os.path.join(prefix, "wineserver"))
        # Folders only: Wine runs in a prefix its user owns, and makes files of its own there.
        for top, _, _ in os.walk(scratch):
            os.chown(top, slot.uid, slot.uid)
        os.chown(os.path.join(scratch, name), slot.uid, slot.uid)
        return scratch

    # --- one submission ------------------------------------------------------------------

    def grade(self, slot, source, tag):
        """Builds and runs one scene; returns (verdict, detail, messages, {(size, time): picture})."""
        name = os.path.basename(source)
        scratch = self.prepare_scratch(slot, source, name)
        before = slot.limits.counts()
        pictures, messages = {}, ""
        try:
            messages = self.compile(slot, scratch, name)
            self.show(slot, scratch, tag, pictures)
            verdict, detail = "pass", ""
        except Failure as failure:
            verdict, detail, messages = failure.verdict, failure.detail, failure.messages or messages
        after = slot.limits.counts()
        grew = lambda key: after.get(key, 0) > before.get(key, 0)
        # Killed at the limit, or pressed against it until the timeout stopped it.
        if grew("oom_kill") or (grew("max") and verdict in ("hung", "crashed")):
            verdict, detail = "crashed", "stopped at the memory limit (%d MiB)" % (MEMORY_LIMIT >> 20)
        elif after.get("pids", 0) > before.get("pids", 0) and verdict != "pass":
            detail += " (it reached the limit of %d processes)" % PROCESS_LIMIT
        slot.disk.clear()
        return verdict, detail, messages, pictures

    def prove(self, slot):
        """Each limit of the slot's sandbox that holds, in words, keyed by its name, as read back:
        the control groups' files, and the sizes and limits a program inside sees."""
        held = slot.limits.in_force()
        if not slot.limits.working:
            self.why_not["control groups"] = "none could be made under /sys/fs/cgroup"
        held["time"] = "%g s a step" % self.args.timeout
        try:
            scratch = slot.disk.make()
        except OSError as error:
            self.why_not["disk"] = str(error)
            slot.disk.limited = False
            scratch = slot.disk.make()
        os.chown(scratch, slot.uid, slot.uid)
        probe = "df -k --output=size /tmp /scratch | tail -n 2; ulimit -f"
        code, said = self.contained(slot, scratch, ["sh", "-c", probe])
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
            self.why_not["sandbox"] = "a program in it said: %s" % (printable(said) or "exit code %s" % code)
        return held

    def contained(self, slot, scratch, argv, cwd="/scratch", display=False):
        """Runs argv in the sandbox for at most --timeout seconds; returns (exit code or None when
        the limit ended it, output)."""
        with self.lock:
            if self.stopping.is_set():
                raise Failure("hung", "the run was interrupted")
            # NOTE: a session of its own: a Ctrl+C in the teacher's terminal reaches the grader,
            # which ends the sandboxes itself, not the students' programs.
            process = subprocess.Popen(self.sandbox(slot, scratch, argv, cwd=cwd, display=display),
                                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                       errors="replace", start_new_session=True)
            self.running.add(process)
        try:
            output = process.communicate(timeout=self.args.timeout)[0]
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

    def compile(self, slot, scratch, name):
        output = ""
        for step, argv, cwd in (("compile", [a.replace("{source}", "/scratch/" + name) for a in self.kit.compile], "/scratch"),
                                ("link", self.kit.link, self.build)):
            code, said = self.contained(slot, scratch, argv, cwd=cwd)
            output += said
            if code is None:
                raise Failure("hung", "the %s took more than %g s" % (step, self.args.timeout))
            if code != 0:
                text = output.replace("/scratch/", "")
                raise Failure("does not compile", first_error(text) or "the %s failed" % step,
                              text[:MESSAGES_LIMIT])
        return output.replace("/scratch/", "")[:MESSAGES_LIMIT]

    def show(self, slot, scratch, tag, pictures):
        """Runs the program, which writes its pictures into /scratch/pictures, and takes them."""
        os.makedirs(os.path.join(scratch, "pictures"))
        os.chown(os.path.join(scratch, "pictures"), slot.uid, slot.uid)
        argv = [self.wine, "/scratch/%s.exe" % PROGRAM, "--frames", "pictures",
                "--sizes", ",".join(self.args.sizes), "--times", ",".join(self.args.times)]
        code, said = self.contained(slot, scratch, argv, display=True)
        # Each picture read once, as the sandbox left it: only a PNG counts.
        made = {}
        for shot in self.args.shots:
            data = read(os.path.join(scratch, "pictures", picture_name(*shot)), PICTURE_LIMIT, text=False)
            if data and data.startswith(b"\x89PNG\r\n\x1a\n"):
                made[shot] = data
        if code is None:
            raise Failure("hung", "the run took more than %g s, %d of %d pictures taken"
                          % (self.args.timeout, len(made), len(self.args.shots)))
        line = next((l for l in reversed(said.splitlines()) if re.match(r"(crash|exception|failed|closed): ", l)), "")
        line = line.split(": ", 1)[1] if line else ""
        if code in DRIVER_VERDICTS:
            raise Failure(DRIVER_VERDICTS[code], printable(line) or "exit code %d" % code)
        if code != 0:
            raise Failure("crashed", "exit code %d" % code)
        if len(made) != len(self.args.shots):
            raise Failure("crashed", "%d of %d pictures written" % (len(made), len(self.args.shots)))
        for shot, data in made.items():
            picture = os.path.join(self.out, "pictures", "%s-%s" % (tag, picture_name(*shot)))
            with open(picture, "wb") as f:
                f.write(repack(data))
            pictures[shot] = picture

    # --- comparing -------------------------------------------------------------------------

    def compare(self, reference, picture, tag, shot):
        """Differing pixels and the difference picture, or None and why they cannot be compared."""
        diff = os.path.join(self.out, "pictures", "%s-%s-diff.png" % (tag, picture_name(*shot)[:-4]))
        result = run_limited(["compare", "-metric", "AE", "-fuzz", "%g%%" % self.args.fuzz, reference, picture, diff])
        m = re.match(r"^\s*([0-9.e+]+)", result.stderr)
        if result.returncode in (0, 1) and m:
            return int(float(m.group(1))), diff
        if result.returncode == 124:
            return None, "the comparison took more than %d s" % TOOL_TIMEOUT
        size = run_limited(["identify", "-format", "%wx%h", picture]).stdout.strip()
        return None, "the picture is %s, not %s" % (size, shot[0]) if size else "the picture cannot be read"

    def tolerance(self, shot):
        if self.args.tolerance is not None:
            return self.args.tolerance
        width, height = map(int, shot[0].split("x"))
        return width * height // 200


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


def repack(png):
    """The picture with its pixels compressed by zlib: the program's own encoder is quick but
    loose, and a class's report holds hundreds of pictures. Anything unexpected stays as it is."""
    try:
        chunks, at = [], 8
        while at < len(png):
            size, kind = struct.unpack(">I4s", png[at:at + 8])
            chunks.append((kind, png[at + 8:at + 8 + size]))
            at += 12 + size
        pixels = zlib.compress(zlib.decompress(b"".join(body for kind, body in chunks if kind == b"IDAT")), 6)
    except (struct.error, zlib.error):
        return png
    out = [png[:8]]
    for kind, body in chunks:
        if kind == b"IDAT":
            if pixels is None:
                continue
            body, pixels = pixels, None
        out.append(struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body)))
    return b"".join(out)


def printable(text):
    """A student's text as plain characters: no control characters, terminal escapes included."""
    return "".join(c if c.isprintable() else " " for c in text).strip()[:500]


def first_error(text):
    for line in text.splitlines():
        if re.search(r": (fatal )?error", line) or "undefined reference" in line:
            return line.strip()
    return None


def main(argv):
    args = parse_arguments(argv)
    if args.check_only:
        return 0
    started = time.monotonic()
    entries = sorted(os.listdir(args.submissions))
    submissions = [e for e in entries if e.endswith(".cpp") and os.path.isfile(os.path.join(args.submissions, e))]
    ignored = [e for e in entries if e not in submissions]
    for entry in ignored:
        print("ignored: %s (not a NAME.cpp scene file)" % printable(entry))
    grader = Grader(args)
    slots, finished, results, code = [], [], None, 0
    # From here on, Ctrl+C, SIGTERM and SIGHUP are caught below: the sandboxes and displays are
    # ended, nothing is left, and what was graded so far is reported.
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, interrupt)
    try:
        jobs = max(1, min(args.jobs, len(submissions)))
        cores = max(1, (os.cpu_count() or 1) // jobs)
        for i, uid in enumerate(free_uids(jobs)):
            slots.append(Slot(i, os.path.join(grader.work, "slot%d" % i), cores, uid, grader.prefix))
        # Every limit proved before the first submission runs, and told.
        held = [grader.prove(slot) for slot in slots]
        missing = [name for name in LIMITS if not all(name in h for h in held)]
        told = ", ".join([held[0][name] for name in LIMITS if name in held[0]] +
                         [words for name, words in held[0].items() if name not in LIMITS])
        if missing and not args.accept_weaker_limits:
            print("grade: these limits cannot be set here: %s%s.\n"
                  "Run it where they can (as root, with control groups and tmpfs and overlay mounts), "
                  "or pass --accept-weaker-limits to grade with those that hold: %s." % (
                      ", ".join(missing), "".join(" (%s: %s)" % item for item in sorted(grader.why_not.items())),
                      told),
                  file=sys.stderr)
            return 3
        print("grade: each sandbox: %s; no network; a user, a display and a key of its own%s" % (
            told,
            "; WITHOUT %s" % ", ".join(missing) if missing else ""), flush=True)
        references = dict(args.pictures)
        if not references:
            verdict, detail, messages, references = grader.grade(slots[0], args.reference, "reference")
            if verdict != "pass":
                print("grade: the reference %s: %s%s" % (args.reference, verdict, ": " + detail if detail else ""),
                      file=sys.stderr)
                if messages:
                    print(messages, file=sys.stderr)
                return 2
        else:
            references = {}
            for shot in args.shots:
                references[shot] = os.path.join(grader.out, "pictures", "reference-%s" % picture_name(*shot))
                shutil.copyfile(args.pictures[shot], references[shot])

        results = [None] * len(submissions)
        work = queue.Queue()
        for index, entry in enumerate(submissions):
            work.put(index)
        done = [0]
        lock = threading.Lock()

        def worker(slot, finished):
            try:
                work_on(slot)
            finally:
                finished.set()

        def work_on(slot):
            while not grader.stopping.is_set():
                try:
                    index = work.get_nowait()
                except queue.Empty:
                    return
                entry = submissions[index]
                tag = "%02d" % (index + 1)
                rows = {}
                try:
                    verdict, detail, messages, pictures = grader.grade(slot, os.path.join(args.submissions, entry), tag)
                    for shot in args.shots:
                        if shot in pictures:
                            rows[shot] = grader.compare(references[shot], pictures[shot], tag, shot)
                except Exception as error:  # the grader's own fault: say so, go on with the rest
                    verdict, detail, messages, pictures = "crashed", "the grader failed: %s" % error, "", {}
                if grader.stopping.is_set():
                    return
                differs = [s for s, (p, _) in rows.items() if p is None or p > grader.tolerance(s)]
                if verdict == "pass" and differs:
                    verdict = "differs"
                    detail = "; ".join("%s: %s" % (picture_name(*s)[:-4], "%d pixels" % rows[s][0]
                                                   if rows[s][0] is not None else rows[s][1]) for s in differs)
                result = dict(student=entry[:-4], verdict=verdict, detail=detail, messages=messages,
                              pictures=pictures, rows=rows, tag=tag)
                with lock:
                    results[index] = result
                    done[0] += 1
                    counts = ", ".join(str(rows[s][0]) if s in rows and rows[s][0] is not None else "-"
                                       for s in args.shots)
                    print("[%*d/%d] %s: %s (differing pixels %s)%s" % (
                        len(str(len(submissions))), done[0], len(submissions), printable(entry[:-4]), verdict,
                        counts, ": " + printable(detail) if detail and verdict not in ("pass", "differs") else ""),
                          flush=True)

        # NOTE: daemon threads, waited for in steps so that a signal reaches this thread at once,
        # and by an event each: Thread.join cut short by an exception may take a running thread
        # for ended.
        finished = [threading.Event() for _ in slots]
        for slot, event in zip(slots, finished):
            threading.Thread(target=worker, args=(slot, event), daemon=True).start()
        for event in finished:
            while not event.wait(0.5):
                pass
    except Interrupted as stop:
        code = stop.code
        grader.stop()
        for event in finished:
            event.wait(10)
    finally:
        for slot in slots:
            slot.close()
        shutil.rmtree(grader.work, ignore_errors=True)

    if results is None:
        print("grade: interrupted before the reference was pictured; no report", file=sys.stderr)
        return code
    graded = [r for r in results if r is not None]
    write_csv(grader, graded)
    write_report(grader, args, graded, references, ignored, len(results))
    print("%s %d submissions at %d size%s and %d time%s in %.0f s: %s. Report: %s" % (
        "Interrupted; graded %d of" % len(graded) if code else "Graded", len(results),
        len(args.sizes), "s" if len(args.sizes) > 1 else "", len(args.times), "s" if len(args.times) > 1 else "",
        time.monotonic() - started, tally(graded), os.path.join(grader.out, "report.html")),
          file=sys.stderr if code else sys.stdout)
    return code


def tally(results):
    """How many of each verdict: "3 pass, 1 differs"."""
    counts = ((sum(r["verdict"] == v for r in results), v) for v in VERDICTS)
    return ", ".join("%d %s" % (n, v) for n, v in counts if n) or "nothing graded"


def write_csv(grader, results):
    with open(os.path.join(grader.out, "results.csv"), "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["student", "size", "time", "verdict", "differing pixels", "detail"])
        for r in results:
            for shot in grader.args.shots:
                pixels = r["rows"].get(shot, (None, ""))[0]
                detail = r["detail"]
                if shot in r["rows"] and pixels is None:
                    detail = r["rows"][shot][1]
                writer.writerow([cell(r["student"]), shot[0], shot[1], r["verdict"], "" if pixels is None else pixels,
                                 cell(detail)])


def cell(text):
    """A student's text as a spreadsheet shows it, never as a formula it would compute."""
    text = printable(text)
    return "'" + text if text[:1] in ("=", "+", "-", "@") else text


def write_report(grader, args, results, references, ignored, total):
    out = grader.out
    rel = lambda path: os.path.relpath(path, out)
    e = html.escape
    shots = args.shots
    label = lambda shot: shot[0] + (" at %s s" % shot[1] if len(args.times) > 1 or shot[1] != "0" else "")
    rows = []
    for r in results:
        cells = "".join("<td class=num>%s</td>" % (r["rows"][s][0] if s in r["rows"] and r["rows"][s][0] is not None
                                                    else "–") for s in shots)
        rows.append('<tr class="%s"><td><a href="#s%s">%s</a></td><td class=verdict>%s</td>%s<td>%s</td></tr>'
                    % (r["verdict"].replace(" ", "-"), r["tag"], e(r["student"]), e(r["verdict"]), cells,
                       e(r["detail"]) if r["verdict"] != "differs" else ""))
    sections = []
    for r in results:
        parts = ['<section id="s%s" class="%s"><h2>%s <span class=verdict>%s</span></h2>'
                 % (r["tag"], r["verdict"].replace(" ", "-"), e(r["student"]), e(r["verdict"]))]
        if r["detail"]:
            parts.append("<p class=detail>%s</p>" % e(r["detail"]))
        if r["verdict"] == "does not compile" and r["messages"]:
            parts.append("<pre>%s</pre>" % e(r["messages"]))
        for shot in shots:
            if shot not in r["pictures"]:
                continue
            pixels, diff = r["rows"].get(shot, (None, ""))
            figure = lambda path, caption: '<figure><img src="%s" alt="%s"><figcaption>%s</figcaption></figure>' % (
                e(rel(path)), e(caption), e(caption))
            parts.append('<h3>%s: %s</h3><div class=pictures>%s%s%s</div>' % (
                e(label(shot)), "%d pixels differ" % pixels if pixels is not None else e(diff),
                figure(references[shot], "expected"), figure(r["pictures"][shot], "submitted"),
                figure(diff, "difference (in red)") if pixels is not None else ""))
        parts.append("</section>")
        sections.append("".join(parts))
    page = """<!DOCTYPE html>
<html lang=en><head><meta charset=utf-8><title>Grades: %(title)s</title>
<style>
body {font: 15px/1.4 sans-serif; margin: 2em; color: #222}
table {border-collapse: collapse} td, th {padding: .25em .8em; border-bottom: 1px solid #ddd; text-align: left}
td.num {text-align: right; font-variant-numeric: tabular-nums}
.pass .verdict {color: #176b2c} .differs .verdict {color: #9a5b00}
.does-not-compile .verdict, .crashed .verdict, .hung .verdict, .error-box .verdict, .left-early .verdict {color: #b00020}
section {margin-top: 2.5em; border-top: 2px solid #ccc}
.pictures {display: flex; flex-wrap: wrap; gap: 1em}
figure {margin: 0}
img {max-width: 300px; max-height: 300px; border: 1px solid #888; background: #eee}
img.broken {outline: 3px solid #b00020}
pre {background: #f4f4f4; padding: 1em; overflow-x: auto; max-height: 30em}
#pictures {color: #666}
</style></head>
<body>
<h1>Grades: %(title)s</h1>
<p>%(count)s submissions, reference %(reference)s, sizes %(sizes)s, scene times %(times)s s. A pixel differs when a colour is off by
more than %(fuzz)g%%; a size passes when %(tolerance)s. %(tally)s.</p>
<p id=pictures>Checking the pictures…</p>
<table><thead><tr><th>student</th><th>verdict</th>%(heads)s<th>detail</th></tr></thead><tbody>
%(rows)s
</tbody></table>
%(ignored)s
%(sections)s
<script>
// Says whether every picture loaded, so a report moved without its pictures folder shows it.
window.addEventListener("load", function () {
  var images = document.images, broken = 0;
  for (var i = 0; i < images.length; i++)
    if (!images[i].complete || images[i].naturalWidth === 0) { broken++; images[i].classList.add("broken"); }
  var note = document.getElementById("pictures");
  note.textContent = broken ? broken + " of " + images.length + " pictures are missing"
                            : "All " + images.length + " pictures loaded.";
  document.body.dataset.pictures = images.length;
  document.body.dataset.broken = broken;
});
</script>
</body></html>
""" % dict(title=e(os.path.basename(os.path.abspath(args.submissions))),
           count=len(results) if len(results) == total else "The run was interrupted: %d of %d" % (len(results), total),
           reference=e(os.path.basename(os.path.abspath(args.reference))), sizes=e(", ".join(args.sizes)),
           times=e(", ".join(args.times)),
           fuzz=args.fuzz, tolerance="at most %d pixels differ" % args.tolerance if args.tolerance is not None
           else "at most 0.5% of its pixels differ",
           tally=e(tally(results)),
           heads="".join("<th class=num>%s</th>" % e(label(s)) for s in shots), rows="\n".join(rows),
           ignored="<p>Ignored: %s.</p>" % e(", ".join(ignored)) if ignored else "",
           sections="\n".join(sections))
    with open(os.path.join(out, "report.html"), "w") as f:
        f.write(page)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
