"""A scene's exception of several messages in compiler form (a shader's log, as LoadProgram raises
it): carried a line each through the driver's report, told at the path the student knows, and
taken by the editor's problem matchers at its line, while the tools' own lines are not."""
import json
import os
import re

from tutor import contract, messages
from tutor.messages import Message

LOG = ("/home/me/tutorial/exercises/Mine.frag:5: error: syntax error, unexpected '}'\n"
       "/home/me/tutorial/exercises/Mine.frag:5: error: syntax error, unexpected '}'\r\n\n"
       "/home/me/tutorial/exercises/Mine.vert:12: warning: `x' used uninitialized\n"
       "/home/me/tutorial/exercises/Mine: error: linking failed\n")


def test_a_report_of_several_lines_comes_back_whole_and_only_the_last_report_counts():
    text = "a.frag:5: error: one\r\n\nsecond line\n"
    said = "\n".join(["wine: noise", "exception: earlier, another run's"] + ["crash: x"] +
                     contract.report_lines("exception", text) + ["0024:err:wine noise after it"])
    assert contract.report_line(said) == ("exception", "a.frag:5: error: one\nsecond line")
    assert contract.report_lines("exception", "") == ["exception: "]
    assert contract.watch_lines("exception", "scene-2.dll", "a\nb") == ["exception scene-2.dll: a",
                                                                        "exception scene-2.dll: b"]
    # A line of the text that is itself a report line stays the text's, in its place.
    assert contract.report_line("\n".join(contract.report_lines("exception", "x\ncrash: y"))) == \
        ("exception", "x\ncrash: y")


def test_a_message_is_parsed_with_or_without_its_line_and_nothing_else_is_one():
    assert Message.parse("/a b/Mine: 2.frag:5: error: syntax error\x1b[31m\r") == \
        Message("/a b/Mine: 2.frag", 5, "error", "syntax error [31m")
    assert Message.parse("Mine.frag: warning: x") == Message("Mine.frag", None, "warning", "x")
    assert str(Message("Mine.frag", 5, "error", "t")) == "Mine.frag:5: error: t"
    assert str(Message("Mine", None, "error", "t")) == "Mine: error: t"
    for line in ("Mine.cpp:3:7: error: GCC's own, with a column", "no scene yet", ": error: no file",
                 "Mine.frag:5: fatal: t", "Mine.frag:5:error: t"):
        assert Message.parse(line) is None, line


def test_a_shaders_path_is_told_from_its_sources_folder_as_the_student_gave_it():
    path = messages.student_path
    watched = {"/home/me/tutorial/exercises/Mine.cpp": "exercises/Mine.cpp"}
    assert path("/home/me/tutorial/exercises/Mine.frag", names=watched) == "exercises/Mine.frag"
    assert path("/home/me/tutorial/exercises/Mine.cpp", names=watched) == "exercises/Mine.cpp"
    assert path("/home/me/tutorial/exercises/Mine.frag", names={"/home/me/tutorial/exercises/Mine.cpp":
                                                                "Mine.cpp"}) == "Mine.frag"
    # The grader's: a source in a subfolder of another's, each told from its own folder.
    graded = {"/scratch/src/Scene.cpp": "Scene.cpp", "/scratch/src/parts/Draw.cpp": "parts/Draw.cpp"}
    assert path("/scratch/src/parts/a.frag", names=graded) == "parts/a.frag"
    assert path("/scratch/src/a.frag", names=graded) == "a.frag"
    assert path("/home/me/tutorial/examples/S.frag", root="/home/me/tutorial") == "examples/S.frag"
    assert path("/elsewhere/S.frag", root="/home/me/tutorial", names=watched) == "/elsewhere/S.frag"


def test_an_account_prints_each_message_once_at_its_path_and_its_line_holds_none():
    told, why = messages.account(LOG, root="/home/me/tutorial")
    assert told == ["exercises/Mine.frag:5: error: syntax error, unexpected '}'",
                    "exercises/Mine.vert:12: warning: `x' used uninitialized", "exercises/Mine: error: linking failed"]
    assert why == "2 errors above"
    assert messages.account("/x/a.frag:1: warning: w\nsee the log") == (["/x/a.frag:1: warning: w"],
                                                                      "see the log; the warning above")
    assert messages.account("no scene yet") == ([], "no scene yet")  # as it always was
    assert messages.account("one\ntwo") == ([], "one two")
    told, _ = messages.account("/s/\x1b]0;x\x07.frag:1: error: t", names={"/s/S.cpp": "S.cpp"})
    assert told == ["]0;x .frag:1: error: t"]


def matchers(label):
    with open(os.path.join(os.path.dirname(__file__), "..", "..", ".vscode", "tasks.json")) as f:
        tasks = json.loads(re.sub(r"^\s*//.*$", "", f.read(), flags=re.M))
    task = next(t for t in tasks["tasks"] if t["label"] == label)
    return task["problemMatcher"]


def takes(matcher, line):
    m = re.search(matcher["pattern"]["regexp"], line)
    return m and [m.group(matcher["pattern"][k]) for k in ("file", "line", "severity", "message")]


def test_the_watch_and_capture_tasks_take_a_shaders_message_at_its_line_and_nothing_else():
    for label in ("watch the open exercise", "capture the open exercise"):
        shader = next(m for m in matchers(label) if m.get("source") == "glsl")
        gcc = next(m for m in matchers(label) if m.get("source") == "gcc")
        for line in messages.account(LOG)[0][:2] + ["/home/me/My Scene: 2/a.frag:5: error: x: 1: y"]:
            message = Message.parse(line)
            assert takes(shader, line) == [message.file, str(message.line), message.severity, message.text], line
            assert not re.search(gcc["pattern"]["regexp"], line), line
        for line in ("Mine.cpp:3:7: error: no matching function", "watch: Mine.cpp threw: the error above; the last "
                     "scene that worked is back", "capture: Mine.exe: exception: 2 errors above",
                     "exercises/Mine: error: linking failed", "Mine.cpp:13: outside-view: glRectf(1, 2)"):
            assert not takes(shader, line), line
        if label.startswith("watch"):
            # A shader's save begins the problems afresh, as a compile does.
            assert re.search(shader["background"]["beginsPattern"], "watch: reloading Mine.cpp (Mine.frag saved)")
            assert not re.search(shader["background"]["endsPattern"], "watch: reloading Mine.cpp (Mine.frag saved)")
            assert re.search(shader["background"]["endsPattern"], "watch: Mine.cpp threw: the error above")
