"""The run's outputs, each written on its own."""
import argparse
import csv
import importlib
import os
import signal
import threading
import types
import zipfile

from tutor.contract import Shot
from tutor.grade.result import Result, Verdict


def test_an_output_that_cannot_be_written_costs_none_of_the_others_and_the_exit_code_says_so(tmp_path, capsys):
    grader = vars(importlib.import_module("tutor.grade.run"))
    signal.signal(signal.SIGINT, signal.default_int_handler)  # as pytest had it: the module sets its own
    shot = Shot(40, 30, "0")
    args = argparse.Namespace(out=str(tmp_path), submissions=str(tmp_path / "class"), reference=str(tmp_path / "a.cpp"),
                              sizes=["40x30"], times=["0"], shots=[shot], held=set(), draw=1, fuzz=2.0,
                              tolerance=None, points=10, build=str(tmp_path))
    run = grader["Run"](args)
    run.references, run.allowed = {}, {shot: 8}
    run.results = [Result("Ada", "1", ["Ada_1_assignsubmission_file_"], "01", Verdict.DIFFERS, "40x30@0: 9 pixels",
                          differences={shot: (9, "")}), None]
    os.mkdir(tmp_path / "results.csv")  # a folder where the file would go
    run.write_outputs()
    assert run.code == 1 and "grade: results.csv could not be written" in capsys.readouterr().err
    assert "The run was interrupted: 1 of 2" in (tmp_path / "report.html").read_text(encoding="utf-8")
    with open(tmp_path / "gradebook.csv", encoding="utf-8") as f:
        assert list(csv.reader(f))[1][:3] == ["Participant 1", "Ada", "0"]
    with zipfile.ZipFile(tmp_path / "feedback.zip") as z:
        assert "<b>differs</b>: 0 of 1 pictures" in z.read("Ada_1_assignsubmission_file_/feedback.html").decode()


class Stand_ins:
    """A run of two slots over two submissions, with a grader that logs what it grades, a judge
    that marks what it judged, and sandboxes that can be stopped."""

    def __init__(self, tmp_path, reference_verdict):
        grader = vars(importlib.import_module("tutor.grade.run"))
        signal.signal(signal.SIGINT, signal.default_int_handler)
        shot = Shot(40, 30, "0")
        args = argparse.Namespace(out=str(tmp_path), reference=str(tmp_path / "a.cpp"), shots=[shot], build=str(tmp_path))
        self.run = run = grader["Run"](args)
        run.slots = ["slot 0", "slot 1"]
        run.submissions = [types.SimpleNamespace(student=name, id="", folders=[]) for name in ("Ada", "Bob")]
        run.boxes = types.SimpleNamespace(stopping=threading.Event())
        run.boxes.stop = run.boxes.stopping.set
        self.log, self.first_began, self.overlapped = [], threading.Event(), False

        def grade(slot, submission, tag):
            self.log.append((slot, submission.student))
            if submission.student == "reference":
                # A submission is being graded in the other slot before the reference is done.
                self.overlapped = self.first_began.wait(5)
                return Result.of(submission, tag, reference_verdict, "it crashed", pictures={shot: "ref.png"})
            self.first_began.set()
            return Result.of(submission, tag, Verdict.PASS, pictures={shot: "%s.png" % tag})

        run.grader = types.SimpleNamespace(grade=grade)
        judge = types.SimpleNamespace(judge=lambda result, shots: setattr(result, "detail", "judged") or result)
        run.make_judge = lambda: setattr(run, "judge", judge)


def test_the_class_starts_while_the_reference_is_pictured_and_is_judged_once_it_is_there(tmp_path, capsys):
    stand_ins = Stand_ins(tmp_path, Verdict.PASS)
    run = stand_ins.run
    assert run.grade_class() is None
    assert [e for e in stand_ins.log if e[0] == "slot 0"][0] == ("slot 0", "reference") and stand_ins.overlapped
    assert [(r.student, r.detail) for r in run.results] == [("Ada", "judged"), ("Bob", "judged")]
    assert "[2/2]" in capsys.readouterr().out


def test_a_reference_that_fails_stops_the_class_and_nothing_is_graded(tmp_path, capsys):
    stand_ins = Stand_ins(tmp_path, Verdict.CRASHED)
    run = stand_ins.run
    assert run.grade_class() == 2
    assert run.boxes.stopping.is_set() and run.results == [None, None] and run.judge is None
    said = capsys.readouterr()
    assert "grade: the reference %s: crashed: it crashed" % (tmp_path / "a.cpp") in said.err and "[1/2]" not in said.out
