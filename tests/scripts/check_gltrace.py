"""Checks the OpenGL calls of one run of the program, as `apitrace dump` lists them.

Usage: check_gltrace.py CALLS SIZE... (client sizes the run resized the window to, as WxH)
"""
import re
import struct
import sys


def single(x):
    """x rounded to single precision."""
    return struct.unpack("f", struct.pack("f", x))[0]


def expected_ortho(w, h):
    """The bounds for a client area of w by h: the shorter side spans -3 to 3; the product with
    3 is rounded to single precision and the quotient is not."""
    w, h = max(w, 1), max(h, 1)
    if w > h:
        a = single(3.0 * w) / h
        return (-a, a, -3.0, 3.0, -3.0, 3.0)
    a = single(3.0 * h) / w
    return (-3.0, 3.0, -a, a, -3.0, 3.0)


def main():
    path, sizes = sys.argv[1], sys.argv[2:]
    calls = []
    for line in open(path, encoding="utf-8", errors="replace"):
        m = re.match(r"^\d+ (\w+)\((.*)\)( = .*)?$", line.rstrip("\n"))
        if m and "// fake" not in line:
            calls.append((m.group(1), m.group(2), m.group(3) or ""))
    names = [c[0] for c in calls]
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    # The program's context: the one its creation event clears with.
    try:
        first_clear = names.index("glClearColor")
    except ValueError:
        print("FAIL: no glClearColor in the trace")
        return 1
    make_current = max(i for i in range(first_clear) if names[i] == "glXMakeCurrent")
    context = re.search(r"ctx = (0x[0-9a-f]+)", calls[make_current][1]).group(1)
    check(names[make_current - 1] == "glXCreateContext", "the context is not made current at once")
    check(calls[first_clear][1] == "red = 0, green = 0, blue = 0, alpha = 0",
          "clear colour: " + calls[first_clear][1])
    check(names[first_clear + 1:first_clear + 3] == ["glClear", "glFlush"],
          "creation does not clear and flush: %s" % names[first_clear + 1:first_clear + 3])
    check(calls[first_clear + 1][1] == "mask = GL_COLOR_BUFFER_BIT",
          "clear mask: " + calls[first_clear + 1][1])
    check(names.count("glClear") == 1, "the colour buffer is cleared more than once")

    # Every resize: viewport, projection by the client's shape to full double precision,
    # model-view identity last.
    seen_sizes = []
    for i, name in enumerate(names):
        if name != "glViewport":
            continue
        v = dict(kv.split(" = ") for kv in calls[i][1].split(", "))
        w, h = int(v["width"]), int(v["height"])
        seen_sizes.append("%dx%d" % (w, h))
        sequence = names[i + 1:i + 6]
        check(sequence == ["glMatrixMode", "glLoadIdentity", "glOrtho", "glMatrixMode",
                           "glLoadIdentity"], "after glViewport(%dx%d): %s" % (w, h, sequence))
        check("GL_PROJECTION" in calls[i + 1][1] and "GL_MODELVIEW" in calls[i + 4][1],
              "matrix modes after glViewport(%dx%d)" % (w, h))
        bounds = tuple(float(kv.split(" = ")[1]) for kv in calls[i + 3][1].split(", "))
        check(bounds == expected_ortho(w, h),
              "glOrtho for %dx%d: %r, expected %r" % (w, h, bounds, expected_ortho(w, h)))
    for size in sizes:
        check(size in seen_sizes, "no resize to %s (saw %s)" % (size, seen_sizes))

    # Frames: swaps from the first resize on, nothing else between two swaps but a resize.
    swaps = [i for i, n in enumerate(names) if n == "glXSwapBuffers"]
    check(len(swaps) >= 20, "only %d frames presented" % len(swaps))
    if swaps:
        check(swaps[0] > names.index("glOrtho"), "a frame before the first projection")
    resize_calls = {"glViewport", "glMatrixMode", "glLoadIdentity", "glOrtho"}
    for a, b in zip(swaps, swaps[1:]):
        extra = set(names[a + 1:b]) - resize_calls
        if extra:
            check(False, "calls between two frames: %s" % sorted(extra))
            break

    # Teardown: the program's context unbound, then deleted; nothing drawn after. (Wine then
    # drops the window's GLX drawable as the window goes.)
    tail = [(n, a) for n, a, _ in calls if n != "glXDestroyWindow"]
    last_two = tail[-2:]
    check([n for n, _ in last_two] == ["glXMakeCurrent", "glXDestroyContext"],
          "the run does not end with unbind and delete: %s" % [n for n, _ in last_two])
    if len(last_two) == 2:
        check("ctx = NULL" in last_two[0][1], "the context is not unbound")
        check("ctx = " + context in last_two[1][1], "another context is deleted")

    for f in failures:
        print("FAIL: " + f)
    if not failures:
        print("OpenGL calls as expected: %d frames, resizes %s" % (len(swaps), " ".join(seen_sizes)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
