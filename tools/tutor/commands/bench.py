"""tools/bench: measures the program (Tutorial.exe of the build this machine runs) against a plain
Win32 program doing the same job, side by side on one private X display; each writes a file of
its own in docs/measured/, which the hand-written pages of docs/ link to.
    tools/bench [--rounds N] [--seconds S] [--quick] [--out FILE]   docs/measured/benchmarks.md
    tools/bench --calibrate [--out FILE]   the baseline against itself: the ratios' noise, printed
    tools/bench --watch [--saves N]    the watch loop's latency: docs/measured/watch.md
    tools/bench --grade                tools/grade on a class of 30, 1 and 2 jobs: docs/measured/grading.md
"""
import os
import sys

from tutor import tree
from tutor.commands import build, use_route
from tutor.outside import call
from tutor.session import Session

# A benchmark's rounds each have limits of their own; this bounds a run that hangs between them.
BENCH_TIMEOUT = 6 * 3600


def main(argv):
    use_route()
    folder = tree.build_dir()
    code = build()
    if code:
        return code
    with Session(folder, own_display=True):
        if argv[:1] == ["--watch"]:
            module = ["tutor.bench.watch", "--root", tree.ROOT,
                      "--out", os.path.join(tree.ROOT, "docs", "measured", "watch.md")] + argv[1:]
        elif argv[:1] == ["--grade"]:
            module = ["tutor.bench.grade", "--root", tree.ROOT, "--build", folder] + argv[1:]
        else:
            module = ["tutor.bench.program", "--build", folder, "--command", "tools/bench " + " ".join(argv)] + argv
        return call([sys.executable, "-m"] + module, BENCH_TIMEOUT)
