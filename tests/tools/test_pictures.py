"""The one rule by which tools/capture and tools/grade say that a picture matches its reference:
a share of what the reference draws may differ, never all of it."""
import re
import subprocess
import sys

from tutor import pictures

SIZE = "792x573"


def draw(path, *orders, background="black"):
    """A picture of SIZE made by ImageMagick: BACKGROUND, then each -draw order in white."""
    argv = ["convert", "-size", SIZE, "xc:" + background, "-fill", "white", "-stroke", "white"]
    subprocess.run(argv + [a for order in orders for a in ("-draw", order)] + [str(path)], check=True, timeout=30)
    return str(path)


def judge(reference, picture):
    (most, why), (differing, also) = (pictures.allowed(reference, SIZE, pictures.FUZZ, None, timeout=30),
                                      pictures.compare(reference, picture, pictures.FUZZ, timeout=30))
    assert why is None and also is None
    return differing <= most


def test_a_scene_that_only_clears_never_passes_a_reference_that_draws_something_and_capture_says_why(tmp_path):
    axes = draw(tmp_path / "axes.png", "line 0,286 791,286", "line 396,0 396,572")  # ~0.3 % of the picture
    dot = draw(tmp_path / "dot.png", "point 10,10", "point 11,10", "point 12,10")
    black, white = draw(tmp_path / "black.png"), draw(tmp_path / "white.png", background="white")
    assert judge(axes, axes) and not judge(axes, black) and not judge(axes, white)
    # Fewer pixels drawn than the floor for edges: still not all of them may be missing.
    assert not judge(dot, black) and pictures.tolerance(3) == 2 and pictures.tolerance(0) == 0
    # The background is the commonest colour, not the corners': a white square over most of the
    # picture is matched by neither clear.
    square = draw(tmp_path / "square.png", "rectangle 110,0 682,572")
    assert not judge(square, black) and not judge(square, white)
    edge = draw(tmp_path / "edge.png", "rectangle 110,0 681,572")  # one column short: 573 pixels
    assert judge(square, edge)
    # tools/capture's word: by how many pixels, and how many may.
    run = lambda given: subprocess.run([sys.executable, "-m", "tutor.pictures", "match", "2", given, axes, black,
                                        SIZE + "@0.png"], capture_output=True, text=True, timeout=60)
    refused, forced = run("-"), run("5000")
    said = re.fullmatch(r"capture: (\d+) pixels differ from (.+) \(at most (\d+) may\)\n", refused.stderr)
    assert refused.returncode == 1 and said and said[2] == axes and int(said[3]) == int(said[1]) // 100, refused.stderr
    assert forced.returncode == 0 and "at most 5000 may" in forced.stdout


def test_pictures_compared_in_one_run_count_and_show_each_difference_as_compared_alone(tmp_path):
    axes = draw(tmp_path / "axes.png", "line 0,286 791,286", "line 396,0 396,572")
    black, square = draw(tmp_path / "black.png"), draw(tmp_path / "square.png", "rectangle 110,0 682,572")
    pairs = [(axes, axes), (axes, black), (square, black), (black, square)]
    alone = [pictures.compare(reference, picture, pictures.FUZZ, str(tmp_path / ("alone%d.png" % i)), timeout=30)
             for i, (reference, picture) in enumerate(pairs)]
    together = pictures.compare_all([(reference, picture, str(tmp_path / ("together%d.png" % i)))
                                     for i, (reference, picture) in enumerate(pairs)], pictures.FUZZ, timeout=30)
    assert together == [differing for differing, _ in alone] and together[0] == 0 and together[2] > together[1] > 0
    for i in range(len(pairs)):
        assert chunks(tmp_path / ("alone%d.png" % i)) == chunks(tmp_path / ("together%d.png" % i)), i
    # One pair that cannot be compared (another size, no file) fails the run: each alone says why.
    small = str(tmp_path / "small.png")
    subprocess.run(["convert", "-size", "10x10", "xc:black", small], check=True, timeout=30)
    for broken in (small, str(tmp_path / "none.png")):
        assert pictures.compare_all([(axes, axes, str(tmp_path / "a.png")), (axes, broken, str(tmp_path / "b.png"))],
                                    pictures.FUZZ, timeout=30) is None


def chunks(path):
    """A PNG's chunks, less the time it was written (tIME)."""
    data, found = path.read_bytes()[8:], []
    while data:
        length = int.from_bytes(data[:4], "big")
        found.append(data[4:8 + length])
        data = data[12 + length:]
    return [chunk for chunk in found if not chunk.startswith(b"tIME")]
