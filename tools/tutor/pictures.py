"""Pictures an exercise takes of itself, as tools/capture and tools/grade both ask for them and
judge them: the driver's orders (the contract's sizes, times and names, contract.py), where a
picture's reference is, and one rule for whether two pictures match: ImageMagick's count of the
pixels whose colour differs by more than FUZZ percent, at most TOLERANCE of them. By default that
is a share of what the reference draws (its pixels off its background colour), never all of it, so
a scene that only clears cannot pass a reference that draws something, however thin.

tools/capture compares through the command:
    pictures.py match FUZZ TOLERANCE|- REFERENCE PICTURE NAME
which prints the verdict on PICTURE (named NAME, "640x480@0.5.png") against REFERENCE (a file,
or a folder of pictures as the driver names them) and exits 1 when it differs or cannot be
compared."""
import collections
import os
import re
import sys

from tutor.contract import parse_picture_name
from tutor.outside import run_limited

FUZZ = 2.0  # percent of a colour channel's range
TOLERANCE_SHARE = 100  # by default one pixel in so many that the reference draws may differ: 1 %
TOLERANCE_FLOOR = 8  # pixels that may differ however little is drawn: rasterisation at edges
COMPARE_TIMEOUT = 60  # seconds for one comparison


def magick_limits(seconds):
    """ImageMagick's limits for a run of at most SECONDS: far above two pictures of the largest
    size (contract.py), far below what would hurt the machine; no disk for pixels that do not fit."""
    return ["-limit", "memory", "128MiB", "-limit", "map", "256MiB", "-limit", "disk", "0",
            "-limit", "width", "4096", "-limit", "height", "4096", "-limit", "time", str(seconds)]


MAGICK_LIMITS = magick_limits(COMPARE_TIMEOUT)
COUNT = re.compile(r"^\s*([0-9.e+]+)")  # ImageMagick's count of differing pixels, as it prints it


def driver_orders(frames, sizes, times):
    """The driver's arguments for a picture at each of SIZES and TIMES (contract.py's lists) in
    the folder FRAMES (as the program sees it)."""
    return ["--frames", frames, "--sizes", ",".join(sizes), "--times", ",".join(times)]


def tolerance(drawn):
    """Pixels that may differ from a reference that draws DRAWN pixels off its background: 1 % of
    them but at least TOLERANCE_FLOOR, and always fewer than DRAWN, which is what a scene that
    only clears to the background gets wrong."""
    return min(max(TOLERANCE_FLOOR, drawn // TOLERANCE_SHARE), max(drawn - 1, 0))


def allowed(reference, size, fuzz, given, *, timeout):
    """Pixels that may differ from the picture REFERENCE of SIZE ("640x480"): GIVEN (the
    teacher's --tolerance), or by default tolerance() of what it draws; or None and why."""
    if given is not None:
        return given, None
    count, why = drawn(reference, size, fuzz, timeout=timeout)
    return (None, why) if count is None else (tolerance(count), None)


def background(reference, *, timeout):
    """The commonest colour of the picture REFERENCE as "#rrggbb", or None and why. NOTE: the
    commonest, not the corners': a clear to any other colour gets more pixels wrong."""
    result = run_limited(["convert"] + MAGICK_LIMITS + [reference, "-depth", "8", "-alpha", "off", "rgba:-"], timeout,
                         text=False)
    if result.returncode != 0 or not result.stdout or len(result.stdout) % 4:
        return None, "its pixels cannot be read: %s" % (" ".join(result.stderr.decode("utf-8", "replace").split())[:200]
                                                        or "exit code %d" % result.returncode)
    colour = collections.Counter(memoryview(result.stdout).cast("I")).most_common(1)[0][0]
    return "#%06x" % int.from_bytes(colour.to_bytes(4, sys.byteorder)[:3], "big"), None


def drawn(reference, size, fuzz, *, timeout):
    """The pixels of the picture REFERENCE (of SIZE) that differ from its background colour by
    more than FUZZ percent: what a scene that only clears would get wrong; or None and why."""
    colour, why = background(reference, timeout=timeout)
    if colour is None:
        return None, why
    return compare(reference, "xc:" + colour, fuzz, timeout=timeout, canvas=size)


def compare(reference, picture, fuzz, diff="null:", *, timeout, canvas=None):
    """Differing pixels, or None and why they cannot be compared; the difference picture goes
    to DIFF. ImageMagick has TIMEOUT seconds for it (COMPARE_TIMEOUT is the tools'). CANVAS is
    the size ("WxH") of a PICTURE that ImageMagick makes itself (xc:COLOUR)."""
    size = ["-size", canvas] if canvas else []
    result = run_limited(["compare"] + MAGICK_LIMITS + ["-metric", "AE", "-fuzz", "%g%%" % fuzz, reference] + size +
                         [picture, diff], timeout)
    m = COUNT.match(result.stderr)
    if result.returncode in (0, 1) and m:
        return int(float(m.group(1))), None
    if result.returncode == 124:
        return None, "the comparison took more than %d s" % timeout
    return None, "the pictures cannot be compared: %s" % (" ".join(result.stderr.split())[:200] or
                                                          "exit code %d" % result.returncode)


def compare_all(pairs, fuzz, *, timeout):
    """compare() of each (reference, picture, diff) of PAIRS in one run of ImageMagick, whose
    start costs more than a comparison: the differing pixels of each, in order, or None when one
    cannot be compared (compare() each alone then tells why). TIMEOUT is a comparison's."""
    argv = ["convert"] + magick_limits(timeout * len(pairs))
    for i, (reference, picture, diff) in enumerate(pairs):
        # The same comparison as compare's, its difference picture the same to the byte; but
        # where compare refuses pictures of two sizes, this would compare what they share.
        argv += [reference, picture, "-format", "%wx%h\n", "-write", "info:-", "-fuzz", "%g%%" % fuzz,
                 "-metric", "AE", "-compare", "-format", "%[distortion]\n", "-write", "info:-"]
        argv += [diff] if i == len(pairs) - 1 else ["-write", diff, "+delete"]
    result = run_limited(argv, timeout * len(pairs))
    lines = result.stdout.splitlines()
    if result.returncode != 0 or len(lines) != 3 * len(pairs):
        return None
    counts = []
    for reference_size, picture_size, count in zip(lines[0::3], lines[1::3], lines[2::3]):
        m = COUNT.match(count)
        if reference_size != picture_size or not m:
            return None
        counts.append(int(float(m.group(1))))
    return counts


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
    most, why = allowed(expected, parse_picture_name(name)[0], fuzz, given, timeout=COMPARE_TIMEOUT)
    differing, why = compare(expected, picture, fuzz, timeout=COMPARE_TIMEOUT) if most is not None else (None, why)
    if differing is None:
        print("capture: cannot compare %s with %s: %s" % (name, expected, why), file=sys.stderr)
        return False
    if differing > most:
        print("capture: %d pixels differ from %s (at most %d may)" % (differing, expected, most), file=sys.stderr)
        return False
    print("Matches %s (%d pixels differ, at most %d may)" % (expected, differing, most))
    return True


if __name__ == "__main__":
    if len(sys.argv) != 7 or sys.argv[1] != "match":
        print("usage: pictures.py match FUZZ TOLERANCE|- REFERENCE PICTURE NAME", file=sys.stderr)
        sys.exit(2)
    fuzz, given = float(sys.argv[2]), None if sys.argv[3] == "-" else int(sys.argv[3])
    sys.exit(0 if match(fuzz, given, *sys.argv[4:]) else 1)
