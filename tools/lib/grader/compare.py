"""Comparing a submission's pictures with the reference's."""
import os
import re

from outside import run_limited
from sandbox import TOOL_TIMEOUT
from submission import picture_name


def compare(out, fuzz, reference, picture, tag, shot):
    """Differing pixels and the difference picture, or None and why they cannot be compared."""
    diff = os.path.join(out, "pictures", "%s-%s-diff.png" % (tag, picture_name(*shot)[:-4]))
    result = run_limited(["compare", "-metric", "AE", "-fuzz", "%g%%" % fuzz, reference, picture, diff],
                         TOOL_TIMEOUT)
    m = re.match(r"^\s*([0-9.e+]+)", result.stderr)
    if result.returncode in (0, 1) and m:
        return int(float(m.group(1))), diff
    if result.returncode == 124:
        return None, "the comparison took more than %d s" % TOOL_TIMEOUT
    size = run_limited(["identify", "-format", "%wx%h", picture], TOOL_TIMEOUT).stdout.strip()
    return None, "the picture is %s, not %s" % (size, shot[0]) if size else "the picture cannot be read"


def tolerance(given, shot):
    """Pixels that may differ at a size: GIVEN, or 0.5% of the picture."""
    if given is not None:
        return given
    width, height = map(int, shot[0].split("x"))
    return width * height // 200
