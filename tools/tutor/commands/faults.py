"""tools/faults [--only ID,ID...] [--out FILE] [--case-timeout SECONDS]: puts the faults of
tutor/faults.d/*.list into a copy of the tree one at a time (in build-faults/, kept between runs;
FAULTS_DIR another) and tells which tests fail for each (tutor/faults.py), in a Wine session in
the copy's build. FAULTS_TREE=DIR puts them into another checkout of the project (an older
commit, to compare)."""
import os
import sys

from tutor import tree
from tutor.commands import use_route
from tutor.outside import call
from tutor.session import Session

# The whole list takes hours; each build and ctest run in it has a limit of its own.
FAULTS_TIMEOUT = 24 * 3600


def main(argv):
    width = use_route()
    copy = os.environ.get("FAULTS_DIR") or os.path.join(tree.ROOT, "build-faults")
    build = os.path.join(copy, "build-" + width)
    with Session(build, own_display=True):
        os.environ["BUILD_DIR"] = build
        return call([sys.executable, "-m", "tutor.faults", "--root", os.environ.get("FAULTS_TREE") or tree.ROOT,
                     "--copy", copy, "--build", build, "--toolchain", tree.toolchain(),
                     "--list", os.path.join(tree.TOOLS, "tutor", "faults.d")] + argv, FAULTS_TIMEOUT)
