"""The session every tool runs Wine in: a private X display (unless one is given) with a window
manager on it, and a Wine prefix of the build's width inside the build folder, all ended on every
way out (success, failure, Ctrl+C, SIGTERM, SIGHUP):

    with Session(build, own_display=True):
        code, why = driver_run(60, [driver, "--frames", ...])

ARCH=x64 makes a 64-bit prefix and starts everything with the 64-bit loader, which never needs
32-bit code. TUTORIAL_WINE names another loader (the tests use stand-ins). A tool run inside a
session (TUTORIAL_WINE_SESSION, a tool run by the tests) uses that one as it is.

Also what the tools do in a session: the driver's run with its one-line report, and the waits for
a window by its exact name, for a file while a process runs, for a process to end, each outside
call with a time limit (NOTE: any X client can wait for ever on a window whose program crashes).
"""
import fcntl
import fnmatch
import os
import signal
import subprocess
import sys
import tempfile
import time

from tutor import xdisplay
from tutor import contract, messages
from tutor.contract import MAX_HEIGHT, MAX_WIDTH, report_line, tail
from tutor.outside import call, finish, run_limited, stop
from tutor.signals import catch
from tutor.tree import ROOT, exclusive

# No .NET or browser engine to offer installing, no menu entries written for the desktop.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"

# A session's exit codes, whatever the signal's number.
SESSION_CODES = {signal.SIGINT: 130, signal.SIGTERM: 143, signal.SIGHUP: 143}
SERVER_RUNNING = 2  # wineserver -p's exit code when the prefix has a server already
X_TIMEOUT = 5  # seconds for one X client's answer
POLL = 0.05  # seconds between two looks


windows_path = contract.windows_path  # a host path as a Windows program sees it


def loader():
    """The Wine loader of this session."""
    return os.environ.get("WINE") or "wine"


# What the tool started in the background, ended with the session at the latest.
_jobs = []


def start(argv, detach=False, **kwargs):
    """ARGV started in the background (in a session of its own when DETACH), as a job of the tool."""
    process = subprocess.Popen(argv, start_new_session=detach, **kwargs)
    _jobs.append(process)
    return process


def end_jobs():
    """Ends the jobs still running: SIGTERM, then SIGKILL to what still runs 2 s later."""
    left = [job for job in _jobs if job.poll() is None]
    for job in left:
        job.terminate()
    deadline = time.monotonic() + 2
    while any(job.poll() is None for job in left) and time.monotonic() < deadline:
        time.sleep(POLL)
    for job in left:
        if job.poll() is None:
            job.kill()
        job.wait()
    _jobs.clear()


class Driver:
    """An exercise's driver (drivers/NAME.exe, harness/Driver.cpp) started under Wine for at most
    LIMIT seconds; finish() waits for it and says in one line why it failed."""

    def __init__(self, limit, argv):
        self.limit, self.deadline = limit, time.monotonic() + limit
        self.said = tempfile.TemporaryFile()
        try:
            self.process = start([loader()] + argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=self.said)
        except OSError:  # as a shell says it: the loader cannot be run
            self.process = None

    def running(self):
        return self.process is not None and self.process.poll() is None

    def finish(self):
        """(exit code, None or why): the driver's own report, or the limit (code 124). The
        messages of an exception in compiler form (a shader's, at its lines) are printed first,
        on the standard error, at the paths as the project's root names them."""
        code = 127 if self.process is None else finish(self.process, max(0.0, self.deadline - time.monotonic()))
        why = None
        if code in (124, 137):
            code, why = 124, "still running after %s s" % self.limit
        elif code:
            self.said.seek(0)
            found = report_line(tail(self.said).decode("utf-8", "replace"))
            # An exception's text may be a shader's messages; another kind's is one line.
            told, why = messages.account(found[1], root=ROOT) if found and found[0] == "exception" else ([], None)
            why = "%s: %s" % (found[0], why or found[1]) if found else "exit code %d" % code
            if told:
                print("\n".join(told), file=sys.stderr, flush=True)
        self.said.close()
        return code, why


def driver_run(limit, argv):
    """Runs a driver for at most LIMIT seconds: (its exit code, 124 past the limit; why it failed)."""
    return Driver(limit, argv).finish()


def _search(name):
    try:
        return run_limited(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name], X_TIMEOUT)
    except OSError:
        return subprocess.CompletedProcess([], 127, "", "")


def wait_window(name, other=None, tries=200):
    """The id of a visible window with this exact name, other than OTHER (a window just closed may
    linger in the X server's list for a moment); None after TRIES looks, 50 ms apart."""
    for _ in range(tries):
        found = [w for w in _search(name).stdout.split("\n") if w and w != other]
        if found:
            return found[-1]
        time.sleep(POLL)
    return None


def wait_gone(name, tries=200):
    """Whether no visible window has this name within TRIES looks, 50 ms apart."""
    for _ in range(tries):
        if _search(name).returncode == 1:  # 1 is "none found"; a search that timed out proves nothing
            return True
        time.sleep(POLL)
    return False


def wait_file(folder, pattern, running, seconds):
    """Whether a file named PATTERN (as find -name takes it) is in FOLDER within SECONDS while
    RUNNING() says its writer runs."""
    def found():
        try:
            return any(fnmatch.fnmatchcase(name, pattern) for name in os.listdir(folder))
        except OSError:
            return False
    for _ in range(int(seconds * 20)):
        if found():
            return True
        if not running():
            break
        time.sleep(POLL)
    return found()


def wait_exit(process, seconds):
    """PROCESS's exit code once it ends within SECONDS (128 + N for signal N), or 255."""
    for _ in range(int(seconds * 20)):
        code = process.poll()
        if code is not None:
            return code if code >= 0 else 128 - code
        time.sleep(POLL)
    return 255


def desktop_running(prefix):
    """Whether this prefix's desktop process runs (another prefix may have one of its own)."""
    for pid in (p for p in os.listdir("/proc") if p.isdigit()):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if b"explorer.exe /desktop" not in f.read().replace(b"\0", b" "):
                    continue
            with open("/proc/%s/environ" % pid, "rb") as f:
                if ("WINEPREFIX=" + prefix).encode() in f.read().split(b"\0"):
                    return True
        except OSError:
            continue
    return False


def guard(prefix):
    """Held while a session starts or ends the prefix's server, so that no other does the same
    at once: one prepares the prefix while the next waits, and none ends a server that another
    is joining."""
    return exclusive(os.path.join(prefix, ".sessions.guard"))


class Failed(SystemExit):
    """The session could not start, said why: the tool ends with exit code 1."""

    def __init__(self, why):
        print(why, file=sys.stderr)
        super().__init__(1)


class Session:
    """The Wine session in BUILD, begun on entry and ended on exit, whichever way; OWN_DISPLAY
    asks for a private display even when there is one. Exports WINE, WINEPREFIX, WINEARCH,
    WINEDEBUG, WINEDLLOVERRIDES, WINELOADER (x64), HOME, XDG_CACHE_HOME, DISPLAY and
    TUTORIAL_WINE_SESSION for what the tool starts (they stay set after the end)."""

    def __init__(self, build, own_display=False):
        self.build, self.own_display = build, own_display
        self.nested, self.handlers = False, {}
        self.xvfb = self.wm = self.users = None
        self.server = False

    def __enter__(self):
        if os.environ.get("TUTORIAL_WINE_SESSION"):
            self.nested = True
            return self
        # Before anything starts: whatever happens next, it is ended.
        self.handlers = catch(SESSION_CODES)
        try:
            self.begin()
        except BaseException:
            self.end()
            raise
        return self

    def __exit__(self, *_):
        self.end()

    def begin(self):
        os.makedirs(self.build, exist_ok=True)
        build, env = os.path.realpath(self.build), os.environ
        arch, wine = "win32", "wine"
        if (env.get("ARCH") or "x86") == "x64":
            # NOTE: /usr/bin/wine starts the 32-bit loader first, even for a 64-bit program.
            arch, wine = "win64", "/usr/lib/wine/wine64"
            env["WINELOADER"] = wine  # the loader Wine starts further processes with
        wine = env.get("TUTORIAL_WINE") or wine
        prefix = os.path.join(build, "wine")
        env.update(WINE=wine, WINEPREFIX=prefix, WINEARCH=arch, WINEDEBUG=env.get("WINEDEBUG") or "-all",
                   WINEDLLOVERRIDES=DLL_OVERRIDES,
                   HOME=os.path.join(build, "home"), XDG_CACHE_HOME=os.path.join(build, "home", ".cache"))
        os.makedirs(env["HOME"], exist_ok=True)  # Wine and Mesa write there
        os.makedirs(prefix, exist_ok=True)

        if not env.get("DISPLAY") or self.own_display:
            # As large as the largest client area any tool asks for (contract.py).
            try:
                self.xvfb, number = xdisplay.start("%dx%dx24" % (MAX_WIDTH, MAX_HEIGHT), detach=True)
            except RuntimeError as error:
                raise Failed(str(error))
            self.wm = xdisplay.start_window_manager(number, detach=True)
            env["DISPLAY"] = ":" + number

        # Tools in one build folder share its prefix's server: one that is running (another
        # tool's, or one a killed tool left) is joined, and the last session out ends it.
        self.users = open(os.path.join(prefix, ".sessions"), "a")
        with guard(prefix):
            fcntl.flock(self.users, fcntl.LOCK_SH)
            self.server = True
            # NOTE: Wine's output goes to a file: its services, started detached, keep a pipe open
            # for as long as they run.
            self.start_server(wine, prefix, os.path.join(build, "home", "wineboot.log"))
        env["TUTORIAL_WINE_SESSION"] = "1"

    def start_server(self, wine, prefix, log):
        started = call(["wineserver", "-p"], 30)
        if started not in (0, SERVER_RUNNING):
            raise Failed("wineserver did not start")
        booted = os.path.join(prefix, ".booted")
        if not os.path.isfile(booted):
            print("Preparing the Wine prefix in %s (once)..." % prefix, file=sys.stderr)
            self.boot(wine, log, 600)
            # No crash dialog: a crashing program exits (code 5) instead of waiting for a click.
            call([wine, "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
                  "/d", "0", "/f"], 60, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            open(booted, "a").close()
            # Creating the prefix leaves a desktop process that ends a few seconds later: start afresh.
            call(["wineserver", "-k"], 30)
            started = call(["wineserver", "-p"], 30)
        # NOTE: a persistent server and a warm-up start Wine's services once, detached; otherwise
        # they inherit the first program's output pipes and every later start waits for them. A
        # running server has its services: each boot would add another set.
        if started == 0:
            self.boot(wine, log, 120)
        # NOTE: the first window of a session starts the desktop process, which then holds the
        # starting program's output pipes for ~10 s after it exits: start it here, detached.
        if not desktop_running(prefix):
            start([wine, "explorer.exe", "/desktop"], detach=True, stdin=subprocess.DEVNULL,
                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if desktop_running(prefix):
                    break
                time.sleep(POLL)

    @staticmethod
    def boot(wine, log, limit):
        with open(log, "wb") as out:
            code = call([wine, "wineboot", "-i"], limit, stdin=subprocess.DEVNULL, stdout=out, stderr=out)
        if code != 0:
            with open(log, "rb") as f:
                said = f.read(300).decode("utf-8", "replace").rstrip("\n")
            raise Failed("Wine did not start (%s): %s" % (wine, said))

    def end(self):
        """Ends the Wine processes of the prefix (the program included), the window manager, the
        display and the tool's jobs; safe to call twice and after a start that failed half-way.
        A nested session ends only the jobs."""
        if self.nested:
            end_jobs()
            return
        # Nothing stops the end half-way: each step has its limit.
        for number in self.handlers:
            signal.signal(number, signal.SIG_IGN)
        if self.server:
            with guard(os.environ["WINEPREFIX"]):
                try:
                    # Held shared by every session of the prefix: taken alone, this one is the last.
                    fcntl.flock(self.users, fcntl.LOCK_EX | fcntl.LOCK_NB)
                    call(["wineserver", "-k"], 15, stderr=subprocess.DEVNULL)
                except BlockingIOError:
                    pass
                self.users.close()
            self.server = False
        for process in (self.wm, self.xvfb):
            if process:
                process.terminate()
        for process in (self.wm, self.xvfb):
            if process:
                stop(process)
        self.wm = self.xvfb = None
        # Whatever else the tool left in the background, a loader that never started included.
        end_jobs()
        for number, handler in self.handlers.items():
            signal.signal(number, handler)
        self.handlers = {}

