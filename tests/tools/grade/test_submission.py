"""A submission's run: one that ends having said nothing, with a code the program never gives
(Wine failing to start it on a loaded machine), is run once more; a run the program itself
ended, crashing, throwing or hanging, is not."""
import os
import types

import pytest

from tutor.contract import EXIT
from tutor.grade.result import Verdict
from tutor.grade.submission import Failure, Grader


class Boxes:
    wine = "wine"

    def __init__(self, runs):
        self.runs, self.argvs = list(runs), []

    def run(self, slot, scratch, argv, display=False):
        self.argvs.append(argv)
        return self.runs.pop(0)


def shown(tmp_path, runs):
    grader = object.__new__(Grader)
    grader.args = types.SimpleNamespace(sizes=["64x48"], times=["0"], shots=[], timeout=20)
    grader.boxes = Boxes(runs)
    slot = types.SimpleNamespace(uid=os.getuid())
    with pytest.raises(Failure) as failed:
        grader.show(slot, str(tmp_path), "01", {}, [], {})
    return failed.value, len(grader.boxes.argvs)


def test_a_run_that_said_nothing_with_a_code_of_no_program_is_run_once_more(tmp_path):
    failure, runs = shown(tmp_path, [(1, ""), (EXIT["exception"], "exception: the scene threw\n")])
    assert runs == 2 and failure.verdict == Verdict.ERROR_BOX and "the scene threw" in failure.detail
    failure, runs = shown(tmp_path, [(1, ""), (1, "")])
    assert runs == 2 and (failure.verdict, failure.detail) == (Verdict.CRASHED, "exit code 1")
    # The program's window not made, before the scene ran: once more, and then it counts.
    no_window = (EXIT["exception"], "exception: CreateWindowExW failed: Class does not exist.\n")
    failure, runs = shown(tmp_path, [no_window, no_window])
    assert runs == 2 and failure.verdict == Verdict.ERROR_BOX and "Class does not exist" in failure.detail


@pytest.mark.parametrize("run", [(EXIT["crash"], "crash: access violation\n"), (None, ""),
                                 (3, "exception: std::terminate\n")])
def test_a_run_the_program_ended_itself_is_not_run_again(tmp_path, run):
    assert shown(tmp_path, [run])[1] == 1
