"""The tools' commands, one module each, run as `python3 -m tutor COMMAND` by tools/COMMAND; each
has main(argv) returning its exit code. What several of them do first is here."""
import os
import sys

from tutor import tree
from tutor.outside import call

SETUP_TIMEOUT = 5400  # seconds for tools/setup: apt's update and install have limits of their own
BUILD_TIMEOUT = 4500  # seconds for tools/build: the configure's and the build's limits


class Exit(SystemExit):
    """Ends the command with CODE, having said "TOOL: TEXT" on standard error."""

    def __init__(self, tool, text, code):
        print("%s: %s" % (tool, text), file=sys.stderr)
        super().__init__(code)


def setup():
    """tools/setup, unless the command that runs this one ran it; its exit code."""
    if os.environ.get("TUTORIAL_SETUP_DONE"):
        return 0
    return call([os.path.join(tree.TOOLS, "setup")], SETUP_TIMEOUT)


def use_route():
    """Installs what is missing, chooses the route and sets ARCH for it; the route. A failed
    install ends the command with exit code 1."""
    if setup() != 0:
        raise SystemExit(1)
    # The tools this command calls need not look again.
    os.environ["TUTORIAL_SETUP_DONE"] = "1"
    os.environ["ARCH"] = tree.choose_route()
    return os.environ["ARCH"]


def build(*args):
    """tools/build with ARGS (a target, say); its exit code."""
    return call([os.path.join(tree.TOOLS, "build")] + list(args), BUILD_TIMEOUT)
