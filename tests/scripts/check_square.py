"""Checks a picture of the Square example: white exactly where the projection puts the square
from -3 to 3 (to a pixel), black everywhere else.

Usage: check_square.py PICTURE WIDTH HEIGHT
"""
import math
import subprocess
import sys


def read_gray(path):
    """Pixels as rows of 0..255 grey values, through ImageMagick's PGM output."""
    data = subprocess.run(["convert", path, "-colorspace", "Gray", "-depth", "8", "pgm:-"],
                          check=True, capture_output=True).stdout
    fields, offset = [], 0
    while len(fields) < 4:  # P5 width height maxval, separated by white space
        while data[offset:offset + 1].isspace():
            offset += 1
        end = offset
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[offset:end])
        offset = end
    width, height = int(fields[1]), int(fields[2])
    pixels = data[offset + 1:]
    return width, height, [pixels[y * width:(y + 1) * width] for y in range(height)]


def covered(lo, hi):
    """Pixels whose centres lie in [lo, hi): the first and the last index."""
    return math.ceil(lo - 0.5), math.ceil(hi - 0.5) - 1


def main():
    path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    width, height, rows = read_gray(path)
    if (width, height) != (w, h):
        print("FAIL: the picture is %dx%d, not %dx%d" % (width, height, w, h))
        return 1
    # The shorter side spans -3..3 exactly; the square is centred along the longer one.
    side = min(w, h)
    x0, x1 = covered((w - side) / 2, (w + side) / 2)
    y0, y1 = covered((h - side) / 2, (h + side) / 2)

    white = [(x, y) for y in range(h) for x in range(w) if rows[y][x] > 127]
    if not white:
        print("FAIL: nothing white in the picture")
        return 1
    xs, ys = [p[0] for p in white], [p[1] for p in white]
    found = (min(xs), max(xs), min(ys), max(ys))
    expected = (x0, x1, y0, y1)
    failures = []
    if any(abs(a - b) > 1 for a, b in zip(found, expected)):
        failures.append("the square spans x %d..%d, y %d..%d; expected x %d..%d, y %d..%d"
                        % (found + expected))
    grey = [(x, y) for y in range(h) for x in range(w) if 0 < rows[y][x] < 255]
    inside_dark = sum(1 for y in range(y0 + 1, y1) for x in range(x0 + 1, x1) if rows[y][x] < 255)
    if inside_dark:
        failures.append("%d pixels inside the square are not white" % inside_dark)
    outside_lit = sum(1 for x, y in white if not (x0 - 1 <= x <= x1 + 1 and y0 - 1 <= y <= y1 + 1))
    if outside_lit or grey:
        failures.append("%d lit pixels outside the square, %d grey ones" % (outside_lit, len(grey)))
    for f in failures:
        print("FAIL: " + f)
    if not failures:
        print("square at x %d..%d, y %d..%d of %dx%d" % (found + (w, h)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
