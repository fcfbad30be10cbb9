"""Shots held back from students: drawn anew each run, apart from what was handed out, repeatable
by the number the run prints."""
from tutor.contract import MAX_HEIGHT, MAX_WIDTH, parse_sizes, parse_times
from tutor.grade import held

HANDED = ["792x573", "960x400", "400x720"]


def test_held_back_sizes_and_times_are_none_of_those_handed_out_and_come_again_by_the_runs_number():
    drawn = [held.hold_back(number, 2, HANDED, ["0", "0.5", "1"]) for number in range(50)]
    assert held.hold_back(7, 2, HANDED, ["0", "0.5", "1"]) == drawn[7]
    assert len({tuple(sizes) for sizes, _ in drawn}) > 40 and len({tuple(times) for _, times in drawn}) > 40
    for sizes, times in drawn:
        assert parse_sizes("--sizes", ",".join(sizes)) == sizes and len(sizes) == 2
        assert all(abs(held.aspect(s) - held.aspect(h)) >= held.ASPECT_APART for s in sizes for h in HANDED)
        assert all(int(w) <= MAX_WIDTH and int(h) <= MAX_HEIGHT for w, h in (s.split("x") for s in sizes))
        assert parse_times("--times", ",".join(times)) == times and len(times) == 2
        assert all(0 < float(t) <= 1 and t not in ("0.5", "1") for t in times)
    # A class pictured at time 0 alone is not animated: no time to hold back.
    assert held.hold_back(1, 1, HANDED, ["0"])[1] == [] and held.hold_back(1, 3, HANDED, ["0", "0.002"])[1] == ["0.001"]
