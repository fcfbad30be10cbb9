"""The findings a driver writes beside its pictures (tutor/findings.py): read as the contract
writes them and no further, from a folder a sandbox may have filled with anything; told in the
student's own file names, each once."""
import json
import os
import re

from tutor import contract, findings
from tutor.findings import Finding, Read

ERROR = "/build/x/exercises/Mine.cpp:9: gl-error: glEnable(0x1234): GL_INVALID_ENUM, not a capability"
OUTSIDE = "/build/x/exercises/Mine.cpp:11: outside-view: glRectf(5, 5, 7, 7) lies at x 7..9; the view shows x -4..4"


def test_a_file_is_its_findings_each_once_and_the_count_of_those_cut():
    text = contract.findings_text([ERROR, OUTSIDE, ERROR] + ["a.cpp:%d: culled: x" % i for i in range(60)])
    read = findings.parse(text)
    assert read.findings[:2] == [Finding("/build/x/exercises/Mine.cpp", 9, "gl-error",
                                         "glEnable(0x1234): GL_INVALID_ENUM, not a capability"),
                                 Finding.parse(OUTSIDE)]
    assert len(read.findings) == 2 + contract.MAX_FINDINGS - 3 and read.more == 63 - contract.MAX_FINDINGS
    assert str(read.findings[0]) == ERROR
    assert findings.lines(read)[-1] == "\u2026 and 23 more"


def test_what_is_not_a_finding_is_no_finding_and_a_texts_controls_are_made_plain():
    for line in ("", "a.cpp:9: warning: not ours", "a.cpp: gl-error: no line", "a.cpp:x: gl-error: t",
                 "a.cpp:9: gl-error:", "a.cpp:9:gl-error: t", "\u2026 and many more"):
        assert Finding.parse(line) is None, line
    assert findings.parse("\u2026 and many more\n").more == 0
    found = Finding.parse("a.cpp:9: gl-error: red\x1b[31m\x07 text\r")
    assert found.text == "red [31m  text"


def test_a_folder_is_read_picture_by_picture_within_bounds_and_no_link_is_followed(tmp_path):
    (tmp_path / "800x600@0.txt").write_text(OUTSIDE.replace("-4..4", "-4.5..4.5") + "\n" + ERROR + "\n")
    (tmp_path / "640x480@0.5.txt").write_text(ERROR + "\n")
    (tmp_path / "640x480@0.txt").write_text(OUTSIDE + "\n" + ERROR + "\n")
    (tmp_path / "notes.txt").write_text("a.cpp:1: culled: not a picture's\n")
    (tmp_path / "secret").write_text("a.cpp:2: culled: read through a link\n")
    os.symlink(tmp_path / "secret", tmp_path / "1x1@0.txt")
    os.mkfifo(tmp_path / "2x2@0.txt")  # a reader that opened it would wait for ever
    (tmp_path / "3x3@0.txt").write_bytes((ERROR + "\n").encode() * 10 ** 5)
    (tmp_path / "4x4@0.txt").write_text("x" * contract.MAX_FINDINGS_BYTES + "\n" + ERROR + "\n")  # past the bound
    each, together = findings.read_folder(str(tmp_path))
    assert list(each) == ["1x1@0", "2x2@0", "3x3@0", "4x4@0", "640x480@0", "640x480@0.5", "800x600@0"]
    assert each["1x1@0"] == each["2x2@0"] == each["4x4@0"] == Read([])
    assert each["3x3@0"].findings == [Finding.parse(ERROR)]
    assert [str(f) for f in together.findings] == [ERROR, OUTSIDE, OUTSIDE.replace("-4..4", "-4.5..4.5")]
    assert findings.read_folder(str(tmp_path / "none")) == ({}, Read([]))


def test_a_finding_names_the_file_as_the_student_knows_it():
    read = findings.parse("\n".join([ERROR, OUTSIDE, "/sandbox/src/3/a\x1b.cpp:1: culled: t",
                                     "/elsewhere/b.cpp:2: zero-area: t", "/build/x/exercises/Mine.cpp:9: gl-error: "
                                     "glEnable(0x1234): GL_INVALID_ENUM, not a capability"]))
    assert findings.lines(read, root="/build/x", names={"/sandbox/src/3/a\x1b.cpp": "Ann Lee/scene.cpp"}) == [
        ERROR.replace("/build/x/", ""), OUTSIDE.replace("/build/x/", ""), "Ann Lee/scene.cpp:1: culled: t",
        "/elsewhere/b.cpp:2: zero-area: t"]
    # Two compiled paths of one file, told as one name, are one finding.
    twice = findings.parse("/a/s.cpp:1: culled: t\n/b/s.cpp:1: culled: t\n")
    assert findings.lines(twice, names={"/a/s.cpp": "s.cpp", "/b/s.cpp": "s.cpp"}) == ["s.cpp:1: culled: t"]


def test_the_watch_tasks_problem_matcher_takes_every_kind_of_finding_as_a_warning_at_its_line():
    with open(os.path.join(os.path.dirname(__file__), "..", "..", ".vscode", "tasks.json")) as f:
        tasks = json.loads(re.sub(r"^\s*//.*$", "", f.read(), flags=re.M))
    watch = next(t for t in tasks["tasks"] if t.get("args", [])[:1] == ["--watch"])
    matcher = next(m for m in watch["problemMatcher"] if m["owner"] == "tutorial-findings")
    pattern = matcher["pattern"]
    assert matcher["severity"] == "warning"
    for kind in contract.FINDING_KINDS:
        m = re.search(pattern["regexp"], contract.finding_line("/home/me/tutorial/exercises/Mine: 2.cpp", 12, kind,
                                                               "glRectf(5, 5, 7, 7): x: 9"))
        assert m and [m.group(pattern[k]) for k in ("file", "line", "code", "message")] == [
            "/home/me/tutorial/exercises/Mine: 2.cpp", "12", kind, "glRectf(5, 5, 7, 7): x: 9"], kind
    assert not re.search(pattern["regexp"], "Mine.cpp:12: gl-errors: x")
