"""What grading one submission gives, as the grader makes it (submission.py) and the run, the
report and the hand-back read it."""
from dataclasses import dataclass, field
from typing import NamedTuple


@dataclass(eq=False)
class Result:
    """One submission's result. STUDENT, ID and FOLDERS are as the submission came (intake.py);
    TAG is its place in the class ("01"), which names its pictures and its part of the report.
    PICTURES are the ones it made ({shot: path}); DIFFERENCES, for each compared with the
    reference's, (differing pixels, the difference picture) or (None, why it could not be
    compared); SIMILAR, the results its code is near-identical to, as (result, percent of this
    one's code in it or None where this one was not compared, pair number); COPY_NOTE, why its code was
    not compared in full, or ""."""
    student: str
    id: str
    folders: list
    tag: str
    verdict: str
    detail: str = ""
    messages: str = ""
    pictures: dict = field(default_factory=dict)
    differences: dict = field(default_factory=dict)
    # NOTE: the pairs point both ways: printing them whole would never end.
    similar: list = field(default_factory=list, repr=False)
    copy_note: str = ""

    @classmethod
    def of(cls, submission, tag, verdict, detail="", messages="", pictures=None):
        return cls(submission.student, submission.id, submission.folders, tag, verdict, detail, messages,
                   pictures or {})

    def pixels(self, shot):
        """The pixels that differ at SHOT, or None when it was not compared."""
        return self.differences.get(shot, (None, ""))[0]


class Pair(NamedTuple):
    """Two results whose code is near-identical, the share of each one's code in the other's
    (percent, or None when that one's was not compared), and the code of each as handed in."""
    first: Result
    second: Result
    first_in_second: int
    second_in_first: int
    first_code: bytes
    second_code: bytes
