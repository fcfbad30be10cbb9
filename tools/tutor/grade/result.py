"""What grading one submission gives: its verdict and its Result, which the sandbox's steps
(submission.py) and the comparison (judge.py) fill, and the run, the report and the hand-back
read. It imports nothing of the grader's steps."""
import enum
from dataclasses import dataclass, field
from typing import NamedTuple

from tutor.contract import more_line


class Verdict(enum.Enum):
    """What became of a submission, as every output words it; in the order a tally counts them."""
    PASS = "pass"
    DIFFERS = "differs"
    DOES_NOT_COMPILE = "does not compile"
    CRASHED = "crashed"
    HUNG = "hung"
    ERROR_BOX = "error box"
    LEFT_EARLY = "left early"
    TOO_MUCH_OUTPUT = "too much output"
    BAD_PICTURE = "bad picture"
    NOT_A_REGULAR_FILE = "not a regular file"
    REFUSED = "refused"
    NO_SCENE = "no scene"

    @property
    def css(self):
        """Its class on the page: "does-not-compile"."""
        return self.value.replace(" ", "-")

    @property
    def compared(self):
        """Whether its pictures were compared with the reference's, so that they count."""
        return self in (Verdict.PASS, Verdict.DIFFERS)


@dataclass(eq=False)
class Result:
    """One submission's result. STUDENT, ID and FOLDERS are as the submission came (intake.py);
    TAG is its place in the class ("01"), which names its pictures and its part of the report.
    PICTURES are the ones it made ({Shot: path}); DIFFERENCES, for each compared with the
    reference's, (differing pixels, the difference picture) or (None, why it could not be
    compared); SIMILAR, the results its code is near-identical to, as (result, percent of this
    one's code in it or None where this one was not compared, pair number); COPY_NOTE, why its code was
    not compared in full, or ""; FINDINGS, what the recorder of its GL calls found in its pictured
    frames, each once, FILE its own file's name (findings.Finding), and how many more were cut."""
    student: str
    id: str
    folders: list
    tag: str
    verdict: Verdict
    detail: str = ""
    messages: str = ""
    pictures: dict = field(default_factory=dict)
    differences: dict = field(default_factory=dict)
    # NOTE: the pairs point both ways: printing them whole would never end.
    similar: list = field(default_factory=list, repr=False)
    copy_note: str = ""
    findings: list = field(default_factory=list)
    more_findings: int = 0

    @classmethod
    def of(cls, submission, tag, verdict, detail="", messages="", pictures=None):
        return cls(submission.student, submission.id, submission.folders, tag, verdict, detail, messages,
                   pictures or {})

    def told_findings(self):
        """Its findings as lines its pages show: only where its pictures differ or it draws
        nothing, where they say why."""
        if self.verdict != Verdict.DIFFERS and not any(f.kind == "nothing-drawn" for f in self.findings):
            return []
        return [str(f) for f in self.findings] + ([more_line(self.more_findings)] if self.more_findings else [])

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
