"""A class as a course site hands it over, and what goes back: folder names, zips read safely,
one student's files refusing that student alone, sim_c++'s output, points, the outputs written each
on its own, feedback folders Windows unzips. (grade_site_test.sh grades such a class end to end.)"""
import argparse
import csv
import html
import os
import re
import importlib
import shutil
import signal
import time
import warnings
import zipfile

import pytest

from tutor.grade import intake
from tutor.grade import similar
from tutor.grade.handback import plain_folder, points
from tutor.outside import run_limited
from tutor.grade.report import similar_section, which_way
from tutor.grade.result import Pair, Result
from tutor.grade.submission import SOURCE_LIMIT, read_scene


def test_a_folder_name_gives_the_student_and_the_id_only_in_the_sites_form():
    assert [intake.parse_folder(name) for name in (
        "Ada Lovelace_1234_assignsubmission_file_", "Team 2-Ada_7_assignsubmission_file",  # a group's; a newer site's
        "Ada Lovelace", "_1234_assignsubmission_file_", "Ada_1234_assignfeedback_file_")] == [
        ("Ada Lovelace", "1234"), ("Team 2-Ada", "7"), ("Ada Lovelace", ""), ("_1234_assignsubmission_file_", ""),
        ("Ada_1234_assignfeedback_file_", "")]


def make_zip(path, members):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z, warnings.catch_warnings():
        warnings.simplefilter("ignore")  # a name twice, on purpose
        for name, data in members:
            z.writestr(name, data)
    return str(path)


LINK = zipfile.ZipInfo("Ada_1_assignsubmission_file_/scene.cpp")
LINK.external_attr = 0o120777 << 16


class TestUnpack:
    def test_a_zipped_class_folder_is_unwrapped_and_only_what_the_build_reads_is_written(self, tmp_path):
        archive = make_zip(tmp_path / "class.zip", [
            ("class/Ada_1_assignsubmission_file_/lib/helper.h", "h"), ("class/Ada_1_assignsubmission_file_/x.pdf", "%"),
            ("class/Ada_1_assignsubmission_onlinetext_/onlinetext.html", "<p>"), ("class/Cy_3_assignsubmission_file_/", ""),
            ("class/__MACOSX/._x", "fork"), ("class/notes.txt", "n"), ("class/Dee.cpp", "d")])
        found, ignored = intake.take(archive, str(tmp_path / "work"))
        assert [(s.student, s.id, len(s.folders), [n for n, _ in s.files], s.others) for s in found] == [
            ("Ada", "1", 2, ["lib/helper.h"], ["x.pdf", "onlinetext.html"]), ("Cy", "3", 1, [], []),
            ("Dee", "", 1, ["Dee.cpp"], [])] and ignored == ["__MACOSX", "notes.txt"]
        assert read_scene(found[2])[0] == {"Dee.cpp": b"d"} and os.stat(tmp_path / "work").st_mode & 0o777 == 0o700
        assert sorted(os.listdir(tmp_path / "work/class")) == ["Ada_1_assignsubmission_file_", "Dee.cpp"]

    @pytest.mark.parametrize("name, why", [(name, "reach outside") for name in (
        "Ada_1_assignsubmission_file_/../../x.cpp", "/etc/x.cpp", "Ada\\..\\..\\x.cpp", "C:/x.cpp", "C:\\x.cpp")] +
        [(LINK, "symbolic link")])
    def test_a_name_that_climbs_out_or_a_link_refuses_the_whole_zip_before_anything_is_written(self, tmp_path, name, why):
        archive = make_zip(tmp_path / "class.zip", [("Ada_1_assignsubmission_file_/a.cpp", "a"), (name, "/etc/shadow")])
        with pytest.raises(intake.Unsafe, match=why):
            intake.take(archive, str(tmp_path / "work"))
        assert not (tmp_path / "work").exists() and not (tmp_path / "x.cpp").exists()

    def test_a_bomb_is_inflated_no_further_than_the_grader_reads_and_the_class_no_further_than_its_bound(
            self, tmp_path, monkeypatch):
        zeros = bytes(64 << 20)
        found, _ = intake.take(make_zip(tmp_path / "one.zip", [("Ada/scene.cpp", zeros)]), str(tmp_path / "one"))
        assert os.path.getsize(found[0].files[0][1]) == SOURCE_LIMIT + 1
        assert read_scene(found[0])[1] == ("does not compile", "the file is over 1 MiB")
        monkeypatch.setattr(intake, "UNPACKED_LIMIT", 3 * SOURCE_LIMIT)
        many = make_zip(tmp_path / "many.zip", [("S%d/scene.cpp" % i, zeros[:SOURCE_LIMIT]) for i in range(4)])
        with pytest.raises(intake.Unsafe, match="more than 3 MiB of sources"):
            intake.take(many, str(tmp_path / "many"))
        monkeypatch.setattr(intake, "MEMBER_LIMIT", 3)
        with pytest.raises(intake.Unsafe, match="4 files and folders, more than 3"):
            intake.take(many, str(tmp_path / "more"))

    def test_a_link_in_a_given_folder_is_listed_never_followed(self, tmp_path):
        ada = tmp_path / "class" / "Ada"
        os.makedirs(tmp_path / "class" / "Bob")
        os.makedirs(ada)
        os.symlink("/etc/shadow", ada / "scene.cpp")
        os.symlink(tmp_path, ada / "up")
        found = intake.take(str(tmp_path / "class"), str(tmp_path / "w"))[0][0]
        assert [n for n, _ in found.files] == ["scene.cpp"] and found.others == ["up"]
        assert read_scene(found) == (None, ("not a regular file", "it is a symbolic link"))


HAL = "Hal_2_assignsubmission_file_/"


class TestOneStudent:
    """What one student's folder holds refuses that student alone; the class around is taken."""

    def take(self, tmp_path, hal):
        archive = make_zip(tmp_path / "class.zip", [("Ada_1_assignsubmission_file_/Scene.cpp", "a")] + hal +
                           [("Zed_3_assignsubmission_file_/Scene.cpp", "z")])
        return intake.take(archive, str(tmp_path / "work"))[0]

    def expect(self, found, why):
        assert [(s.student, read_scene(s)) for s in found] == [
            ("Ada", ({"Scene.cpp": b"a"}, None)), ("Hal", (None, ("refused", why))), ("Zed", ({"Scene.cpp": b"z"}, None))]
        assert found[1].files == []

    @pytest.mark.parametrize("hal, why", [
        ([("Scene.cpp", "1"), ("Scene.cpp", "2")], "Scene.cpp is in it twice"),
        ([("Scene.cpp", "1"), ("Scene.cpp/x.h", "2")], "Scene.cpp/x.h is both a file and a folder in it"),
        ([("Scene.cpp", "1"), ("lib\\x.h", "")], "lib\\x.h has a backslash in its name"),
        ([("Scene.cpp", "1"), ("lib/../x.h", "")], "lib/../x.h has an empty, . or .. part in its name"),
        ([("Scene.cpp", "1")] + [("h%02d.h" % i, "") for i in range(65)], "it has more than 64 sources and headers"),
        ([("Scene.cpp", bytes(SOURCE_LIMIT // 2))] + [("h%d.h" % i, bytes(SOURCE_LIMIT)) for i in range(8)],
         "its sources and headers are over 8 MiB"),
    ])
    def test_a_name_twice_an_odd_name_or_too_much_refuses_the_student_and_no_more_of_theirs_is_unpacked(
            self, tmp_path, hal, why):
        self.expect(self.take(tmp_path, [(HAL + name, data) for name, data in hal]), why)
        sizes = [os.path.getsize(os.path.join(top, n)) for top, _, names in os.walk(tmp_path / "work" / HAL) for n in names]
        assert len(sizes) <= intake.STUDENT_FILES and sum(sizes) <= intake.STUDENT_BYTES + 1

    def test_a_folder_named_like_a_drive_is_a_students(self, tmp_path):
        found = self.take(tmp_path, [("Q: Quinn_114_assignsubmission_file_/Scene.cpp", "q")])
        assert (found[1].student, found[1].id, read_scene(found[1])[0]) == ("Q: Quinn", "114", {"Scene.cpp": b"q"})

    def test_a_name_that_is_not_utf8_refuses_its_student_and_in_a_member_alone_the_class_without_a_traceback(
            self, tmp_path):
        self.take(tmp_path, [(HAL + "Scene.cpp", "h"), (HAL + "\u00e9.cpp", "e")])
        data = (tmp_path / "class.zip").read_bytes()
        assert data.count("\u00e9".encode()) == 2  # its member's own header, then the list of members
        (tmp_path / "bad.zip").write_bytes(data.replace("\u00e9".encode(), b"\xe9\xff"))
        found, _ = intake.take(str(tmp_path / "bad.zip"), str(tmp_path / "bad"))
        self.expect(found, "\ufffd\ufffd.cpp has a name that is not UTF-8")
        (tmp_path / "member.zip").write_bytes(data.replace("\u00e9".encode(), b"\xe9\xff", 1))
        with pytest.raises(intake.Unsafe, match="not a zip that can be read: 'utf-8' codec"):
            intake.take(str(tmp_path / "member.zip"), str(tmp_path / "member"))

    def test_a_given_folder_is_bounded_as_a_zip_by_each_files_size_up_to_what_is_read(self, tmp_path, monkeypatch):
        sizes = {"Ada/Scene.cpp": 64 << 20, "Zed.cpp": 1}
        sizes.update({"Hal/h%d.h" % i: SOURCE_LIMIT for i in range(9)})
        sizes.update({"Kim/h%02d.h" % i: 0 for i in range(65)})
        for name, size in sizes.items():
            os.makedirs(os.path.dirname(tmp_path / "class" / name), exist_ok=True)
            with open(tmp_path / "class" / name, "wb") as f:
                f.truncate(size)  # sparse: the sizes cost no disk
        found, _ = intake.take(str(tmp_path / "class"), str(tmp_path / "work"))
        assert [(s.student, s.refused) for s in found] == [
            ("Ada", ""), ("Hal", "its sources and headers are over 8 MiB"),
            ("Kim", "it has more than 64 sources and headers"), ("Zed", "")]
        monkeypatch.setattr(intake, "UNPACKED_LIMIT", SOURCE_LIMIT)
        with pytest.raises(intake.Unsafe, match="more than 1 MiB of sources"):
            intake.take(str(tmp_path / "class"), str(tmp_path / "work"))


# The starter handed out, and a student's own scene built on it.
STARTER = b"""// Exercise 3: a star field. Fill in DrawScene.
#include "Tutorial.h"
#include <GL/gl.h>
#include <cmath>

static void Star(double X, double Y, double R, int Points) {
    ::glBegin(GL_TRIANGLE_FAN);
    ::glVertex2d(X, Y);
    for (int i = 0; i <= 2 * Points; ++i) {
        const double A = i * 3.14159265 / Points;
        const double Rho = i % 2 ? R * 0.4 : R;
        ::glVertex2d(X + Rho * std::cos(A), Y + Rho * std::sin(A));
    }
    ::glEnd();
}
"""
OWN = b"""
// My sky: a gradient, and stars on a spiral.
static void Sky() {
    ::glBegin(GL_QUADS);
    ::glColor3f(0.0f, 0.0f, 0.2f); ::glVertex2f(-3.0f, -3.0f); ::glVertex2f(3.0f, -3.0f);
    ::glColor3f(0.1f, 0.1f, 0.5f); ::glVertex2f(3.0f, 3.0f); ::glVertex2f(-3.0f, 3.0f);
    ::glEnd();
}
void TForm1::DrawScene() {
    ::glClear(GL_COLOR_BUFFER_BIT); Sky();
    for (int k = 0; k < 12; ++k) {
        const double T = k * 0.55;
        Star(0.2 * T * std::cos(T), 0.2 * T * std::sin(T), 0.08 + 0.01 * k, 5 + k % 3);
    }
}
"""
# What every student writes who does no more than the exercise's first step.
FIRST_STEP = b"void TForm1::DrawScene()\n{\n    ::glClear(GL_COLOR_BUFFER_BIT);\n    Star(0.0, 0.0, 1.0, 5);\n}\n"


def padding(count):
    """COUNT functions that are never called."""
    return b"".join(b"static int Unused%d(int N)\n{\n    int Sum = %d;\n    while (N > %d) { Sum += N %% %d; N /= 2; }\n"
                    b"    return Sum%s;\n}\n" % (i, i, i, i + 2, b" * N" * i) for i in range(count))


def locally(folder, path=None):
    """Runs the check's commands in FOLDER, as the grader's sandbox does, finding programs on PATH."""
    os.makedirs(folder, exist_ok=True)

    def run(argv, timeout):
        result = run_limited(argv, timeout, cwd=folder, env={"PATH": path or os.environ["PATH"]})
        return (None if result.returncode == 124 else result.returncode), result.stdout + result.stderr
    return run


def sim_but(tmp_path, script):
    """A path that finds a sim_c++ that runs SCRIPT, then the real one."""
    tools = tmp_path / "bin"
    tools.mkdir()
    (tools / "sim_c++").write_text('#!/bin/sh\nnames=$(cat)\n%s\nprintf "%%s\\n" "$names" | exec %s "$@"\n'
                                   % (script, shutil.which("sim_c++")))
    (tools / "sim_c++").chmod(0o755)
    return "%s:%s" % (tools, os.environ["PATH"])


class TestCopyCheck:
    def test_a_dressed_copy_is_found_which_way_round_and_a_kept_starter_makes_no_pair(self, tmp_path):
        ada = STARTER + OWN
        texts = {
            "ada": {"Scene.cpp": ada},
            "bob": {"Scene.cpp": ada + padding(16)},  # three times the size, the rest never called
            "cy": {"Scene.cpp": STARTER + b'#include "sky.h"\n', "sky.h": OWN},  # the copy in a header
            "fay": {"Scene.cpp": STARTER + FIRST_STEP},
            "gil": {"Scene.cpp": STARTER + FIRST_STEP.replace(b"1.0, 5", b"2.0, 6")},
        }
        pairs, notes, note = similar.near_identical(texts, STARTER, str(tmp_path), locally(str(tmp_path)))
        assert [(a, b) for a, b, _, _ in pairs] == [("ada", "bob"), ("ada", "cy"), ("bob", "cy")]
        shares = {(a, b): (ab, ba) for a, b, ab, ba in pairs}
        assert shares[("ada", "bob")][0] == 100 and shares[("ada", "bob")][1] < 40 and min(shares[("ada", "cy")]) >= 90
        assert notes == {} and note == ""

    def test_a_long_submission_and_a_run_past_its_limit_cost_the_student_a_note_not_the_class_its_check(
            self, tmp_path):
        # Hal's comparison with the others does not end.
        run = locally(str(tmp_path / "w"), sim_but(tmp_path, 'case "$names $*" in s4.cpp*-p*) exec sleep 60;; esac'))
        ada = STARTER + OWN
        texts = {"ada": {"Scene.cpp": ada}, "bob": {"Scene.cpp": ada.replace(b"Star", b"Dot")},
                 "hal": {"Scene.cpp": ada.replace(b"Sky", b"Air")},
                 # 1 MiB, most of it not compiled: sim_c++ ran for minutes on the whole of it.
                 "gus": {"Scene.cpp": b"#if 0\n" + b"x = x ;\n" * (1 << 17) + b"#endif\n" + ada}}
        started = time.monotonic()
        pairs, notes, note = similar.near_identical(texts, STARTER, str(tmp_path / "w"), run, limit=1)
        assert time.monotonic() - started < 5
        assert pairs == [("ada", "bob", 100, 100), ("ada", "hal", 100, None), ("bob", "hal", 100, None)] and note == ""
        assert notes == {"gus": "only its first 10000 tokens were compared",
                         "hal": "not compared: the check took more than 1 s"}
        # Without sim_c++ at all, the class is told why nothing was checked.
        os.mkdir(tmp_path / "without")
        for tool in ("sh", "grep", "timeout"):
            os.symlink(shutil.which(tool), tmp_path / "without" / tool)
        run = locally(str(tmp_path / "v"), str(tmp_path / "without"))
        assert similar.near_identical(texts, STARTER, str(tmp_path / "v"), run) == (
            [], {}, "the similarity check could not run: sim_c++ is not installed")

    def test_each_token_is_one_line_that_sim_reads_as_one_token_whatever_the_layout(self, tmp_path):
        nasty = (b'#include <cmath> // kept out\n  #  include "x.h" \\\n  its continuation\n#define X(a) \\\n a ## b\n'
                 b'/* a\ncomment */ int main() { const char *s = "a\\"b // c"; char c = \'\\\'\'; x->y <<= 1.5e3f;\n'
                 b'return 0x1F + L"w" + R"xy(raw )" still)xy" + u8R"(r)" + 1\'000 + .5e-3 + u\'x\'; }\n'
                 b'# pragma x\nint \xc3\xbcber = 3; $ @ ` "open\n\'c\n' + b"y" * 100 + b" /* open")
        stream = list(similar.tokenize(nasty))
        similar.write_stream(str(tmp_path / "t.cpp"), stream)
        shown = run_limited(["sim_c++", "--", str(tmp_path / "t.cpp")], 20).stdout
        counts = [len([t for t in part.split("\n") if " -> " in t]) for part in re.split(r"line # = \d+.*", shown)[1:]]
        assert counts == [1] * len(stream) + [0], shown
        assert b" ".join(stream).decode() == (
            "# define X ( a ) a # # b int main ( ) { const char * s = \"\" char c = 'c' x - > y < < = 1 "
            "return 1 + \"\" + \"\" + \"\" + 1 + 1 + 'c' } # pragma x int x = 1 $ @ ` \"\" 'c' x")
        ada = STARTER + OWN
        lines = [line.strip() for line in re.sub(rb"//[^\n]*", b"", ada).split(b"\n")]
        one_line = b"\n".join([n for n in lines if n[:1] == b"#"] + [b" ".join(n for n in lines if n[:1] != b"#")])
        for layout in (ada.replace(b"\n", b"\r\n"), ada.replace(b"\n", b"\r"), one_line):
            assert list(similar.tokenize(layout)) == list(similar.tokenize(ada))
        # Not more than 16 of a kind in a row; not more than ten times the limit read.
        assert similar.tokens({"a": b"#define E\n" + b"E\n" * 5000 + b"} " * 40}) == (
            [b"#", b"define"] + [b"E"] * 15 + [b"}"] * 16, False)
        assert similar.tokens({"a": b"E " * 1000 + b"}"}, limit=20) == ([b"E"] * 16, True)
        assert similar.tokens({"a": ada, "b": ada}, limit=300) == ((list(similar.tokenize(ada)) * 2)[:300], True)

    def test_sims_output_counts_for_the_names_it_was_given_only(self):
        names = {"s1.cpp", "s2.cpp", "s1000.cpp"}
        said = ("s1.cpp consists for 97 % of s2.cpp material\ns1.cpp consists for 100 % of s1000.cpp material\n"
                "s2.cpp consists for 100 % of s1.cpp material\ns1.cpp consists for 100 % of s1.cpp material\n"
                "s1.cpp consists for 100 % of s3.cpp material\ns1.cpp consists for 700 % of s2.cpp material\n"
                "s11.cpp consists for 100 % of s2.cpp material\n../x consists for 100 % of s1.cpp material\n"
                "s1.cpp consists for 100 % of s2.cpp material and more\nTotal input: 3 files\n")
        assert similar.parse_percentages(said, "s1.cpp", names) == {"s2.cpp": 97, "s1000.cpp": 100}
        runs = ("s1.cpp: line 4-18      |starter.cpp: line 4-18     [15]\ns1.cpp: line 9-3 |starter.cpp: line 1-2 [1]\n"
                "s1.cpp: line 0-3 |starter.cpp: line 1-4 [4]\ns1.cpp: line 90-101 |starter.cpp: line 1-12 [12]\n"
                "s2.cpp: line 1-50 |starter.cpp: line 1-50 [50]\ns1.cpp: line 20-30 |s2.cpp: line 1-11 [11]\n")
        assert similar.parse_runs(runs, "s1.cpp", 100) == [(4, 18)]
        assert similar.without(list(range(1, 11)), [(2, 3), (3, 5), (10, 10)]) == [1, 6, 7, 8, 9]


def test_the_report_says_which_way_round_a_pair_is_alike_and_whose_code_was_compared_in_part():
    ada, bob, cy = (Result(name, "", [], "0%d" % i, "pass") for i, name in enumerate(["Ada", "Bob", "Cy <b>"], 1))
    cy.copy_note = "only its first 10000 tokens were compared"
    assert which_way(Pair(ada, bob, 39, 100, b"", b"")) == "all of Bob's code is in Ada's; 39 % of Ada's is in Bob's"
    assert which_way(Pair(ada, bob, 100, None, b"", b"")) == "all of Ada's code is in Bob's; Bob's was not compared"
    page = similar_section([Pair(ada, bob, 39, 100, b"", b"")], "", [ada, bob, cy], html.escape)
    assert "all of Bob&#x27;s code is in Ada&#x27;s" in page
    assert '<a href="#s03">Cy &lt;b&gt;</a>: only its first 10000 tokens were compared' in page


def test_points_are_the_share_of_pictures_that_pass_where_the_verdict_let_them_be_compared():
    shots, allowed = [("792x573", "0"), ("960x400", "0"), ("400x720", "0")], lambda shot: 50
    result = lambda verdict, differences: Result("Ada", "", [], "01", verdict, differences=differences)
    differences = {shots[0]: (0, ""), shots[1]: (51, ""), shots[2]: (None, "cannot be compared")}
    assert points(result("differs", differences), shots, allowed, 10) == 3.33
    assert points(result("pass", {s: (50, "") for s in shots}), shots, allowed, 10) == 10
    assert points(result("crashed", {s: (0, "") for s in shots}), shots, allowed, 10) == 0


def test_an_output_that_cannot_be_written_costs_none_of_the_others_and_the_exit_code_says_so(tmp_path, capsys):
    grader = vars(importlib.import_module("tutor.grade.run"))
    signal.signal(signal.SIGINT, signal.default_int_handler)  # as pytest had it: the module sets its own
    shot = ("40x30", "0")
    args = argparse.Namespace(out=str(tmp_path), submissions=str(tmp_path / "class"), reference=str(tmp_path / "a.cpp"),
                              sizes=["40x30"], times=["0"], shots=[shot], held=set(), draw=1, fuzz=2.0,
                              tolerance=None, points=10, build=str(tmp_path))
    run = grader["Run"](args)
    run.references, run.allowed = {}, {shot: 8}
    run.results = [Result("Ada", "1", ["Ada_1_assignsubmission_file_"], "01", "differs", "40x30@0: 9 pixels",
                          differences={shot: (9, "")}), None]
    os.mkdir(tmp_path / "results.csv")  # a folder where the file would go
    run.write_outputs()
    assert run.code == 1 and "grade: results.csv could not be written" in capsys.readouterr().err
    assert "The run was interrupted: 1 of 2" in (tmp_path / "report.html").read_text(encoding="utf-8")
    with open(tmp_path / "gradebook.csv", encoding="utf-8") as f:
        assert list(csv.reader(f))[1][:3] == ["Participant 1", "Ada", "0"]
    with zipfile.ZipFile(tmp_path / "feedback.zip") as z:
        assert "<b>differs</b>: 0 of 1 pictures" in z.read("Ada_1_assignsubmission_file_/feedback.html").decode()


def test_a_folder_in_the_feedback_zip_is_one_windows_unzips_with_the_sites_ending_and_never_taken_twice():
    taken, site = set(), "_114_assignsubmission_file_"
    assert [plain_folder(n, taken) for n in [
        "Ada\x07", "..", " ", "a/../b", "Ada", "ada", 'Q: "Quinn"?' + site, "x<y>|z*. ", "CON", "nul.txt",
        "Com1 .x" + site, "Quinn" + site, "quinn" + site]] == [
        "Ada", "student", "student (2)", "a-..-b", "Ada (2)", "ada (3)", "Q- -Quinn--" + site, "x-y--z-", "CON-",
        "nul-.txt", "Com1 -.x" + site, "Quinn" + site, "quinn (2)" + site]
