"""Soak and fault run against the real program, from outside its process: frames, resizes
(zero-high, smallest, minimised and restored), F1 boxes, random keys, Esc while the F1 box is
up, and Alt+F4. Samples resident memory and the USER (windows) and GDI object counts between
phases; fails if the program crashes, a key other than Esc or F1 does anything, the counts
grow, or the exit code is not 0.
  tools/soak [--long] [--report FILE] [--no-build]
The quick mode (default) is a short run; --long is the full run: 100,000 frames, 1,000
resizes, 200 F1 boxes and 10,000 keys.
"""
import os
import random
import re
import subprocess
import time

from tutor import tree
from tutor.commands import Exit, build, use_route
from tutor.contract import CAPTION
from tutor.outside import call, call_output
from tutor.session import Session, loader, start, wait_exit, wait_gone, wait_window

QUICK = dict(frames=5000, resizes=60, boxes=4, keys=400, mode="quick")
LONG = dict(frames=100000, resizes=1000, boxes=200, keys=10000, mode="long")
KEYSYMS = ("a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5 6 7 8 9 "
           "F2 F3 F4 F5 F6 F7 F8 F9 F10 F11 F12 Return space Tab BackSpace Delete Insert Home End "
           "Prior Next Left Right Up Down minus equal bracketleft bracketright semicolon apostrophe "
           "comma period slash backslash grave KP_0 KP_5 KP_Add KP_Enter Pause Scroll_Lock Menu").split()


def fail(text):
    return Exit("soak", "FAIL: " + text, 1)


def xdotool(*args, limit=10, quiet=True):
    """An xdotool command; its exit code."""
    return call(["xdotool"] + list(args), limit, stderr=subprocess.DEVNULL if quiet else None)


def number(text):
    """The number a text starts with, as awk reads it (0 for none)."""
    m = re.match(r"\s*[-+]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?", text)
    return float(m.group()) if m else 0.0


class Program:
    """Tutorial.exe started under Wine with Wine's frame rate in its log, and what is sampled of it."""

    def __init__(self, exe, probe, work):
        self.exe, self.probe, self.work = exe, probe, work
        self.process, self.window, self.samples = None, None, []

    def start(self, name):
        self.log = os.path.join(self.work, "tutorial-%s.log" % name)
        with open(self.log, "wb") as log:
            self.process = start([loader(), self.exe], stdout=log, stderr=log,
                                 env=dict(os.environ, WINEDEBUG="+timestamp,+fps"))
        self.window = wait_window(CAPTION)
        if self.window is None:
            raise fail("the window did not appear")

    def alive(self):
        return self.process.poll() is None

    def frames(self):
        """Frames so far, from Wine's fps channel: its total rate times the time since the first frame."""
        first = last = rate = 0.0
        with open(self.log, encoding="utf-8", errors="replace") as log:
            for line in log:
                if ":trace:fps:" in line:
                    last = number(line.split(":", 1)[0])
                    first = first or last
                    found = re.search(r"total ([0-9.]+)", line)
                    rate = number(found.group(1)) if found else 0.0
        return int((last - first) * rate)

    def sample(self, label):
        try:
            with open("/proc/%d/status" % self.process.pid) as status:
                rss = next(("%.1f" % (int(line.split()[1]) / 1024) for line in status if line.startswith("VmRSS:")), "")
        except OSError:
            rss = ""
        code, counts = call_output([loader(), self.probe, "counts"], 30, stderr=subprocess.DEVNULL)
        words = counts.replace("\r", "").split()  # NOTE: a console program under Wine ends its lines with CR LF
        if code:
            raise fail("cannot read the program's counts (%s)" % label)
        words += [""] * (6 - len(words))
        frames = self.frames()
        self.samples.append((label, str(frames), rss, words[3], words[5]))
        print("%-34s frames %8s  RSS %6s MiB  windows %3s  GDI objects %4s" % (label, frames, rss, words[3], words[5]))


def main(argv):
    run, report, rebuild = QUICK, "", True
    while argv:
        if argv[0] == "--long":
            run, argv = LONG, argv[1:]
        elif argv[0] == "--report":
            if len(argv) < 2:
                raise Exit("soak", "--report needs a file", 2)
            report, argv = argv[1], argv[2:]
        elif argv[0] == "--no-build":
            rebuild, argv = False, argv[1:]
        elif argv[0] in ("-h", "--help"):
            print(__doc__, end="")
            return 0
        else:
            raise Exit("soak", "unknown argument %s (see --help)" % argv[0], 2)

    use_route()
    folder = tree.build_dir()
    if rebuild and build() != 0:
        return 1
    exe, probe = os.path.join(folder, "Tutorial.exe"), os.path.join(folder, "soak_probe.exe")
    for needed in (exe, probe):
        if not os.path.isfile(needed):
            raise Exit("soak", "no %s; build first" % needed, 2)
    with Session(folder, own_display=True):
        work = os.path.join(folder, "soak")
        os.makedirs(work, exist_ok=True)
        program = Program(exe, probe, work)
        try:
            return soak(program, run, report)
        finally:
            if program.process and program.alive():
                program.process.terminate()


def soak(program, run, report):
    if call([loader(), program.probe, "selftest"], 60, stdout=subprocess.DEVNULL):
        raise fail("the GDI object count does not work on this Wine")
    print("soak (%(mode)s): %(frames)d frames, %(resizes)d resizes, %(boxes)d F1 boxes, %(keys)d keys" % run)
    program.start("main")
    time.sleep(1)
    program.sample("started")

    # 1. Frames.
    while program.frames() < run["frames"]:
        if not program.alive():
            raise fail("the program ended while presenting frames")
        time.sleep(0.5)
    program.sample("after %d frames" % run["frames"])

    # 2. Resizes.
    if call([loader(), program.probe, "resize", str(run["resizes"])], 600):
        raise fail("resizing failed")
    if not program.alive():
        raise fail("the program ended while being resized")
    program.sample("after %d resizes" % run["resizes"])

    # 3. F1 boxes, each dismissed with OK.
    box, wid = None, program.window
    for i in range(1, run["boxes"] + 1):
        xdotool("key", "--window", wid, "F1")
        box = wait_window("Error", box)
        if box is None:
            raise fail("F1 showed no box (box %d)" % i)
        # Return presses OK, the default button, once the box has the focus.
        xdotool("windowactivate", "--sync", box, "key", "Return")
        if not wait_gone("Error"):
            raise fail("the box did not close (box %d)" % i)
        if i == 1:
            program.sample("after the first F1 box")
    if not program.alive():
        raise fail("the program ended after the F1 boxes")
    program.sample("after %d F1 boxes" % run["boxes"])

    # 4. Random keys without modifiers: all but Esc and F1 must do nothing.
    sent = 0
    while sent < run["keys"]:
        xdotool("key", "--window", wid, "--delay", "1", *random.choices(KEYSYMS, k=100), limit=30)
        sent += 100
        if not program.alive():
            raise fail("the program ended after %d random keys" % sent)
        if call(["xdotool", "search", "--onlyvisible", "--name", "^Error$"], 10, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL) == 0:
            raise fail("a random key showed a box")
    time.sleep(0.5)
    if wait_window(CAPTION) is None:
        raise fail("the window went away under random keys")
    program.sample("after %d random keys" % run["keys"])

    # 5. Esc while the F1 box is up. With the box focused, Esc is the box's: it closes it like OK
    # and the program goes on.
    xdotool("key", "--window", wid, "F1")
    box = wait_window("Error", box)
    if box is None:
        raise fail("F1 showed no box")
    # NOTE: real key presses through the X server from here on: a key sent to a window that it
    # closes never sees its release, and Wine would keep it held down.
    xdotool("windowactivate", "--sync", box, "key", "Escape", quiet=False)
    if not wait_gone("Error"):
        raise fail("Esc did not close the focused F1 box")
    time.sleep(0.3)
    if not program.alive():
        raise fail("Esc to the F1 box ended the program")
    print("Esc to the focused F1 box: the box closes, the program goes on")
    # With the main window focused (the box has no owner, so the window stays usable), Esc closes
    # it: the quit request ends the box's own message loop too, and the program ends.
    xdotool("key", "--window", wid, "F1")
    box = wait_window("Error", box)
    if box is None:
        raise fail("F1 showed no box")
    xdotool("windowactivate", "--sync", wid, "key", "Escape", quiet=False)
    outcome = "ended at once, the box closing with it"
    if not wait_gone("Error", 60):
        outcome = "ended once the box was dismissed"
        xdotool("windowactivate", "--sync", box, "key", "Return")
    code = wait_exit(program.process, 10)
    if code == 255:
        raise fail("still running 10 s after Esc to the main window with the F1 box up")
    if code:
        raise fail("exit code %d after Esc with the F1 box up" % code)
    print("Esc to the main window with the F1 box up: exit code 0, %s" % outcome)

    # 6. Alt+F4 closes the window, as on any Windows program.
    program.start("altf4")
    time.sleep(0.5)
    xdotool("windowactivate", "--sync", program.window, "key", "alt+F4", quiet=False)
    code = wait_exit(program.process, 10)
    if code:
        raise fail("Alt+F4: exit code %d" % code)
    print("Alt+F4: exit code 0")

    # Flat from the first F1 box on (it loads the box's resources once).
    _, _, rss0, user0, gdi0 = program.samples[3]
    _, _, rss1, user1, gdi1 = program.samples[-1]
    growth = "%.1f" % (number(rss1) - number(rss0))
    verdict = "flat" if user1 == user0 and gdi1 == gdi0 and float(growth) <= 2 else "NOT flat"
    summary = "From the first F1 box to the end: RSS %s MiB, windows %s -> %s, GDI objects %s -> %s: %s" % (
        growth, user0, user1, gdi0, gdi1, verdict)
    print(summary)
    if report:
        with open(report, "w") as f:
            f.write("| phase | frames | RSS (MiB) | windows | GDI objects |\n|---|---|---|---|---|\n")
            f.writelines("| %s | %s | %s | %s | %s |\n" % sample for sample in program.samples)
            f.write("\nEsc to the focused F1 box closes the box like OK and the program goes on. Esc to the main\n"
                    "window with the F1 box up: exit code 0, %s. Alt+F4: exit code 0.\n%s.\n" % (outcome, summary))
    if verdict != "flat":
        raise fail("resources grew")
    print("soak: passed")
    return 0
