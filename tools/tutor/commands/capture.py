"""tools/capture: has an exercise picture its own frames at chosen sizes and scene times, and
optionally compares the pictures with references (tutor/pictures.py), and with --explain says
what the scene's recorded GL calls prove about each picture (tutor/findings.py)."""
import os
import re
import shutil
import subprocess
import tempfile

from tutor import findings, options, pictures, tree
from tutor.commands import Exit, build, use_route
from tutor.contract import CAPTION
from tutor.outside import call
from tutor.session import Driver, Session, driver_run, wait_file, wait_window, windows_path

USAGE = """\
Usage: tools/capture [options] [EXERCISE.exe]

Runs the exercise (default Tutorial.exe; a name without a folder is taken from the build this
machine runs) under Wine on a private X display. The program lets its scene run for a second,
then draws one frame at each size and scene time asked for and saves its client area as a PNG,
read back from the frame itself. Fails unless it did so and exited with code 0, or, given
references, when a picture differs from its own.

  --size WxH, --sizes WxH,...  client areas, each set as a user's resize would, up to
                               1920x1200 (default: the window's own, 792x573)
  --time S, --times S,...      scene times in seconds, what SceneTime() returns (default 0)
  --out PATH                   one picture: the file (default capture.png in the build folder);
                               several: a folder, which gets one WxH@S.png each
  --reference PATH             a PNG, or a folder of pictures named WxH@S.png (or WxH.png for
                               time 0), as --out writes them; fail, saying by how many pixels,
                               where a picture differs
  --fuzz PERCENT               colour difference a pixel may have and still match (default 2)
  --tolerance N                how many pixels may differ in each picture (default 1 % of
                               those the reference draws off its background, at least 8, never
                               all of them, as tools/grade allows)
  --screen                     take the picture from the screen, as a user sees the window
  --window                     from the screen, frame and caption included
  --explain                    then print what the scene's GL calls prove went wrong in each
                               frame pictured, "FILE:LINE: KIND: TEXT" a line; the exit code
                               stays the pictures'
  --timeout SECONDS            how long the program may take in all (default 60)
  --no-build                   use the build as it is
  -h, --help                   this text
"""
# What each option takes, said when it is missing.
NEEDS = {"--size": "WxH", "--sizes": "WxH", "--time": "seconds", "--times": "seconds", "--out": "a path",
         "--reference": "a path", "--fuzz": "a percentage", "--tolerance": "a count", "--timeout": "seconds"}
CHECKS = {"--size": options.sizes, "--sizes": options.sizes, "--time": options.times, "--times": options.times,
          "--fuzz": options.fuzz, "--tolerance": options.tolerance, "--timeout": options.timeout}
KEYS = {"--size": "sizes", "--time": "times"}
FLAGS = {"--screen": ("screen", "client"), "--window": ("screen", "frame"), "--no-build": ("rebuild", False),
         "--explain": ("explain", True)}


def usage_error(text):
    return Exit("capture", text, 2)


def parse(argv):
    given = dict(sizes=[], times=["0"], out="", screen="", reference="", fuzz=2.0, tolerance=None, exe="",
                 rebuild=True, timeout=60, explain=False)
    while argv:
        option, argv = argv[0], argv[1:]
        if option in ("-h", "--help"):
            print(USAGE, end="")
            raise SystemExit(0)
        if option in FLAGS:
            key, value = FLAGS[option]
        elif option in NEEDS:
            if not argv:
                raise usage_error("%s needs %s" % (option, NEEDS[option]))
            value, argv = argv[0], argv[1:]
            try:
                value = CHECKS[option](option, value) if option in CHECKS else value
            except options.Bad as error:
                raise usage_error(str(error))
            key = KEYS.get(option, option[2:])
        elif option.startswith("-"):
            raise usage_error("unknown option %s (see --help)" % option)
        elif given["exe"]:
            raise usage_error("one exercise at a time: '%s' and '%s'" % (given["exe"], option))
        else:
            key, value = "exe", option
        given[key] = value
    return given


def main(argv):
    given = parse(argv)
    sizes, times, reference, screen = given["sizes"], given["times"], given["reference"], given["screen"]
    count = len(sizes) * len(times) if sizes else len(times)
    if reference and not os.path.exists(reference):
        raise usage_error("no reference picture at %s" % reference)
    if reference and count > 1 and not os.path.isdir(reference):
        raise usage_error("several pictures are compared with a folder of references, not one file")
    if screen and count > 1:
        raise usage_error("--screen and --window take one size and one time")

    use_route()
    folder = tree.build_dir()
    if given["rebuild"] and build() != 0:
        return 1
    # A bare name is an exercise of the build this machine runs: MyScene.exe is build/MyScene.exe
    # (build-x64/ on the 64-bit route).
    exe = given["exe"] or "Tutorial.exe"
    exe = exe if "/" in exe else os.path.join(folder, exe)
    driver = tree.driver(exe)
    if not os.path.isfile(driver):
        raise usage_error("no exercise at %s (or its driver at %s)" % (exe, driver))

    out = given["out"] or os.path.join(folder, "capture.png" if count == 1 else "capture")
    pictures_folder = dirname(out) if count == 1 else out
    try:
        os.makedirs(pictures_folder, exist_ok=True)
    except OSError:
        raise usage_error("cannot create %s" % pictures_folder)
    try:
        work = tempfile.mkdtemp(prefix=".capture.", dir=pictures_folder)
    except OSError:
        raise usage_error("cannot write in %s" % pictures_folder)
    try:
        with Session(folder, own_display=True):
            take(driver, exe, sizes, times, screen, work, given["timeout"])
        return keep(work, out, pictures_folder, count, given)
    finally:
        if given["explain"]:  # when a picture failed too: what went wrong may be why
            explain(work)
        shutil.rmtree(work, ignore_errors=True)


def explain(work):
    """Prints the findings of each frame pictured into WORK, each once, its file told from the
    project's root; nothing when no frame was examined."""
    each, found = findings.read_folder(work)
    if each:
        said = findings.lines(found, root=tree.ROOT)
        print("\n".join(said) if said else "No findings: the scene's GL calls show nothing wrong.", flush=True)


def take(driver, exe, sizes, times, screen, work, limit):
    """Has the driver picture its frames into WORK, or fails saying why."""
    program = os.path.basename(exe)
    orders = [driver, "--frames", windows_path(work), "--times", ",".join(times)]
    orders += ["--sizes", ",".join(sizes)] if sizes else []
    if not screen:
        code, why = driver_run(limit, orders)
        if code:
            raise Exit("capture", "%s: %s" % (program, why), 1)
        return
    # The program holds its last frame on the screen until Esc, for the X server to picture.
    running = Driver(limit, orders + ["--hold"])

    def said():  # what the driver said if it ended
        return "" if running.running() else running.finish()[1] or ""
    if not wait_file(work, "*.png", running.running, limit):
        raise Exit("capture", "%s: no frame drawn: %s" % (program, said()), 1)
    window = wait_window(CAPTION)
    if window is None:
        raise Exit("capture", "%s: %s" % (program, said()), 1)
    shot = os.path.join(work, next((name for name in os.listdir(work) if name.endswith(".png")), "none.png"))
    frame = ["-frame"] if screen == "frame" else []
    call(["import"] + frame + ["-window", window, "png:%s.screen" % shot], 20, stderr=subprocess.DEVNULL)
    if not os.path.isfile(shot + ".screen") or os.path.getsize(shot + ".screen") == 0:
        raise Exit("capture", "no picture was taken of the screen", 1)
    os.replace(shot + ".screen", shot)
    # NOTE: a real key press to the focused window; see tests/e2e/blackbox_test.sh.
    call(["xdotool", "windowactivate", "--sync", window, "key", "Escape"], 10, stderr=subprocess.DEVNULL)
    code, why = running.finish()
    if code:
        raise Exit("capture", "%s: %s" % (program, why), 1)


def keep(work, out, pictures_folder, count, given):
    """Moves the pictures from WORK to where they go, saying where, and compares each with its
    reference; the exit code."""
    made = sorted((name for name in os.listdir(work) if name.endswith(".png")), key=order)
    if len(made) != count:
        raise Exit("capture", "%d pictures instead of %d" % (len(made), count), 1)
    status = 0
    for name in made:
        target = out if count == 1 else os.path.join(pictures_folder, name)
        try:
            shutil.move(os.path.join(work, name), target)
        except OSError as error:
            raise Exit("capture", "cannot save %s: %s" % (target, error.strerror or error), 1)
        print("Saved %s" % target, flush=True)
        # One rule with tools/grade's (tutor/pictures.py).
        if given["reference"] and not pictures.match(given["fuzz"], given["tolerance"], given["reference"],
                                                     target, name):
            status = 1
    return status


def order(name):
    """By size as numbers run (200x300 before 1920x1200), then by scene time."""
    size, _, time_ = name.partition("@")
    number = re.match(r"[0-9]*\.?[0-9]*", time_).group()
    return [int(part) if part.isdigit() else part for part in re.split(r"([0-9]+)", size)], float(number or 0)


def dirname(path):
    """The folder of PATH as the shell's dirname gives it: "." for a bare name."""
    path = path.rstrip("/") or path
    return os.path.dirname(path) or ("/" if path.startswith("/") else ".")
