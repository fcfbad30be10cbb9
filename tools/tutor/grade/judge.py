"""The judge: a submission's pictures held against the reference's. A pixel differs when a colour
is off by more than the fuzz; a picture passes when no more pixels differ than its reference
allows (pictures.allowed: the teacher's tolerance, or a share of what the reference draws). A
submission that ran and pictured every shot passes, or differs where one does not.
"""
import concurrent.futures
import os

from tutor.grade.result import Verdict
from tutor.pictures import COMPARE_TIMEOUT, allowed, compare, compare_all


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

    def compare(self, result, shots):
        """{shot: (differing pixels, the difference picture), or (None, why they cannot be
        compared)} of RESULT's pictures at SHOTS: all in one run, or each alone where that fails."""
        pairs = {shot: (self.references[shot], result.pictures[shot],
                        os.path.join(self.pictures, "%s-%s-diff.png" % (result.tag, shot.stem))) for shot in shots}
        counts = compare_all(list(pairs.values()), self.fuzz, timeout=COMPARE_TIMEOUT) if pairs else []
        if counts is not None:
            return {shot: (count, diff) for (shot, (_, _, diff)), count in zip(pairs.items(), counts)}
        found = {}
        for shot, (reference, taken, diff) in pairs.items():
            differing, why = compare(reference, taken, self.fuzz, diff, timeout=COMPARE_TIMEOUT)
            found[shot] = (differing, diff) if differing is not None else (None, why)
        return found

    def judge(self, result, shots):
        """RESULT with each of its pictures at SHOTS compared, and its verdict: one that passed
        differs where a picture differs past what is allowed, or cannot be compared."""
        result.differences.update(self.compare(result, [s for s in shots if s in result.pictures]))
        differs = [s for s in shots if s in result.differences and
                   (result.pixels(s) is None or result.pixels(s) > self.allowed[s])]
        if result.verdict == Verdict.PASS and differs:
            result.verdict = Verdict.DIFFERS
            result.detail = "; ".join("%s: %s" % (s.stem, "%d pixels" % result.pixels(s)
                                                  if result.pixels(s) is not None else result.differences[s][1])
                                      for s in differs)
        return result
