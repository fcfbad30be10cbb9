"""tools/test: installs what is missing, builds, and runs the whole test suite: first the unit
tests, built for this machine (seconds, while the tree this machine runs builds), then under Wine
on a private X display with a Wine prefix inside the build folder: the 32-bit program, then the
64-bit build. On a machine whose kernel runs no 32-bit code (or with TUTORIAL_FORCE_X64=1) the
32-bit program is checked as a file and the 64-bit build runs the whole suite instead.
    tools/test [--arch x86|x64] [CTEST ARGS...]     (e.g. tools/test --arch x86 -R Projection)
    tools/test --unit                               the unit tests alone
"""
import os
import subprocess
import sys
import tempfile

from tutor import tree
from tutor.commands import BUILD_TIMEOUT, Exit, build, setup, use_route
from tutor.outside import call, call_output, finish, stop
from tutor.session import Session
from tutor.signals import Interrupted

SUITE_TIMEOUT = 3 * 3600  # each test has a limit of its own (CMakePresets.json)


def unit_tests():
    """What needs neither Windows nor Wine (tests/unit/), built with this machine's compiler."""
    folder = tree.UNIT_BUILD
    if not os.path.isfile(os.path.join(folder, "CMakeCache.txt")):
        code = call(["cmake", "-S", os.path.join(tree.ROOT, "tests", "unit"), "-B", folder, "-G", "Ninja"], 300,
                    stdout=subprocess.DEVNULL)
        if code:
            return code
    code, said = call_output(["cmake", "--build", folder], 600, stderr=subprocess.STDOUT)
    if code:
        print(said.rstrip("\n"), file=sys.stderr)
        return 1
    print("=== unit: built for this machine ===")
    # Independent of each other and of any display: as many at once as there are processors.
    return call(["ctest", "--output-on-failure", "--timeout", "60", "--parallel", str(os.cpu_count() or 1)], 300,
                cwd=folder)


def main(argv):
    if argv[:1] == ["--unit"]:
        if len(argv) != 1:
            raise Exit("test", "--unit takes no other argument", 2)
        return setup() or unit_tests()
    arches = list(tree.ARCHES)
    if argv[:1] == ["--arch"]:
        if len(argv) < 2 or argv[1] not in tree.ARCHES:
            raise Exit("test", "--arch takes x86 or x64", 2)
        arches, argv = [argv[1]], argv[2:]
    route = use_route()
    # The route's tree is the longest build and the suite's processors are its limit: it builds
    # while the unit tests and the other width run, and while its Wine session starts.
    early = Building(route, parts(route, route)[1]) if route in arches else None
    try:
        status = 1 if unit_tests() else 0
        for width in arches:
            saved = dict(os.environ)
            try:
                code = suite(width, route, argv, early if width == route else None)
            except Interrupted:
                raise
            except SystemExit as failed:  # a Wine session that did not start, said why
                code = failed.code
            finally:
                os.environ.clear()
                os.environ.update(saved)
            status = status or (1 if code else 0)
    finally:
        if early:
            early.close()
    return status


def parts(width, route):
    """(ctest's choice of tests, tools/build's targets) of WIDTH's part with this machine's ROUTE.
    Tests labelled per-route (the tools and the fuzzer) or one-width (the pictures, the editor)
    run with the width this machine runs, not twice; the other width builds only what the rest
    needs. This width builds the kit too: the tools' tests build scenes with it, and would
    otherwise build it within their own time limits, side by side."""
    if width != route:
        return ["-LE", "per-route|one-width"], ["--target", "width_tests"]
    return [], ["--target", "all", "kit"]


class Building:
    """tools/build of WIDTH's TARGETS, started before its turn; what it says is held until then."""

    def __init__(self, width, targets):
        self.said = tempfile.TemporaryFile("w+", errors="replace")
        env = dict(os.environ, ARCH=width, BUILD_DIR=tree.build_dir(width))
        self.process = subprocess.Popen([os.path.join(tree.TOOLS, "build")] + targets, env=env,
                                        stdout=self.said, stderr=subprocess.STDOUT)

    def result(self):
        """Its exit code once it has ended, what it said printed."""
        code = finish(self.process, BUILD_TIMEOUT)
        self.said.seek(0)
        sys.stdout.write(self.said.read())
        sys.stdout.flush()
        return code

    def close(self):
        if self.process.poll() is None:
            stop(self.process)
        self.said.close()


def suite(width, route, ctest_args, early=None):
    """WIDTH's part of the suite with this machine's ROUTE, its build EARLY (a Building) if that
    started already; its exit code."""
    os.environ["ARCH"] = width
    folder = os.environ["BUILD_DIR"] = tree.build_dir()
    if width == "x86" and route == "x64":
        print("=== x86: the 32-bit program as a file only, on the 64-bit route ===", flush=True)
        code = build("--target", "Tutorial")
        if code:
            return code
        tools = dict(OBJDUMP=tree.toolchain("x86") + "-objdump", NM=tree.toolchain("x86") + "-nm")
        return call(["bash", os.path.join(tree.TEST_SCRIPTS, "executable_test.sh"),
                     os.path.join(folder, "Tutorial.exe")], 300, env=dict(os.environ, **tools))
    choice, targets = parts(width, route)
    if width != route:
        print("=== %s: the suite, less the tests that run with %s only ===" % (width, route), flush=True)
    else:
        print("=== %s: the whole suite ===" % width, flush=True)
    if not early:
        code = build(*targets)
        if code:
            return code
    # Always a display of our own: tests resize, key and screenshot windows. (It starts while an
    # early build still runs.)
    with Session(folder, own_display=True):
        if early:
            code = early.result()
            if code:
                return code
        # The width's test preset (CMakePresets.json), which needs this session to run in; as
        # many tests at once as there are processors (the tests' locks keep apart what must be),
        # unless the arguments say otherwise: the last -j given counts.
        jobs = ["--parallel", str(os.cpu_count() or 1)]
        return call(["ctest", "--preset", width, "--test-dir", folder] + choice + jobs + ctest_args, SUITE_TIMEOUT,
                    cwd=tree.ROOT)
