"""Pictures an exercise takes of itself, as tools/capture and tools/grade both ask for them and
judge them: the driver's orders (the contract's sizes, times and names, contract.py), where a
picture's reference is, and one rule for whether two pictures match: ImageMagick's count of the
pixels whose colour differs by more than FUZZ percent, at most TOLERANCE of them, by default 0.5 %
of the picture.

tools/capture compares through the command:
    pictures.py match FUZZ TOLERANCE|- REFERENCE PICTURE NAME
which prints the verdict on PICTURE (named NAME, "640x480@0.5.png") against REFERENCE (a file,
or a folder of pictures as the driver names them) and exits 1 when it differs or cannot be
compared."""
import os
import re
import sys

from contract import parse_picture_name
from outside import run_limited

FUZZ = 2.0  # percent of a colour channel's range
TOLERANCE_SHARE = 200  # by default one pixel in so many may differ: 0.5 %
COMPARE_TIMEOUT = 60  # seconds for one comparison
# Far above two pictures of the largest size (contract.py), far below what would hurt the
# machine; no disk for pixels that do not fit.
MAGICK_LIMITS = ["-limit", "memory", "128MiB", "-limit", "map", "256MiB", "-limit", "disk", "0",
                 "-limit", "width", "4096", "-limit", "height", "4096", "-limit", "time", str(COMPARE_TIMEOUT)]


def driver_orders(frames, sizes, times):
    """The driver's arguments for a picture at each of SIZES and TIMES (contract.py's lists) in
    the folder FRAMES (as the program sees it)."""
    return ["--frames", frames, "--sizes", ",".join(sizes), "--times", ",".join(times)]


def tolerance(given, size):
    """Pixels that may differ in a picture of SIZE ("640x480"): GIVEN, or 0.5 % of the picture."""
    if given is not None:
        return given
    width, height = map(int, size.split("x"))
    return width * height // TOLERANCE_SHARE


def compare(reference, picture, fuzz, diff="null:", *, timeout):
    """Differing pixels, or None and why they cannot be compared; the difference picture goes
    to DIFF. ImageMagick has TIMEOUT seconds for it (COMPARE_TIMEOUT is the tools')."""
    result = run_limited(["compare"] + MAGICK_LIMITS + ["-metric", "AE", "-fuzz", "%g%%" % fuzz, reference, picture,
                                                        diff], timeout)
    m = re.match(r"^\s*([0-9.e+]+)", result.stderr)
    if result.returncode in (0, 1) and m:
        return int(float(m.group(1))), None
    if result.returncode == 124:
        return None, "the comparison took more than %d s" % timeout
    return None, "the pictures cannot be compared: %s" % (" ".join(result.stderr.split())[:200] or
                                                          "exit code %d" % result.returncode)


def reference_pictures(folder):
    """The pictures in FOLDER by (size, canonical time), named as the driver names them (or
    WxH.png for time 0); other files are not pictures."""
    pictures = {}
    for entry in sorted(os.listdir(folder)):
        shot = parse_picture_name(entry)
        if shot:
            pictures[shot] = os.path.join(folder, entry)
    return pictures


def reference_for(reference, name):
    """The reference of the picture NAME: REFERENCE itself, or its picture of NAME's size and
    time when it is a folder; None when it has none."""
    if not os.path.isdir(reference):
        return reference
    return reference_pictures(reference).get(parse_picture_name(name))


def match(fuzz, given, reference, picture, name):
    """tools/capture's verdict on one picture: True when it matches, having said so."""
    expected = reference_for(reference, name)
    if expected is None:
        print("capture: no reference %s" % os.path.join(reference, name), file=sys.stderr)
        return False
    allowed = tolerance(given, parse_picture_name(name)[0])
    differing, why = compare(expected, picture, fuzz, timeout=COMPARE_TIMEOUT)
    if differing is None:
        print("capture: cannot compare %s with %s: %s" % (name, expected, why), file=sys.stderr)
        return False
    if differing > allowed:
        print("capture: %d pixels differ from %s (at most %d may)" % (differing, expected, allowed), file=sys.stderr)
        return False
    print("Matches %s (%d pixels differ, at most %d may)" % (expected, differing, allowed))
    return True


if __name__ == "__main__":
    if len(sys.argv) != 7 or sys.argv[1] != "match":
        print("usage: pictures.py match FUZZ TOLERANCE|- REFERENCE PICTURE NAME", file=sys.stderr)
        sys.exit(2)
    fuzz, given = float(sys.argv[2]), None if sys.argv[3] == "-" else int(sys.argv[3])
    sys.exit(0 if match(fuzz, given, *sys.argv[4:]) else 1)
