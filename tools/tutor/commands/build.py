"""tools/build [CMAKE --build ARGS]: configures (once, with the width's preset in
CMakePresets.json, so that an editor configuring with it shares this build) and builds with the
route's cross compiler; ARCH=x64 builds the 64-bit variant in build-x64/, the 32-bit program in
build/ is the default. Quiet unless the compiler has something to say."""
import os
import re
import subprocess
import sys

from tutor import tree
from tutor.commands import setup
from tutor.outside import call, call_output

CONFIGURE_TIMEOUT = 600
# NOTE: a time limit even here: a compiler that hangs must not stop a tool for ever.
BUILD_TIMEOUT = 3600
NOISE = re.compile(r"^\[[0-9]*/[0-9]*\]|^ninja: no work to do|^-- ")


def main(argv):
    width = tree.arch()
    try:
        tree.toolchain(width)
    except ValueError as error:
        print(error, file=sys.stderr)
        return 2
    build = tree.build_dir(width)
    code = setup()
    if code:
        return code
    with tree.build_lock(build):
        return configure_and_build(build, width, argv)


def configure_and_build(build, width, argv):
    if not os.path.isfile(os.path.join(build, "CMakeCache.txt")):
        code = call(["cmake", "-S", tree.ROOT, "--preset", width, "-B", build], CONFIGURE_TIMEOUT,
                    stdout=subprocess.DEVNULL)
        if code:
            return code
    code, said = call_output(["cmake", "--build", build] + argv, BUILD_TIMEOUT, stderr=subprocess.STDOUT)
    said = said.rstrip("\n")
    if code != 0:
        print(said, file=sys.stderr)
        return 1
    for line in said.split("\n"):
        if not NOISE.search(line):
            print(line)
    link_compile_commands(build, width)
    return 0


def link_compile_commands(build, width):
    """clangd looks for the compile commands at the project's root: those of the route this
    command runs (another width built by tools/test leaves them alone), and never a folder set
    by BUILD_DIR."""
    link = os.path.join(tree.ROOT, "compile_commands.json")
    if build != tree.default_build_dir(width) or (os.environ.get("TUTORIAL_ROUTE") or width) != width:
        return
    if os.path.lexists(link) and not os.path.islink(link):
        return
    target = os.path.join(os.path.basename(build), "compile_commands.json")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(target, link)
