"""Latency of tools/run --watch: from a save of the scene to its first frame on the screen, for
one-line changes (the square's colour), with the scene reloaded in the running program and with a
new program each save (--restart), side by side in one run.

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

from tutor.contract import CAPTION

COLOURS = [(1, 0, 0), (0, 1, 0), (0, 0, 1), (1, 1, 0), (0, 1, 1)]
TITLE = "# Measured: the watch loop, from a save to the new picture"
# Before the scene was reloaded in place: a new program each save, from a loop in bash.


def pixel(screen, x, y):
    image = screen.root.get_image(x, y, 1, 1, X.ZPixmap, 0xFFFFFFFF)
    b, g, r = image.data[0], image.data[1], image.data[2]
    return r, g, b


def window_centre():
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % CAPTION],
                         capture_output=True, text=True, timeout=10).stdout.split()
    info = subprocess.run(["xwininfo", "-id", ids[-1]], capture_output=True, text=True, timeout=10).stdout
    field = lambda name: int(re.search(name + r":\s+(-?\d+)", info).group(1))
    return (field("Absolute upper-left X") + field("Width") // 2,
            field("Absolute upper-left Y") + field("Height") // 2)


def measure(root, saves, restart):
    """Latencies of SAVES saves with the watch loop in one mode, and its log."""
    work = tempfile.mkdtemp()
    scene = os.path.join(work, "Scene.cpp")
    template = open(os.path.join(root, "examples", "Square.cpp")).read()
    shutil.copy(os.path.join(root, "examples", "Square.cpp"), scene)
    log_path = os.path.join(work, "watch.log")
    log = open(log_path, "w")
    watcher = subprocess.Popen([os.path.join(root, "tools", "run"), "--watch"] + (["--restart"] if restart else [])
                               + [scene], stdout=log, stderr=subprocess.STDOUT)
    shots = lambda: open(log_path).read().count("watch: screenshot")
    latencies = []
    try:
        deadline = time.time() + 300
        while shots() < 1:
            if watcher.poll() is not None or time.time() > deadline:
                raise RuntimeError("the watch loop did not start:\n" + open(log_path).read())
            time.sleep(0.1)
        screen = display.Display().screen()
        x, y = window_centre()
        for i in range(saves):
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
            print("%s save %2d: %.2f s" % ("restart" if restart else "reload", i + 1, latencies[-1]), flush=True)
            while shots() <= before:  # the watcher has finished with this save
                time.sleep(0.05)
        return latencies, open(log_path).read()
    finally:
        watcher.terminate()
        try:
            watcher.wait(timeout=30)
        except subprocess.TimeoutExpired:
            watcher.kill()
            watcher.wait()
        shutil.rmtree(work, ignore_errors=True)


def parts(log, names):
    """The median of each named part of the saves' times, as the watch loop logs them."""
    found = {}
    for name in names:
        values = [float(v) * (0.001 if unit == "ms" else 1)
                  for v, unit in re.findall(r"%s ([0-9.]+) (s|ms)" % name, log)[1:]]  # the saves, not the start
        found[name] = statistics.median(values) if values else float("nan")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True)
    parser.add_argument("--saves", type=int, default=20)
    parser.add_argument("--out", help="the file to write (default: print it)")
    args = parser.parse_args()

    reload_, reload_log = measure(args.root, args.saves, restart=False)
    restart, restart_log = measure(args.root, args.saves, restart=True)
    inside = parts(reload_log, ["compile", "link", "load", "first frame"])
    outside = parts(restart_log, ["compile", "link", "start and first frame"])
    row = lambda name, v: "| %s | %d | %.2f s | %.2f s | %.2f s |" % (
        name, len(v), statistics.median(v), min(v), max(v))
    ratio = statistics.median(reload_) / statistics.median(restart)
    section = "\n".join([
        TITLE, "",
        "Written by `tools/bench --watch`; what the loop does: [../internals.md](../internals.md).", "",
        "Command: `tools/bench --watch` — %d saves of a one-line change (the square's colour) to a "
        "copy of `examples/Square.cpp` in each mode, one mode after the other in one run, each save "
        "written in place once the previous one shows; the %s build, on %s." % (
            args.saves, "64-bit" if os.environ.get("ARCH") == "x64" else "32-bit",
            time.strftime("%Y-%m-%d", time.gmtime())), "",
        "| mode | saves | median | best | worst |", "|---|---|---|---|---|",
        row("the scene reloaded in the running program (default)", reload_),
        row("a new program each save (`--restart`)", restart),
        "",
        "The reload's median is %.2f times the restart's (target: at most 0.6); its worst is %.2f s "
        "against the restart's median of %.2f s." % (ratio, max(reload_), statistics.median(restart)), "",
        "Each latency runs from just before the write (CLOCK_MONOTONIC) to the moment the pixel in "
        "the middle of the window, read from the X server every 2 ms, shows the new colour. Where "
        "the time goes, the medians the watch loop logs for each save: reloaded, the compile of the "
        "one file %.2f s, the link of the scene's module %.2f s, its load %.3f s and its first frame "
        "%.3f s; restarted, the compile %.2f s, the link of a whole program %.2f s, and Wine starting "
        "it to its first frame %.2f s. The rest is the file event, the 0.1 s the loop waits for more "
        "writes of the same save, the host's look for a new module every 50 ms and the loop's own "
        "steps." % (
            inside["compile"], inside["link"], inside["load"], inside["first frame"],
            outside["compile"], outside["link"], outside["start and first frame"]), "",
        "All, reloaded: " + ", ".join("%.2f" % v for v in reload_) + " s.", "",
        "All, restarted: " + ", ".join("%.2f" % v for v in restart) + " s.", ""])
    if args.out:
        with open(args.out, "w") as f:
            f.write(section)
        print("Wrote " + args.out)
    else:
        print(section)
    return 0


if __name__ == "__main__":
    sys.exit(main())
