"""tools/grade's arguments: the shots they ask for, the held-back ones only where the reference is
the teacher's scene."""
from tutor.contract import Shot
from tutor.grade import held
from tutor.grade.arguments import parse_arguments

HANDED = ["792x573", "960x400", "400x720"]


def test_the_grader_pictures_held_back_shots_only_where_its_reference_is_a_scene(tmp_path):
    (tmp_path / "class").mkdir()
    (tmp_path / "pictures").mkdir()
    (tmp_path / "pictures" / "800x600@0.png").write_bytes(b"")
    (tmp_path / "Scene.cpp").write_text("")
    parse = lambda *more: parse_arguments([str(tmp_path / "class"), *more])
    scene = parse("--reference", str(tmp_path / "Scene.cpp"), "--times", "0,1", "--draw", "5")
    sizes, times = held.hold_back(5, 1, HANDED, ["0", "1"])
    assert scene.sizes == HANDED + sizes and scene.times == ["0", "1"] + times and len(scene.shots) == 12
    assert scene.held == {shot for shot in scene.shots if shot.size in sizes or shot.time in times} and len(scene.held) == 6
    assert held.held_parts(scene.sizes, scene.times, scene.held) == [sizes[0], times[0] + " s"]
    off = parse("--reference", str(tmp_path / "Scene.cpp"), "--held-back", "0")
    folder = parse("--reference", str(tmp_path / "pictures"))
    assert (off.sizes, off.held) == (HANDED, set()) and (folder.shots, folder.held) == ([Shot(800, 600, "0")], set())
