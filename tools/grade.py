"""Grades a class's exercises by picture.

Each NAME.cpp in SUBMISSIONS defines TForm1::DrawScene, as the exercises do. Each is compiled,
linked and run once, in a sandbox of its own; the one running program is resized through the
sizes, and its client area is pictured at each and compared with the reference. Writes
report.html (the pictures side by side, what differs marked) and results.csv to --out.

Run through tools/grade, which installs, builds and prepares the Wine prefix first.
"""
import argparse
import csv
import html
import os
import queue
import re
import shlex
import shutil
import stat
import subprocess
import sys
import threading
import time

CAPTION = "Zorv OpenGL Tutorial Exercise"
# The program's error boxes carry its module's name.
PROGRAM = "Submission"
OWN_SIZE = "792x573"  # the client area the program opens with
DEFAULT_SIZES = [OWN_SIZE, "960x400", "400x720"]
SCREEN = (1920, 1200)
SANDBOX_UID = 65534  # nobody
MEMORY_LIMIT = 1 << 30
PROCESS_LIMIT = 256
FILE_SIZE_LIMIT = 256 << 20
MESSAGES_LIMIT = 20000  # characters of compiler output kept
VERDICTS = ["pass", "differs", "does not compile", "crashed", "hung", "error box", "left early"]


class Failure(Exception):
    """A submission's run ended in a verdict other than a picture at every size."""

    def __init__(self, verdict, detail, messages=""):
        super().__init__(detail)
        self.verdict, self.detail, self.messages = verdict, detail, messages


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="tools/grade", description=__doc__.split("\n\n")[0],
        usage="tools/grade --reference REFERENCE SUBMISSIONS [--out DIR] [--sizes WxH,...] "
              "[--wait S] [--timeout S] [--fuzz PERCENT] [--tolerance PIXELS] [--jobs N]")
    parser.add_argument("submissions", metavar="SUBMISSIONS", help="a folder of NAME.cpp files, one a student")
    parser.add_argument("--reference", required=True,
                        help="the teacher's scene file, or a folder of pictures named by size (800x600.png)")
    parser.add_argument("--out", default="grade", help="where the report goes (default grade/)")
    parser.add_argument("--sizes", help="client areas to picture (default: %s, the program's own, then "
                        "a wide and a tall one; with a folder of pictures, its pictures' sizes)" % OWN_SIZE)
    parser.add_argument("--wait", type=float, default=1.0, help="seconds of frames before each picture (1)")
    parser.add_argument("--timeout", type=float, default=20.0,
                        help="seconds a step may take: compiling, the first frame, the exit after Esc (20)")
    parser.add_argument("--fuzz", type=float, default=2.0, help="colour difference a pixel may have and match (2)")
    parser.add_argument("--tolerance", type=int,
                        help="pixels that may differ at each size (default 0.5%% of the picture)")
    parser.add_argument("--jobs", type=int, default=2, help="sandboxes side by side (2)")
    parser.add_argument("--build", help=argparse.SUPPRESS)
    parser.add_argument("--check-only", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)

    if not os.path.isdir(args.submissions):
        parser.error("no folder of submissions at %s" % args.submissions)
    if not os.path.exists(args.reference):
        parser.error("no reference at %s" % args.reference)
    if os.path.isfile(args.reference) and not args.reference.endswith(".cpp"):
        parser.error("the reference is a scene file (.cpp) or a folder of pictures, not %s" % args.reference)
    for name, value in (("--wait", args.wait), ("--timeout", args.timeout), ("--fuzz", args.fuzz)):
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
            m = re.fullmatch(r"([1-9]\d*x[1-9]\d*)\.png", entry)
            if m:
                pictures[m.group(1)] = os.path.join(args.reference, entry)
        if not pictures:
            parser.error("no pictures named by size (800x600.png) in %s" % args.reference)
    if args.sizes is not None:
        sizes = args.sizes.split(",")
        for size in sizes:
            m = re.fullmatch(r"([1-9]\d{0,3})x([1-9]\d{0,3})", size)
            if not m or int(m.group(1)) > SCREEN[0] or int(m.group(2)) > SCREEN[1]:
                parser.error("--sizes takes WxH,WxH,... up to %dx%d, not '%s'" % (SCREEN + (args.sizes,)))
        if len(set(sizes)) != len(sizes):
            parser.error("--sizes names a size twice: %s" % args.sizes)
        missing = [s for s in sizes if pictures and s not in pictures]
        if missing:
            parser.error("no reference picture %s.png in %s" % (missing[0], args.reference))
    else:
        sizes = list(pictures) if pictures else DEFAULT_SIZES
    args.sizes, args.pictures = sizes, pictures
    return args


def run(argv, **kwargs):
    return subprocess.run(argv, capture_output=True, text=True, errors="replace", **kwargs)


class Limits:
    """Memory and process limits for one sandbox, in a control group of its own (v2 or v1)."""

    def __init__(self, name):
        self.files, self.dirs, self.events = [], [], {}
        base = "/sys/fs/cgroup"
        if os.path.exists(os.path.join(base, "cgroup.controllers")):
            try:
                with open(os.path.join(base, "cgroup.subtree_control"), "w") as f:
                    f.write("+memory +pids")
            except OSError:
                pass
            self._make(os.path.join(base, name), {"memory.max": MEMORY_LIMIT, "memory.swap.max": 0,
                                                  "pids.max": PROCESS_LIMIT})
            self.events = {"oom_kill": os.path.join(base, name, "memory.events"),
                           "max": os.path.join(base, name, "memory.events"),
                           "pids": os.path.join(base, name, "pids.events")}
        elif os.path.isdir(os.path.join(base, "memory")) and os.path.isdir(os.path.join(base, "pids")):
            self._make(os.path.join(base, "memory", name), {"memory.limit_in_bytes": MEMORY_LIMIT})
            self._make(os.path.join(base, "pids", name), {"pids.max": PROCESS_LIMIT})
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
            # Weaker, but still limits: processes per user, and writable memory per process.
            return ["prlimit", "--nproc=%d" % PROCESS_LIMIT, "--data=%d" % MEMORY_LIMIT, "--"]
        return ["sh", "-c", 'for f in %s; do echo $$ > "$f"; done; exec "$@"'
                % " ".join(shlex.quote(f) for f in self.files), "sh"]

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
            try:
                os.rmdir(path)
            except OSError:
                pass


class Kit:
    """What a submission is built from: the compile and link commands of the Watch target, taken
    from the build, with the files they read, which the sandbox sees read-only."""

    def __init__(self, build):
        self.build = build
        commands = run(["ninja", "-C", build, "-t", "commands", "Watch"]).stdout.splitlines()
        wrapper = os.path.join(build, "watch", "Scene.cpp")
        compile_line = next(c for c in commands if " -c " + wrapper in c)
        link_line = next(c for c in commands if " -o Watch.exe " in c)
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
                self.files.add(token[2:])
            elif i and self.compile[i - 1] == "-include":
                self.files.update(p for p in (token, token + ".gch") if os.path.exists(p))

        for token in shlex.split(link_line):
            if token in (":", "&&"):
                continue
            if token == "CMakeFiles/Watch.dir/watch/Scene.cpp.obj":
                token = "/scratch/scene.obj"
            elif token == "Watch.exe":
                token = "/scratch/%s.exe" % PROGRAM
            elif token.startswith("-Wl,--out-implib,"):
                token = "-Wl,--out-implib,/scratch/lib%s.dll.a" % PROGRAM
            elif not token.startswith("-") and os.path.exists(os.path.join(build, token)):
                self.files.add(os.path.join(build, token))
            elif os.path.isabs(token) and os.path.exists(token):
                self.files.add(token)
            self.link.append(token)
        self.box_text = os.path.join(build, "box_text.exe")
        self.files.add(self.box_text)


class Slot:
    """One sandbox at a time: its own X display and window manager, its own limits."""

    def __init__(self, index, work):
        self.index, self.work = index, work
        os.makedirs(work, exist_ok=True)
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                                      "%dx%dx24" % SCREEN, "-nolisten", "tcp"],
                                     pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read)
        self.display = ":" + number.decode().strip()
        self.socket = "/tmp/.X11-unix/X" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.limits = Limits("tutorial-grade-%d-%d" % (os.getpid(), index))

    def x(self, *argv):
        return run(list(argv), env=self.env)

    def windows(self, name):
        return self.x("xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(name)).stdout.split()

    def close(self):
        for process in (self.wm, self.xvfb):
            process.terminate()
            process.wait()
        self.limits.close()


class Grader:
    def __init__(self, args):
        self.args = args
        self.build = args.build
        self.kit = Kit(self.build)
        self.wine = os.environ.get("WINE", "wine")
        self.prefix = os.environ["WINEPREFIX"]
        self.out = os.path.abspath(args.out)
        self.work = os.path.join(self.build, "grade-work")
        shutil.rmtree(self.work, ignore_errors=True)
        shutil.rmtree(os.path.join(self.out, "pictures"), ignore_errors=True)
        os.makedirs(os.path.join(self.out, "pictures"), exist_ok=True)

    # --- the sandbox ---------------------------------------------------------------------

    def sandbox(self, slot, scratch, argv, cwd="/scratch", display=False):
        """The command that runs argv as nobody, seeing the system read-only, the kit read-only,
        its scratch folder and nothing else; no network."""
        box = ["bwrap", "--unshare-ipc", "--unshare-pid", "--unshare-net", "--unshare-uts",
               "--unshare-cgroup-try", "--die-with-parent", "--new-session",
               "--cap-add", "CAP_SETUID", "--cap-add", "CAP_SETGID",
               "--ro-bind", "/usr", "/usr", "--proc", "/proc", "--dev", "/dev",
               "--perms", "1777", "--tmpfs", "/tmp"]
        for top in ("/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"):
            if os.path.islink(top):
                box += ["--symlink", os.readlink(top), top]
            elif os.path.isdir(top):
                box += ["--ro-bind", top, top]
        binds = [(path, path) for path in sorted(self.kit.files)] + [(scratch, "/scratch")]
        if display:
            binds.append((slot.socket, slot.socket))
        # NOTE: bwrap makes the folders above a mount point for root alone (0700): make them
        # first, open to all, or nobody could reach what is mounted there.
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
               "WINEPREFIX": "/scratch/prefix", "WINEDEBUG": "-all,+fps", "WINE": self.wine,
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
                "setpriv", "--reuid=%d" % SANDBOX_UID, "--regid=%d" % SANDBOX_UID, "--clear-groups",
                "--inh-caps=-all", "--bounding-set=-all", "--",
                "prlimit", "--fsize=%d" % FILE_SIZE_LIMIT, "--core=0", "--"]
        return slot.limits.prefix() + box + argv

    def prepare_scratch(self, slot, source, name):
        """A fresh folder for one submission: its scene and a Wine prefix of its own, made of
        hard links to the prepared one (read-only files, folders of its own)."""
        scratch = os.path.join(slot.work, "scratch")
        shutil.rmtree(scratch, ignore_errors=True)
        os.makedirs(os.path.join(scratch, "home"))
        shutil.copyfile(source, os.path.join(scratch, name))
        prefix = os.path.join(scratch, "prefix")
        if run(["cp", "-al", self.prefix, prefix]).returncode != 0:
            shutil.copytree(self.prefix, prefix, symlinks=True)
        # NOTE: this file names the prepared prefix's server folder in /tmp; Wine makes its own.
        if os.path.exists(os.path.join(prefix, "wineserver")):
            os.remove(os.path.join(prefix, "wineserver"))
        # Folders only: the files are the prepared prefix's own, shared through the links.
        for top, _, _ in os.walk(scratch):
            os.chown(top, SANDBOX_UID, SANDBOX_UID)
        os.chown(os.path.join(scratch, name), SANDBOX_UID, SANDBOX_UID)
        return scratch

    # --- one submission ------------------------------------------------------------------

    def grade(self, slot, source, tag):
        """Builds and runs one scene; returns (verdict, detail, messages, {size: picture})."""
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
        shutil.rmtree(scratch, ignore_errors=True)
        return verdict, detail, messages, pictures

    def compile(self, slot, scratch, name):
        output = ""
        for step, argv, cwd in (("compile", [a.replace("{source}", "/scratch/" + name) for a in self.kit.compile], "/scratch"),
                                ("link", self.kit.link, self.build)):
            process = subprocess.Popen(self.sandbox(slot, scratch, argv, cwd=cwd), stdout=subprocess.PIPE,
                                       stderr=subprocess.STDOUT, text=True, errors="replace")
            try:
                output += process.communicate(timeout=self.args.timeout)[0]
            except subprocess.TimeoutExpired:
                end_sandbox(process)
                raise Failure("does not compile", "the %s took more than %g s" % (step, self.args.timeout))
            if process.returncode != 0:
                text = output.replace("/scratch/", "")
                raise Failure("does not compile", first_error(text) or "the %s failed" % step,
                              text[:MESSAGES_LIMIT])
        return output.replace("/scratch/", "")[:MESSAGES_LIMIT]

    def show(self, slot, scratch, tag, pictures):
        script = ('"$WINE" /scratch/%s.exe >/scratch/program.log 2>&1 &\n'
                  'pid=$!\n'
                  'while kill -0 $pid 2>/dev/null; do\n'
                  '  if [ -e /scratch/ask-box ]; then\n'
                  '    rm -f /scratch/ask-box\n'
                  '    "$WINE" %s >/scratch/box.part 2>/dev/null; mv /scratch/box.part /scratch/box.txt\n'
                  '  fi\n'
                  '  sleep 0.05\n'
                  'done\n'
                  'wait $pid; echo $? >/scratch/exit.part; mv /scratch/exit.part /scratch/exit\n'
                  % (PROGRAM, shlex.quote(self.kit.box_text)))
        process = subprocess.Popen(self.sandbox(slot, scratch, ["sh", "-c", script], display=True),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.drive(slot, scratch, tag, pictures)
        finally:
            end_sandbox(process)

    def drive(self, slot, scratch, tag, pictures):
        timeout, log = self.args.timeout, os.path.join(scratch, "program.log")

        def check():
            """Raises the verdict if the program has ended or shows an error box."""
            if slot.windows(PROGRAM):
                ask(os.path.join(scratch, "ask-box"))
                text = self.wait(lambda: read(os.path.join(scratch, "box.txt")), 5) or ""
                lines = [l.split(": ", 1)[1] for l in text.splitlines() if l.startswith(PROGRAM + ": ")]
                raise Failure("error box", lines[0] if lines else "a box the text of which could not be read")
            code = exit_code(scratch)
            if code is not None:
                if code == 0:
                    raise Failure("left early", "the program ended by itself, exit code 0")
                raise Failure("crashed", "exit code %d" % code)

        def window():
            check()
            ids = slot.windows(CAPTION)
            return ids[-1] if ids else None

        wid = self.wait(window, timeout)
        if not wid:
            raise Failure("hung", "no window within %g s" % timeout)
        frames = lambda: (read(log) or "").count(":trace:fps:")
        if not self.wait(lambda: check() or frames() > 0, timeout):
            raise Failure("hung", "no frame within %g s" % timeout)

        for size in self.args.sizes:
            if client_size(slot, wid) != size:
                width, height = size.split("x")
                slot.x("xdotool", "windowsize", wid, width, height)
                if not self.wait(lambda: check() or client_size(slot, wid) == size, 5):
                    raise Failure("hung", "the window could not be made %s" % size)
            deadline = time.monotonic() + self.args.wait
            while time.monotonic() < deadline:
                check()
                time.sleep(0.05)
            picture = os.path.join(self.out, "pictures", "%s-%s.png" % (tag, size))
            slot.x("import", "-window", wid, picture)
            check()
            if not os.path.exists(picture):
                raise Failure("hung", "no picture of the window at %s" % size)
            pictures[size] = picture

        slot.x("xdotool", "windowactivate", "--sync", wid, "key", "Escape")
        self.wait(lambda: exit_code(scratch) is not None, timeout)
        code = exit_code(scratch)
        if code is None:
            if slot.windows(PROGRAM):
                check()
            raise Failure("hung", "still running %g s after Esc" % timeout)
        if code != 0:
            raise Failure("crashed", "exit code %d after Esc" % code)

    @staticmethod
    def wait(probe, seconds):
        deadline = time.monotonic() + seconds
        while True:
            value = probe()
            if value:
                return value
            if time.monotonic() > deadline:
                return None
            time.sleep(0.05)

    # --- comparing -------------------------------------------------------------------------

    def compare(self, reference, picture, tag, size):
        """Differing pixels and the difference picture, or None and why they cannot be compared."""
        diff = os.path.join(self.out, "pictures", "%s-%s-diff.png" % (tag, size))
        result = run(["compare", "-metric", "AE", "-fuzz", "%g%%" % self.args.fuzz, reference, picture, diff])
        m = re.match(r"^\s*([0-9.e+]+)", result.stderr)
        if result.returncode in (0, 1) and m:
            return int(float(m.group(1))), diff
        width, height = run(["identify", "-format", "%w %h", picture]).stdout.split()
        return None, "the picture is %sx%s" % (width, height)

    def tolerance(self, size):
        if self.args.tolerance is not None:
            return self.args.tolerance
        width, height = map(int, size.split("x"))
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


def read(path, limit=1 << 20):
    """A file the sandbox wrote, or None. NOTE: it may have put a link or a pipe there instead:
    only a regular file is read, the link not followed, and no more than limit bytes."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK)
    except OSError:
        return None
    with os.fdopen(fd, "rb") as f:
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            return None
        return f.read(limit).decode("utf-8", "replace")


def exit_code(scratch):
    text = read(os.path.join(scratch, "exit"))
    if text is None:
        return None
    return int(text) if re.fullmatch(r"\s*\d{1,3}\s*", text) else -1


def ask(path):
    """Leaves a request in the sandbox's folder, never through a link or over a file there."""
    try:
        os.close(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW, 0o644))
    except OSError:
        pass


def client_size(slot, wid):
    info = slot.x("xwininfo", "-id", wid).stdout
    m = re.search(r"Width:\s+(\d+).*?Height:\s+(\d+)", info, re.S)
    return "%sx%s" % m.groups() if m else None


def first_error(text):
    for line in text.splitlines():
        if ": error" in line or "undefined reference" in line:
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
        print("ignored: %s (not a NAME.cpp scene file)" % entry)
    grader = Grader(args)
    slots = [Slot(i, os.path.join(grader.work, "slot%d" % i)) for i in range(max(1, min(args.jobs, len(submissions))))]
    if not slots[0].limits.working:
        print("grade: no control groups here: processes are limited per user, memory per process",
              file=sys.stderr)
    try:
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
            for size, path in list(references.items()):
                copy = os.path.join(grader.out, "pictures", "reference-%s.png" % size)
                shutil.copyfile(path, copy)
                references[size] = copy

        results = [None] * len(submissions)
        work = queue.Queue()
        for index, entry in enumerate(submissions):
            work.put(index)
        done = [0]
        lock = threading.Lock()

        def worker(slot):
            while True:
                try:
                    index = work.get_nowait()
                except queue.Empty:
                    return
                entry = submissions[index]
                tag = "%02d" % (index + 1)
                try:
                    verdict, detail, messages, pictures = grader.grade(slot, os.path.join(args.submissions, entry), tag)
                except Exception as error:  # the grader's own fault: say so, go on with the rest
                    verdict, detail, messages, pictures = "crashed", "the grader failed: %s" % error, "", {}
                rows = {}
                for size in args.sizes:
                    if size in pictures:
                        pixels, diff = grader.compare(references[size], pictures[size], tag, size)
                        rows[size] = (pixels, diff)
                differs = [s for s, (p, _) in rows.items() if p is None or p > grader.tolerance(s)]
                if verdict == "pass" and differs:
                    verdict = "differs"
                    detail = "; ".join("%s: %s" % (s, "%d pixels" % rows[s][0] if rows[s][0] is not None
                                                   else rows[s][1]) for s in differs)
                result = dict(student=entry[:-4], verdict=verdict, detail=detail, messages=messages,
                              pictures=pictures, rows=rows, tag=tag)
                with lock:
                    results[index] = result
                    done[0] += 1
                    counts = ", ".join(str(rows[s][0]) if s in rows and rows[s][0] is not None else "-"
                                       for s in args.sizes)
                    print("[%*d/%d] %s: %s (differing pixels %s)%s" % (
                        len(str(len(submissions))), done[0], len(submissions), entry[:-4], verdict, counts,
                        ": " + detail if detail and verdict not in ("pass", "differs") else ""), flush=True)

        # NOTE: daemon threads, so that Ctrl+C ends the run at once; each sandbox dies with its
        # bwrap's parent, this process.
        threads = [threading.Thread(target=worker, args=(slot,), daemon=True) for slot in slots]
        for thread in threads:
            thread.start()
        try:
            for thread in threads:
                while thread.is_alive():
                    thread.join(0.5)
        except KeyboardInterrupt:
            print("grade: interrupted; no report", file=sys.stderr)
            return 130
    finally:
        for slot in slots:
            slot.close()
        shutil.rmtree(grader.work, ignore_errors=True)

    write_csv(grader, results)
    write_report(grader, args, results, references, ignored)
    print("Graded %d submissions at %d sizes in %.0f s: %s. Report: %s" % (
        len(results), len(args.sizes), time.monotonic() - started, tally(results),
        os.path.join(grader.out, "report.html")))
    return 0


def tally(results):
    """How many of each verdict: "3 pass, 1 differs"."""
    counts = ((sum(r["verdict"] == v for r in results), v) for v in VERDICTS)
    return ", ".join("%d %s" % (n, v) for n, v in counts if n) or "nothing graded"


def write_csv(grader, results):
    with open(os.path.join(grader.out, "results.csv"), "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["student", "size", "verdict", "differing pixels", "detail"])
        for r in results:
            for size in grader.args.sizes:
                pixels = r["rows"].get(size, (None, ""))[0]
                detail = r["detail"]
                if size in r["rows"] and pixels is None:
                    detail = r["rows"][size][1]
                writer.writerow([r["student"], size, r["verdict"], "" if pixels is None else pixels, detail])


def write_report(grader, args, results, references, ignored):
    out = grader.out
    rel = lambda path: os.path.relpath(path, out)
    e = html.escape
    sizes = args.sizes
    rows = []
    for r in results:
        cells = "".join("<td class=num>%s</td>" % (r["rows"][s][0] if s in r["rows"] and r["rows"][s][0] is not None
                                                    else "–") for s in sizes)
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
        for size in sizes:
            if size not in r["pictures"]:
                continue
            pixels, diff = r["rows"].get(size, (None, ""))
            figure = lambda path, caption: '<figure><img src="%s" alt="%s"><figcaption>%s</figcaption></figure>' % (
                e(rel(path)), e(caption), e(caption))
            parts.append('<h3>%s: %s</h3><div class=pictures>%s%s%s</div>' % (
                size, "%d pixels differ" % pixels if pixels is not None else e(diff),
                figure(references[size], "expected"), figure(r["pictures"][size], "submitted"),
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
<p>%(count)d submissions, reference %(reference)s, sizes %(sizes)s. A pixel differs when a colour is off by
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
""" % dict(title=e(os.path.basename(os.path.abspath(args.submissions))), count=len(results),
           reference=e(os.path.basename(os.path.abspath(args.reference))), sizes=e(", ".join(sizes)),
           fuzz=args.fuzz, tolerance="at most %d pixels differ" % args.tolerance if args.tolerance is not None
           else "at most 0.5% of its pixels differ",
           tally=e(tally(results)),
           heads="".join("<th class=num>%s</th>" % s for s in sizes), rows="\n".join(rows),
           ignored="<p>Ignored: %s.</p>" % e(", ".join(ignored)) if ignored else "",
           sections="\n".join(sections))
    with open(os.path.join(out, "report.html"), "w") as f:
        f.write(page)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
