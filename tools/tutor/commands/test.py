"""tools/test: installs what is missing, builds, and runs the whole test suite: first the unit
tests, built for this machine (seconds), then under Wine on a private X display with a Wine prefix
inside the build folder: the 32-bit program, then the 64-bit build. On a machine whose kernel runs
no 32-bit code (or with TUTORIAL_FORCE_X64=1) the 32-bit program is checked as a file and the
64-bit build runs the whole suite instead.
    tools/test [--arch x86|x64] [CTEST ARGS...]     (e.g. tools/test --arch x86 -R Projection)
    tools/test --unit                               the unit tests alone
"""
import os
import subprocess
import sys

from tutor import tree
from tutor.commands import Exit, build, setup, use_route
from tutor.outside import call, call_output
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
    status = 1 if unit_tests() else 0
    for width in arches:
        saved = dict(os.environ)
        try:
            code = suite(width, route, argv)
        except Interrupted:
            raise
        except SystemExit as stop:  # a Wine session that did not start, said why
            code = stop.code
        finally:
            os.environ.clear()
            os.environ.update(saved)
        status = status or (1 if code else 0)
    return status


def suite(width, route, ctest_args):
    """WIDTH's part of the suite with this machine's ROUTE; its exit code."""
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
    # Tests labelled per-route (the tools and the fuzzer) or one-width (the pictures, the editor)
    # run with the width this machine runs, not twice; the other width builds only what the rest
    # needs. This width builds the kit too: the tools' tests build scenes with it, and would
    # otherwise build it within their own time limits, side by side.
    choice, targets = [], ["--target", "all", "kit"]
    if width != route:
        choice, targets = ["-LE", "per-route|one-width"], ["--target", "width_tests"]
        print("=== %s: the suite, less the tests that run with %s only ===" % (width, route), flush=True)
    else:
        print("=== %s: the whole suite ===" % width, flush=True)
    code = build(*targets)
    if code:
        return code
    # Always a display of our own: tests resize, key and screenshot windows.
    with Session(folder, own_display=True):
        # The width's test preset (CMakePresets.json), which needs this session to run in; as
        # many tests at once as there are processors (the tests' locks keep apart what must be),
        # unless the arguments say otherwise: the last -j given counts.
        jobs = ["--parallel", str(os.cpu_count() or 1)]
        return call(["ctest", "--preset", width, "--test-dir", folder] + choice + jobs + ctest_args, SUITE_TIMEOUT,
                    cwd=tree.ROOT)
