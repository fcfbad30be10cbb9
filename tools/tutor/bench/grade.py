"""How long tools/grade takes for a class of 30 at 3 sizes and 3 scene times, with 1 and with 2
sandboxes side by side, and with 2 but no shots held back, measured one after the other in one
run; writes docs/measured/grading.md.

Run through `tools/bench --grade`. The class is made of the test fixtures and the examples in
the mix a teacher meets: mostly right answers, some wrong pictures, a few that do not compile,
crash, throw an exception that would show an error box, or hang.
"""
import argparse
import os
import platform
import re
import shutil
import subprocess
import sys
import tempfile
import time

MIX = ([("correct", "tests/e2e/scenes/correct.cpp")] * 12 + [("square", "examples/Square.cpp")] * 8 +
       [("distorted", "tests/e2e/scenes/distorted.cpp")] * 3 + [("triangle", "examples/Triangle.cpp")] * 2 +
       [("broken", "tests/e2e/scenes/broken.cpp")] * 2 + [("null", "tests/e2e/scenes/null.cpp"),
                                                        ("throws", "tests/e2e/scenes/throws.cpp"),
                                                        ("forever", "tests/e2e/scenes/forever.cpp")])


TIMES = "0,0.5,1"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--timeout", type=float, default=10)
    args = parser.parse_args()

    work = tempfile.mkdtemp(dir=args.build)
    try:
        class_dir = os.path.join(work, "class")
        os.makedirs(class_dir)
        for i, (kind, path) in enumerate(MIX):
            shutil.copy(os.path.join(args.root, path), os.path.join(class_dir, "student%02d-%s.cpp" % (i + 1, kind)))
        runs = []
        for jobs, held in ((1, 1), (2, 1), (2, 0)):
            command = [os.path.join(args.root, "tools", "grade"), "--reference",
                       os.path.join(args.root, "examples", "Square.cpp"), class_dir, "--times", TIMES, "--out",
                       os.path.join(work, "out%d%d" % (jobs, held)), "--jobs", str(jobs), "--timeout",
                       str(args.timeout), "--held-back", str(held)]
            started = time.monotonic()
            result = subprocess.run(command, capture_output=True, text=True, timeout=3600)
            seconds = time.monotonic() - started
            print(result.stdout.splitlines()[-1] if result.stdout else result.stderr, flush=True)
            if result.returncode != 0:
                raise RuntimeError("tools/grade failed:\n" + result.stdout + result.stderr)
            summary = re.search(r"in \d+ s: (.*)\. Report", result.stdout).group(1)
            runs.append((jobs, held, seconds, summary))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    lines = [
        "# Measured: grading a class", "",
        "Written by `tools/bench --grade`; what the grader does and keeps out: [../grading.md](../grading.md).", "",
        "Measured %s on %s (%d cores, %s), the %s build, with `tools/bench --grade`." % (
            time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), platform.node(), os.cpu_count(), cpu,
            "64-bit" if os.environ.get("ARCH") == "x64" else "32-bit"), "",
        "A class of %d submissions at the 3 default sizes and the scene times %s, graded against "
        "`examples/Square.cpp` (rendered by the grader first), `--timeout %g`: %s. By default a size and a "
        "time are held back as well, drawn for the run: 16 pictures a submission instead of 9." % (
            len(MIX), TIMES.replace(",", ", "), args.timeout, runs[0][3]), "",
        "| sandboxes side by side | shots held back | whole run, from the command to the report | per submission |",
        "|---|---|---|---|"]
    for jobs, held, seconds, _ in runs:
        lines.append("| %d | %s | %.0f s | %.1f s |" % (jobs, "1 size, 1 time" if held else "none", seconds,
                                                        seconds / len(MIX)))
    lines += ["", "Target: at most 75 s for 30 submissions at 3 sizes and 3 times with the default 2 "
              "sandboxes. 2 sandboxes run %.2f times as fast as 1 on 2 cores; the held-back shots take "
              "%.2f times as long as none." % (runs[0][2] / runs[1][2], runs[1][2] / runs[2][2]), "",
              "The whole run includes the reference's own build and run and everything `tools/grade` "
              "does before it (the check that the framework is built, the prepared Wine prefix). "
              "What one submission costs: a compile of its one file against the precompiled shared "
              "header, a link with the tools' entry, a disk of its own with an overlay over the prepared "
              "Wine prefix, and one run of the program on an X server that its sandbox starts: a second of "
              "frames on the real clock, then one frame at each size and time, pictured by the program "
              "itself, each picture checked and written anew by the grader. No step waits a fixed "
              "time. A submission that hangs costs `--timeout` seconds.", ""]
    out = os.path.join(args.root, "docs", "measured", "grading.md")
    with open(out, "w") as f:
        f.write("\n".join(lines))
    print("Wrote " + out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
