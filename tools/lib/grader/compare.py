"""Comparing a submission's pictures with the reference's. Both were written by the grader itself
(picture.take), so ImageMagick reads nothing a submission wrote; it still runs with low limits and
a time limit."""
import os
import re

from outside import run_limited
from sandbox import TOOL_TIMEOUT
from submission import picture_name

# Far above two pictures of the largest size a sandbox's screen holds (1920x1200), far below
# what would hurt the teacher's machine; no disk for pixels that do not fit.
MAGICK_LIMITS = ["-limit", "memory", "128MiB", "-limit", "map", "256MiB", "-limit", "disk", "0",
                 "-limit", "width", "4096", "-limit", "height", "4096", "-limit", "time", str(TOOL_TIMEOUT)]


def compare(out, fuzz, reference, picture, tag, shot):
    """Differing pixels and the difference picture, or None and why they cannot be compared;
    ImageMagick has TOOL_TIMEOUT seconds for it."""
    diff = os.path.join(out, "pictures", "%s-%s-diff.png" % (tag, picture_name(*shot)[:-4]))
    result = run_limited(["compare"] + MAGICK_LIMITS + ["-metric", "AE", "-fuzz", "%g%%" % fuzz, reference, picture,
                                                        diff], TOOL_TIMEOUT)
    m = re.match(r"^\s*([0-9.e+]+)", result.stderr)
    if result.returncode in (0, 1) and m:
        return int(float(m.group(1))), diff
    if result.returncode == 124:
        return None, "the comparison took more than %d s" % TOOL_TIMEOUT
    return None, "the pictures cannot be compared: %s" % (" ".join(result.stderr.split())[:200] or
                                                          "exit code %d" % result.returncode)


def tolerance(given, shot):
    """Pixels that may differ at a size: GIVEN, or 0.5% of the picture."""
    if given is not None:
        return given
    width, height = map(int, shot[0].split("x"))
    return width * height // 200
