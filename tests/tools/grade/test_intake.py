"""A class as a course site hands it over: folder names, zips read safely, one student's files
refusing that student alone. (grade_site_test.sh grades such a class end to end.)"""
import os
import warnings
import zipfile

import pytest

from tutor.grade import intake
from tutor.grade.intake import SOURCE_LIMIT
from tutor.grade.result import Verdict
from tutor.grade.submission import read_scene


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
        zeros = bytes(8 << 20)  # 8 times what a source may be
        found, _ = intake.take(make_zip(tmp_path / "one.zip", [("Ada/scene.cpp", zeros)]), str(tmp_path / "one"))
        assert os.path.getsize(found[0].files[0][1]) == SOURCE_LIMIT + 1
        assert read_scene(found[0])[1] == (Verdict.DOES_NOT_COMPILE, "the file is over 1 MiB")
        monkeypatch.setattr(intake, "UNPACKED_LIMIT", 3 * SOURCE_LIMIT)
        many = make_zip(tmp_path / "many.zip", [("S%d/scene.cpp" % i, zeros[:SOURCE_LIMIT]) for i in range(4)])
        with pytest.raises(intake.Unsafe, match="more than 3 MiB of sources"):
            intake.take(many, str(tmp_path / "many"))
        monkeypatch.setattr(intake, "MEMBER_LIMIT", 3)
        with pytest.raises(intake.Unsafe, match="4 files and folders, more than 3"):
            intake.take(many, str(tmp_path / "more"))


HAL = "Hal_2_assignsubmission_file_/"


class TestOneStudent:
    """What one student's folder holds refuses that student alone; the class around is taken."""

    def take(self, tmp_path, hal):
        archive = make_zip(tmp_path / "class.zip", [("Ada_1_assignsubmission_file_/Scene.cpp", "a")] + hal +
                           [("Zed_3_assignsubmission_file_/Scene.cpp", "z")])
        return intake.take(archive, str(tmp_path / "work"))[0]

    def expect(self, found, why):
        assert [(s.student, read_scene(s)) for s in found] == [
            ("Ada", ({"Scene.cpp": b"a"}, None)), ("Hal", (None, (Verdict.REFUSED, why))), ("Zed", ({"Scene.cpp": b"z"}, None))]
        assert found[1].files == []

    @pytest.mark.parametrize("hal, why", [
        ([("Scene.cpp", "1"), ("Scene.cpp", "2")], "Scene.cpp is in it twice"),
        ([("Scene.cpp", "1"), ("Scene.cpp/x.h", "2")], "Scene.cpp/x.h is both a file and a folder in it"),
        ([("Scene.cpp", "1"), ("lib\\x.h", "")], "lib\\x.h has a backslash in its name"),
        ([("Scene.cpp", "1"), ("lib/../x.h", "")], "lib/../x.h has an empty, . or .. part in its name"),
        ([("Scene.cpp", "1")] + [("h%02d.h" % i, "") for i in range(65)], "it has more than 64 sources and headers"),
        ([("Scene.cpp", bytes(SOURCE_LIMIT // 2))] + [("h%d.h" % i, bytes(SOURCE_LIMIT)) for i in range(8)],
         "its sources and headers are over 8 MiB"),
        # Shaders are taken as headers are.
        ([("Scene.cpp", "1"), ("Mine.frag", "1"), ("Mine.frag", "2")], "Mine.frag is in it twice"),
        ([("Scene.cpp", "1"), ("lib\\x.vert", "")], "lib\\x.vert has a backslash in its name"),
        ([("Scene.cpp", "1")] + [("s%02d.glsl" % i, "") for i in range(65)], "it has more than 64 sources and headers"),
        ([("Scene.cpp", "1")] + [("s%d.FRAG" % i, bytes(SOURCE_LIMIT)) for i in range(9)],
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


def test_a_scenes_shaders_are_taken_with_its_sources_each_read_as_a_source_is(tmp_path):
    shader = b"#version 330 core\nvoid main() {}\n"
    archive = make_zip(tmp_path / "class.zip", [
        ("Ada_1" + "_assignsubmission_file_/Scene.cpp", "a"), ("Ada_1_assignsubmission_file_/Mine.vert", shader),
        ("Ada_1_assignsubmission_file_/lib/LIGHT.FRAG", shader), ("Ada_1_assignsubmission_file_/notes.frag.txt", "n"),
        ("Bo_2_assignsubmission_file_/Scene.cpp", "b"), ("Bo_2_assignsubmission_file_/Big.glsl", bytes(SOURCE_LIMIT + 9)),
        ("Cy.cpp", "c"), ("Cy.frag", shader)])
    found, ignored = intake.take(archive, str(tmp_path / "work"))
    assert [(s.student, read_scene(s)) for s in found] == [
        ("Ada", ({"Scene.cpp": b"a", "Mine.vert": shader, "lib/LIGHT.FRAG": shader}, None)),
        ("Bo", (None, (Verdict.DOES_NOT_COMPILE, "Big.glsl is over 1 MiB"))), ("Cy", ({"Cy.cpp": b"c"}, None))]
    assert found[0].sources() == ["Scene.cpp"] and found[0].others == ["notes.frag.txt"] and ignored == ["Cy.frag"]
    # A folder's shader that is a link, or not a file, is read by no one.
    (tmp_path / "class" / "Ada").mkdir(parents=True)
    (tmp_path / "class" / "Ada" / "Scene.cpp").write_text("a")
    os.symlink("/etc/shadow", tmp_path / "class" / "Ada" / "Mine.frag")
    os.mkfifo(tmp_path / "class" / "Ada" / "Mine.vert")
    ada = intake.take(str(tmp_path / "class"), str(tmp_path / "work2"))[0][0]
    assert read_scene(ada)[1][0] == Verdict.NOT_A_REGULAR_FILE
