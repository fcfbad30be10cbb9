"""The run's outputs, each written on its own."""
import argparse
import csv
import importlib
import os
import signal
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
