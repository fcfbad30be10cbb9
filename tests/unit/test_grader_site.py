"""A class as a course site hands it over, and what goes back: folder names, zips read safely,
one student's files refusing that student alone, sim_c++'s output, points, the outputs written each
on its own, feedback folders Windows unzips. (grade_site_test.sh grades such a class end to end.)"""
import argparse
import csv
import os
import runpy
import signal
import sys
import warnings
import zipfile

import pytest

GRADER = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "lib", "grader")
sys.path[:0] = [GRADER, os.path.dirname(GRADER)]

import intake  # noqa: E402
import similar  # noqa: E402
from handback import plain_folder, points  # noqa: E402
from result import Result  # noqa: E402
from submission import SOURCE_LIMIT, read_scene  # noqa: E402


@pytest.mark.parametrize("name, expected", [
    ("Ada Lovelace_1234_assignsubmission_file_", ("Ada Lovelace", "1234")),
    ("Team 2-Ada_7_assignsubmission_file", ("Team 2-Ada", "7")),  # a group's prefix; a newer site's end
    ("Ada Lovelace", ("Ada Lovelace", "")),
    ("_1234_assignsubmission_file_", ("_1234_assignsubmission_file_", "")),
    ("Ada_1234_assignfeedback_file_", ("Ada_1234_assignfeedback_file_", "")),
])
def test_a_folder_name_gives_the_student_and_the_id_only_in_the_sites_form(name, expected):
    assert intake.parse_folder(name) == expected


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

    @pytest.mark.parametrize("name, why", [
        ("Ada_1_assignsubmission_file_/../../x.cpp", "reach outside"),
        ("/etc/x.cpp", "reach outside"),
        ("Ada\\..\\..\\x.cpp", "reach outside"),
        ("C:/x.cpp", "reach outside"),
        ("C:\\x.cpp", "reach outside"),
        (LINK, "symbolic link"),
    ])
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


def written(folder):
    """The files under FOLDER and their bytes."""
    sizes = [os.path.getsize(os.path.join(top, n)) for top, _, names in os.walk(folder) for n in names]
    return len(sizes), sum(sizes)


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
        files, size = written(tmp_path / "work" / HAL)
        assert files <= intake.STUDENT_FILES and size <= intake.STUDENT_BYTES + 1

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


def test_sims_output_is_read_for_the_names_it_was_given_only():
    names = {"s001.cpp", "s002.cpp"}
    said = ("s001.cpp consists for 97 % of s002.cpp material\ns002.cpp consists for 100 % of s001.cpp material\n"
            "s001.cpp consists for 100 % of s003.cpp material\ns002.cpp consists for 700 % of s001.cpp material\n"
            "../x consists for 100 % of s001.cpp material\nFile s001.cpp: 78 tokens, 15 lines\n")
    assert similar.parse_percentages(said, names) == {("s001.cpp", "s002.cpp"): 97, ("s002.cpp", "s001.cpp"): 100}
    runs = "s001.cpp: line 4-18      |starter.cpp: line 4-18     [123]\ns002.cpp: line 9-3 |starter.cpp: line 1-2 [1]\n"
    assert similar.parse_runs(runs, names) == {"s001.cpp": [(4, 18)]}


def test_a_renamed_copy_is_near_identical_and_a_shared_starter_makes_no_pair(tmp_path):
    starter = b"static void Star(double R, int N)\n{\n" + b"".join(
        b"    ::glVertex2d(R * %d.0, R * std::sin(N * %d.0));\n" % (i, i) for i in range(12)) + b"}\n"
    own = lambda body: starter + b"void TForm1::DrawScene()\n{\n" + body + b"}\n"
    honest = own(b"    Star(1.0, 5);\n    ::glRectf(-1.0f, -1.0f, 1.0f, 1.0f);\n")
    other = own(b"    for (int i = 0; i < 3; ++i) Star(i * 0.5, 7);\n")
    work = honest.replace(b"Star", b"Sun").replace(b"(-1.0f, -1.0f, 1.0f, 1.0f)", b"( -1.0f,-1.0f,1.0f , 1.0f )")
    # All of Ada's in Dan's, but only half of Dan's in Ada's: a copy, not near-identical.
    more = honest + b"static void Grid()\n{\n" + b"".join(
        b"    ::glRectf(%d.0f, 0.0f, 2.0f, 2.0f);\n    ::glRotated(4%d.0, 0.0, 0.0, 1.0);\n" % (i, i) for i in range(6)) + b"}\n"
    texts = {"ada": honest, "bob": work, "cy": other, "dan": more}
    assert [pair[:2] for pair in similar.near_identical(texts, None, str(tmp_path / "a"))[0]] == [
        ("ada", "bob"), ("ada", "cy"), ("bob", "cy")]
    assert similar.near_identical(texts, starter, str(tmp_path / "b")) == ([("ada", "bob", 100, 100)], "")


def test_points_are_the_share_of_pictures_that_pass_where_the_verdict_let_them_be_compared():
    shots, allowed = [("792x573", "0"), ("960x400", "0"), ("400x720", "0")], lambda shot: 50
    result = lambda verdict, differences: Result("Ada", "", [], "01", verdict, differences=differences)
    differences = {shots[0]: (0, ""), shots[1]: (51, ""), shots[2]: (None, "cannot be compared")}
    assert points(result("differs", differences), shots, allowed, 10) == 3.33
    assert points(result("pass", {s: (50, "") for s in shots}), shots, allowed, 10) == 10
    assert points(result("crashed", {s: (0, "") for s in shots}), shots, allowed, 10) == 0


def test_an_output_that_cannot_be_written_costs_none_of_the_others_and_the_exit_code_says_so(tmp_path, capsys):
    grader = runpy.run_path(os.path.join(GRADER, "__main__.py"), run_name="grader_run")
    signal.signal(signal.SIGINT, signal.default_int_handler)  # as pytest had it: the module sets its own
    shot = ("40x30", "0")
    args = argparse.Namespace(out=str(tmp_path), submissions=str(tmp_path / "class"), reference=str(tmp_path / "a.cpp"),
                              sizes=["40x30"], times=["0"], shots=[shot], held=set(), seed=1, fuzz=2.0,
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
