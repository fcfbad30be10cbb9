"""Where things are in the checkout the tools run from, and which build runs on this machine.

The 32-bit program is the product, but some kernels run no 32-bit code at all (32-bit emulation
off); there the 64-bit build of the same sources stands in. The route is decided once per command
and passed on to every tool it calls through TUTORIAL_ROUTE; TUTORIAL_FORCE_X64=1 takes the
64-bit route on any machine.
`python3 -m tutor route` prints the route this machine takes.
"""
import contextlib
import fcntl
import os
import sys

from tutor.outside import run_limited

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.realpath(__file__))))
TOOLS = os.path.join(ROOT, "tools")
# The scripts that drive the built program and the tools from outside.
TEST_SCRIPTS = os.path.join(ROOT, "tests", "e2e")
UNIT_BUILD = os.path.join(ROOT, "build-unit")

ARCHES = ("x86", "x64")
TOOLCHAINS = {"x86": "i686-w64-mingw32", "x64": "x86_64-w64-mingw32"}
BUILD_DIRS = {"x86": "build", "x64": "build-x64"}
PROBE_TIMEOUT = 30  # seconds for the 32-bit loader to say its version


def wine32_loader():
    return os.environ.get("TUTORIAL_WINE32_LOADER") or "/usr/lib/wine/wine"


def runs_32bit_code(loader):
    """Whether the 32-bit Wine loader starts. NOTE: a kernel without 32-bit emulation refuses
    every i386 program with "Exec format error" (exit code 126 from a shell)."""
    try:
        return run_limited([loader, "--version"], PROBE_TIMEOUT).returncode == 0
    except OSError:
        return False


def choose_route():
    """x86 or x64, chosen once per command: an earlier choice (TUTORIAL_ROUTE) stands. Says why
    in one line on standard error when it is not the 32-bit program, and passes it on."""
    route = os.environ.get("TUTORIAL_ROUTE")
    if route:
        return route
    loader = wine32_loader()
    if os.environ.get("TUTORIAL_FORCE_X64"):
        route, note = "x64", "TUTORIAL_FORCE_X64 is set: running the 64-bit build"
    elif runs_32bit_code(loader):
        route, note = "x86", None
    elif not os.path.exists(loader):
        route, note = "x64", "no 32-bit Wine at %s (tools/setup installs it): running the 64-bit build" % loader
    else:
        route, note = "x64", ("this machine's kernel runs no 32-bit code (boot it with ia32_emulation=on to "
                              "run the 32-bit program): running the 64-bit build")
    if note:
        print("note: " + note, file=sys.stderr)
    os.environ["TUTORIAL_ROUTE"] = route
    return route


def arch(given=None):
    """The width a tool builds and runs: GIVEN, or ARCH's (x86 when unset)."""
    return given or os.environ.get("ARCH") or "x86"


def toolchain(width=None):
    """The MinGW-w64 target of that width; ValueError for a width there is none of."""
    width = arch(width)
    if width not in TOOLCHAINS:
        raise ValueError("ARCH is x86 or x64, not '%s'" % width)
    return TOOLCHAINS[width]


def build_dir(width=None):
    """The build folder of that width (build/ or build-x64/); BUILD_DIR wins. Always absolute: the
    sandboxes mount what lies in it at the same path."""
    return os.path.abspath(os.environ.get("BUILD_DIR") or default_build_dir(width))


def default_build_dir(width=None):
    return os.path.join(ROOT, BUILD_DIRS["x64" if arch(width) == "x64" else "x86"])


def driver(exe):
    """The tools' build of an exercise, drivers/NAME.exe beside NAME.exe (the exe itself when it
    is one already)."""
    folder = os.path.dirname(exe) or "."
    if os.path.basename(folder) == "drivers":
        return exe
    return os.path.join(folder, "drivers", os.path.basename(exe))


def kit(build):
    """What compiling and linking one scene takes (cmake/TutorialKit.cmake)."""
    return os.path.join(build, "kit")


def watch_work(build):
    return os.path.join(build, "watch")


def grade_work(build):
    return os.path.join(build, "grade-work")



@contextlib.contextmanager
def build_lock(build):
    """Held while anything builds in BUILD: two ninjas in one folder tear its log, and then rebuild
    what another tool is reading (a half-written precompiled header crashes the compiler reading
    it, a half-written import library fails the watch loop's link). The other build's own time
    limit bounds the wait."""
    os.makedirs(build, exist_ok=True)
    with exclusive(os.path.join(build, ".build.lock"), "build: waiting for another build of %s to end" % build):
        yield


@contextlib.contextmanager
def exclusive(path, waiting=None):
    """Holds the lock file PATH alone, saying WAITING first when another holds it."""
    with open(path, "a") as lock:
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            if waiting:
                print(waiting, file=sys.stderr, flush=True)
            fcntl.flock(lock, fcntl.LOCK_EX)
        yield
