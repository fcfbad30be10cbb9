"""tools/grade: grades a whole class's exercises by picture, each student's code compiled and run
in a sandbox of its own (tutor/grade/); writes a report to look at, a table of results, and for
the course site a gradebook and a zip of feedback pages. SUBMISSIONS is a folder or a zip, as the
site hands it over.
    tools/grade --reference REFERENCE SUBMISSIONS [--out DIR] [--sizes WxH,...] [--times S,...]
                [--held-back N] [--draw N] [--timeout S] [--fuzz PERCENT] [--tolerance PIXELS]
                [--jobs N] [--starter FILE] [--points N] [--accept-weaker-limits]
(tools/grade --help says more.) Exit code 0 when every submission was graded, 2 for bad usage or
a zip that is not safe to unpack, 3 when a sandbox's limit cannot be set here (each is proved
before the first submission runs).
"""
import os
import signal
import subprocess
import sys

from tutor import tree
from tutor.commands import Exit, build, use_route
from tutor.outside import finish
from tutor.session import Session
from tutor.signals import IGNORED, SIGNALS, catch

# Each step of each submission has its limit (--timeout); this bounds a class however large.
CLASS_TIMEOUT = 24 * 3600


def main(argv):
    # Bad usage is told at once, before anything is installed or built; --help is all there is to do.
    from tutor.grade import run
    catch()  # again: the grader's module puts Ctrl+C back to its default
    try:
        run.main(["--check-only"] + argv)
    except SystemExit as stop:
        return stop.code
    if os.geteuid() != 0:
        raise Exit("grade", "run it as root (sudo tools/grade ...): it makes the sandboxes", 2)
    use_route()
    folder = tree.build_dir()
    # What every submission is built from: the build's kit, the compiler's response files with
    # the tools' entry that has the program picture its own frames (cmake/TutorialKit.cmake).
    code = build("--target", "kit")
    if code:
        return code
    # The prepared Wine prefix every sandbox's own is made from. The session ends once it is
    # ready (unless it is not ours to end): the sandboxes start a display and Wine of their own,
    # and a tool killed by SIGKILL then leaves nothing of it running.
    with Session(folder, own_display=True):
        pass
    grader = subprocess.Popen([sys.executable, "-m", "tutor.grade.run", "--build", folder] + argv)
    # Each signal is passed on, and the grader ends its sandboxes and reports what it has.
    for number in set(SIGNALS) - IGNORED:
        signal.signal(number, lambda signum, _: grader.send_signal(signum))
    return finish(grader, CLASS_TIMEOUT)
