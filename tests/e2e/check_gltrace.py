"""Checks the OpenGL calls of one run of the program, as `apitrace dump` lists them.

Usage: check_gltrace.py CALLS SIZE... (client sizes the run resized the window to, as WxH)
"""
import re
import sys


def main():
    path, sizes = sys.argv[1], sys.argv[2:]
    calls = []
    for line in open(path, encoding="utf-8", errors="replace"):
        m = re.match(r"^\d+ (\w+)\((.*)\)( = .*)?$", line.rstrip("\n"))
        if m and "// fake" not in line:
            calls.append((m.group(1), m.group(2), m.group(3) or ""))
    names = [c[0] for c in calls]
    failures = []
    check = lambda ok, what: ok or failures.append(what)

    # The program's context: the one its creation event clears with.
    if "glClearColor" not in names:
        print("FAIL: no glClearColor in the trace")
        return 1
    first_clear = names.index("glClearColor")
    make_current = max(i for i in range(first_clear) if names[i] == "glXMakeCurrent")
    context = re.search(r"ctx = (0x[0-9a-f]+)", calls[make_current][1]).group(1)
    check(names[make_current - 1] == "glXCreateContext", "the context is not made current at once")
    check(calls[first_clear][1] == "red = 0, green = 0, blue = 0, alpha = 0", "clear colour: " + calls[first_clear][1])
    check(names[first_clear + 1:first_clear + 3] == ["glClear", "glFlush"],
          "creation does not clear and flush: %s" % names[first_clear + 1:first_clear + 3])
    check(calls[first_clear + 1][1] == "mask = GL_COLOR_BUFFER_BIT", "clear mask: " + calls[first_clear + 1][1])
    check(names.count("glClear") == 1, "the colour buffer is cleared more than once")

    # Every resize reaches the viewport; the projection itself is checked in the process.
    viewports = [dict(kv.split(" = ") for kv in args.split(", ")) for name, args, _ in calls if name == "glViewport"]
    seen_sizes = ["%sx%s" % (v["width"], v["height"]) for v in viewports]
    for size in sizes:
        check(size in seen_sizes, "no resize to %s (saw %s)" % (size, seen_sizes))

    # Frames: swaps from the first resize on, nothing else between two swaps but a resize.
    swaps = [i for i, n in enumerate(names) if n == "glXSwapBuffers"]
    check(len(swaps) >= 20, "only %d frames presented" % len(swaps))
    check(not swaps or swaps[0] > names.index("glOrtho"), "a frame before the first projection")
    between = [set(names[a + 1:b]) - {"glViewport", "glMatrixMode", "glLoadIdentity", "glOrtho"}
               for a, b in zip(swaps, swaps[1:])]
    extra = next((c for c in between if c), None)
    check(not extra, "calls between two frames: %s" % sorted(extra or []))

    # Teardown: the program's context unbound, then deleted; nothing drawn after. (Wine then
    # drops the window's GLX drawable as the window goes.)
    last_two = [(n, a) for n, a, _ in calls if n != "glXDestroyWindow"][-2:]
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
