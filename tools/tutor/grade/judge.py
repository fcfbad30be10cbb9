"""The judge: a submission's pictures held against the reference's. A pixel differs when a colour
is off by more than the fuzz; a picture passes when no more pixels differ than its reference
allows (pictures.allowed: the teacher's tolerance, or a share of what the reference draws). A
submission that ran and pictured every shot passes, or differs where one does not.
"""
import concurrent.futures
import os

from tutor.grade.result import Verdict
from tutor.pictures import COMPARE_TIMEOUT, allowed, compare


def measure(references, shots, fuzz, tolerance, jobs):
    """The pixels that may differ at each of SHOTS, from what its reference picture draws
    ({Shot: count}), or None and the first shot that cannot be measured, with why."""
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        found = dict(zip(shots, pool.map(
            lambda shot: allowed(references[shot], shot.size, fuzz, tolerance, timeout=COMPARE_TIMEOUT), shots)))
    for shot, (most, why) in found.items():
        if most is None:
            return None, (shot, why)
    return {shot: most for shot, (most, _) in found.items()}, None


class Judge:
    """Holds pictures against REFERENCES ({Shot: path}) with FUZZ; at most ALLOWED[shot] pixels
    may differ. The difference pictures go to the folder PICTURES.
    NOTE: both pictures were written by the grader itself (png.take), so ImageMagick reads
    nothing a submission wrote."""

    def __init__(self, references, allowed_pixels, fuzz, pictures):
        self.references, self.allowed, self.fuzz, self.pictures = references, allowed_pixels, fuzz, pictures

    def compare(self, taken, tag, shot):
        """Differing pixels and the difference picture, or None and why they cannot be compared."""
        diff = os.path.join(self.pictures, "%s-%s-diff.png" % (tag, shot.stem))
        differing, why = compare(self.references[shot], taken, self.fuzz, diff, timeout=COMPARE_TIMEOUT)
        return (differing, diff) if differing is not None else (None, why)

    def judge(self, result, shots):
        """RESULT with each of its pictures at SHOTS compared, and its verdict: one that passed
        differs where a picture differs past what is allowed, or cannot be compared."""
        for shot in shots:
            if shot in result.pictures:
                result.differences[shot] = self.compare(result.pictures[shot], result.tag, shot)
        differs = [s for s in shots if s in result.differences and
                   (result.pixels(s) is None or result.pixels(s) > self.allowed[s])]
        if result.verdict == Verdict.PASS and differs:
            result.verdict = Verdict.DIFFERS
            result.detail = "; ".join("%s: %s" % (s.stem, "%d pixels" % result.pixels(s)
                                                  if result.pixels(s) is not None else result.differences[s][1])
                                      for s in differs)
        return result
