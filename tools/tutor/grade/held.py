"""Shots held back from students: sizes and scene times that no student was handed, drawn at
random for a run. A scene that replays the handed-out pictures, or draws right only where it was
told to look, is caught there; the teacher's scene can be pictured anywhere, so the reference is
always at hand.

The draw is repeatable: the same number, sizes and times give the same shots.
"""
import math
import random

from tutor.contract import MAX_HEIGHT, MAX_WIDTH, Shot, canonical_time

# Sizes drawn from: room for a scene to show, no larger than a classroom's screens need.
WIDTHS, HEIGHTS = (320, min(1280, MAX_WIDTH)), (240, min(960, MAX_HEIGHT))
ASPECT_APART = 0.15  # |ln(w/h) - ln(w'/h')|: about 16 % wider or taller than every size handed out
DRAWS = 1000


def aspect(size):
    width, height = map(int, size.split("x"))
    return math.log(width / height)


def held_sizes(rng, count, sizes):
    """COUNT sizes ("WxH"), each of an aspect apart from every one of SIZES and from each other."""
    taken, found = list(sizes), []
    for _ in range(DRAWS):
        if len(found) == count:
            break
        size = "%dx%d" % (rng.randint(*WIDTHS), rng.randint(*HEIGHTS))
        if all(abs(aspect(size) - aspect(other)) >= ASPECT_APART for other in taken):
            found.append(size)
            taken.append(size)
    # Handed-out sizes of every aspect leave none apart: any other size still catches a replay.
    while len(found) < count:
        size = "%dx%d" % (rng.randint(*WIDTHS), rng.randint(*HEIGHTS))
        if size not in taken:
            found.append(size)
            taken.append(size)
    return found


def held_times(rng, count, times):
    """COUNT canonical scene times between 0 and the last of TIMES (milliseconds apart), none of
    TIMES; none for a class pictured at time 0 alone, which is not animated."""
    last = max(int(round(float(t) * 1000)) for t in times)
    free = last - sum(0 < float(t) <= last / 1000 for t in times)
    found = []
    while len(found) < min(count, free):
        milliseconds = rng.randint(1, last)
        time_ = canonical_time("--times", "%d.%03d" % divmod(milliseconds, 1000))
        if time_ not in times and time_ not in found:
            found.append(time_)
    return found


def hold_back(number, count, sizes, times):
    """The sizes and times held back from SIZES and TIMES (those handed out): COUNT of each, as the
    run's NUMBER draws them."""
    rng = random.Random(number)
    return held_sizes(rng, count, sizes), held_times(rng, count, times)


def held_parts(sizes, times, held):
    """The sizes and times ("1000x300", "0.37 s") all of whose shots (HELD, a set of Shot) are held
    back, as told."""
    shots = [Shot.of(s, t) for s in sizes for t in times]
    return [s for s in sizes if all(shot in held for shot in shots if shot.size == s)] + \
        ["%s s" % t for t in times if all(shot in held for shot in shots if shot.time == t)]
