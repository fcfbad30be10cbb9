"""Comparing a submission's pictures with the reference's, by the rule tools/capture uses too
(pictures.py). Both were written by the grader itself (picture.take), so ImageMagick reads
nothing a submission wrote; it still runs with low limits and a time limit."""
import os

import pictures
from contract import picture_name


def compare(out, fuzz, reference, picture, tag, shot):
    """Differing pixels and the difference picture, or None and why they cannot be compared."""
    diff = os.path.join(out, "pictures", "%s-%s-diff.png" % (tag, picture_name(*shot)[:-4]))
    differing, why = pictures.compare(reference, picture, fuzz, diff)
    return (differing, diff) if differing is not None else (None, why)


def tolerance(given, shot):
    """Pixels that may differ in the picture of SHOT, (size, time): capture's rule."""
    return pictures.tolerance(given, shot[0])
