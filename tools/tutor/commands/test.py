"""tools/test: installs what is missing, builds, and runs the whole test suite under Wine, on a
private X display with a Wine prefix inside the build folder: the 32-bit build, and the 64-bit
build's tests of what differs between the widths. On a machine whose kernel runs no 32-bit code
(or with TUTORIAL_FORCE_X64=1) the 64-bit build runs the whole suite and the 32-bit program is
checked as a file. The unit tests (built for this machine) and the other width's part run beside
the tests of the width this machine runs, and are told once those end.
    tools/test [--arch x86|x64] [CTEST ARGS...]     one width, e.g. tools/test --arch x86 -R Projection
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
BESIDE_NICE = 10  # what runs beside the route's tests yields the processors to them


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
    arches, whole = list(tree.ARCHES), True
    if argv[:1] == ["--arch"]:
        if len(argv) < 2 or argv[1] not in tree.ARCHES:
            raise Exit("test", "--arch takes x86 or x64", 2)
        arches, argv, whole = [argv[1]], argv[2:], False
    route = use_route()
    if route not in arches:
        return suite(arches[0], route, argv)
    # The route's tree is the longest build and the suite's processors are its limit: it builds
    # while its Wine session starts. What needs neither (the unit tests, the other width's part)
    # runs beside the route's tests, a tool of its own at a lower priority: the builds keep both
    # processors busy, the tests at times one, waiting on the grader's tests one after another.
    early = Held([os.path.join(tree.TOOLS, "build")] + parts(route, route)[1],
                 dict(os.environ, ARCH=route, BUILD_DIR=tree.build_dir(route)))
    tool, others = os.path.join(tree.TOOLS, "test"), [width for width in arches if width != route]
    beside = [Held([tool] + args, dict(os.environ), BESIDE_NICE)
              for args in [["--unit"]] * whole + [["--arch", width] + argv for width in others]]
    told = " and ".join(["the unit tests"] * whole + ["the %s part" % width for width in others])

    def start_beside():
        if beside and beside[0].process is None:
            print("=== %s: beside the %s suite, told once it ends ===" % (told, route), flush=True)
            for part in beside:
                part.start()

    early.start()
    try:
        saved = dict(os.environ)
        try:
            code = suite(route, route, argv, early, start_beside)
        except Interrupted:
            raise
        except SystemExit as failed:  # a Wine session that did not start, said why
            code = failed.code
        finally:
            os.environ.clear()
            os.environ.update(saved)
        # Whatever became of the route's suite, the rest is run and told.
        start_beside()
        codes = [code] + [part.result(SUITE_TIMEOUT) for part in beside]
        return 1 if any(codes) else 0
    finally:
        for part in [early] + beside:
            part.close()


def parts(width, route):
    """(ctest's choice of tests, tools/build's targets) of WIDTH's part with this machine's ROUTE.
    Tests labelled per-route (the tools and the fuzzer) or one-width (the pictures, the editor)
    run with the width this machine runs, not twice; the other width builds only what the rest
    needs. This width builds the kit too: the tools' tests build scenes with it, and would
    otherwise build it within their own time limits, side by side."""
    if width != route:
        return ["-LE", "per-route|one-width"], ["--target", "width_tests"]
    return [], ["--target", "all", "kit"]


class Held:
    """ARGV with the environment ENV, started (start()) before its turn, at the priority NICE
    lowered by that much; what it says is held until then (result())."""

    def __init__(self, argv, env, nice=0):
        self.argv = (["nice", "-n", str(nice)] if nice else []) + argv
        self.env, self.process = env, None
        self.said = tempfile.TemporaryFile("w+", errors="replace")

    def start(self):
        self.process = subprocess.Popen(self.argv, env=self.env, stdout=self.said, stderr=subprocess.STDOUT)

    def result(self, timeout):
        """Its exit code once it has ended, at most TIMEOUT s from now, what it said printed."""
        code = finish(self.process, timeout)
        self.said.seek(0)
        sys.stdout.write(self.said.read())
        sys.stdout.flush()
        return code

    def close(self):
        if self.process and self.process.poll() is None:
            stop(self.process)
        self.said.close()


def suite(width, route, ctest_args, early=None, testing=None):
    """WIDTH's part of the suite with this machine's ROUTE, its build EARLY (a Held) if that
    started already; its exit code. TESTING is called as its tests start."""
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
            code = early.result(BUILD_TIMEOUT)
            if code:
                return code
        # The width's test preset (CMakePresets.json), which needs this session to run in; as
        # many tests at once as there are processors (the tests' locks keep apart what must be),
        # unless the arguments say otherwise: the last -j given counts.
        jobs = ["--parallel", str(os.cpu_count() or 1)]
        if testing:
            testing()
        return call(["ctest", "--preset", width, "--test-dir", folder] + choice + jobs + ctest_args, SUITE_TIMEOUT,
                    cwd=tree.ROOT)
