"""Latency of tools/run --watch: from a save of the scene to the first frame of the new program
on the screen, for one-line changes (the square's colour).

Run through `tools/bench --watch`, which builds and provides the X display and the Wine prefix.
Each save writes the file in place; the time runs from just before the write to the moment the
pixel in the middle of the window, read from the X server every 2 ms, has the new colour.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, display

COLOURS = [(1, 0, 0), (0, 1, 0), (0, 0, 1), (1, 1, 0), (0, 1, 1)]
SECTION = "## The watch loop: from a save to the new picture"


def pixel(screen, x, y):
    image = screen.root.get_image(x, y, 1, 1, X.ZPixmap, 0xFFFFFFFF)
    b, g, r = image.data[0], image.data[1], image.data[2]
    return r, g, b


def window_centre():
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Zorv OpenGL Tutorial Exercise$"],
                         capture_output=True, text=True, timeout=10).stdout.split()
    info = subprocess.run(["xwininfo", "-id", ids[-1]], capture_output=True, text=True, timeout=10).stdout
    field = lambda name: int(re.search(name + r":\s+(-?\d+)", info).group(1))
    return (field("Absolute upper-left X") + field("Width") // 2,
            field("Absolute upper-left Y") + field("Height") // 2)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True)
    parser.add_argument("--saves", type=int, default=20)
    parser.add_argument("--out", help="the report to put the section in (default: print it)")
    args = parser.parse_args()

    work = tempfile.mkdtemp()
    scene = os.path.join(work, "Scene.cpp")
    template = open(os.path.join(args.root, "examples", "Square.cpp")).read()
    shutil.copy(os.path.join(args.root, "examples", "Square.cpp"), scene)
    log_path = os.path.join(work, "watch.log")
    log = open(log_path, "w")
    watcher = subprocess.Popen([os.path.join(args.root, "tools", "run"), "--watch", scene],
                               stdout=log, stderr=subprocess.STDOUT)
    shots = lambda: open(log_path).read().count("watch: screenshot")
    try:
        deadline = time.time() + 300
        while shots() < 1:
            if watcher.poll() is not None or time.time() > deadline:
                raise RuntimeError("the watch loop did not start:\n" + open(log_path).read())
            time.sleep(0.1)
        screen = display.Display().screen()
        x, y = window_centre()
        latencies = []
        for i in range(args.saves):
            colour = COLOURS[i % len(COLOURS)]
            expected = tuple(255 * c for c in colour)
            text = template.replace("glColor3f(1.0f, 1.0f, 1.0f)", "glColor3f(%d.0f, %d.0f, %d.0f)" % colour)
            before = shots()
            saved = time.monotonic()
            with open(scene, "w") as f:
                f.write(text)
            while pixel(screen, x, y) != expected:
                if time.monotonic() - saved > 30:
                    raise RuntimeError("save %d: the new colour did not show in 30 s" % (i + 1))
                time.sleep(0.002)
            latencies.append(time.monotonic() - saved)
            print("save %2d: %.2f s" % (i + 1, latencies[-1]), flush=True)
            while shots() <= before:  # the watcher has finished with this save
                time.sleep(0.05)
    finally:
        watcher.terminate()
        try:
            watcher.wait(timeout=30)
        except subprocess.TimeoutExpired:
            watcher.kill()
            watcher.wait()
        shutil.rmtree(work, ignore_errors=True)

    ordered = sorted(latencies)
    section = "\n".join([
        SECTION, "",
        "Command: `tools/bench --watch` — %d saves of a one-line change (the square's colour) to a "
        "copy of `examples/Square.cpp`, each written in place once the previous one shows; the "
        "%s build, on %s." % (args.saves, "64-bit" if os.environ.get("ARCH") == "x64" else "32-bit",
                              time.strftime("%Y-%m-%d", time.gmtime())), "",
        "| saves | median | best | worst |", "|---|---|---|---|",
        "| %d | %.2f s | %.2f s | %.2f s |" % (len(ordered), statistics.median(ordered), ordered[0], ordered[-1]), "",
        "Each latency runs from just before the write (CLOCK_MONOTONIC) to the moment the pixel in "
        "the middle of the window, read from the X server every 2 ms, shows the new colour: the "
        "file event, the compile of the one file, the link, Wine starting the program, and its "
        "first frame. Target: median at most 2 s.", "",
        "All: " + ", ".join("%.2f" % v for v in latencies) + " s.", ""])
    if args.out:
        old = open(args.out).read() if os.path.exists(args.out) else ""
        head = old.split(SECTION)[0].rstrip("\n")
        with open(args.out, "w") as f:
            f.write((head + "\n\n" if head else "") + section)
        print("Wrote " + args.out)
    else:
        print(section)
    return 0


if __name__ == "__main__":
    sys.exit(main())
