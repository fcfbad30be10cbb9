"""tools/grade's arguments: read, checked (bad usage is told before anything is built), and the
shots they ask for, the held-back ones drawn."""
import argparse
import os
import secrets
import zipfile

from tutor import options
from tutor.contract import Shot
from tutor.grade.held import hold_back
from tutor.pictures import reference_pictures

DESCRIPTION = "Grades a class's exercises by picture."
OWN_SIZE = "792x573"  # the client area the program opens with
DEFAULT_SIZES = [OWN_SIZE, "960x400", "400x720"]
USAGE = ("tools/grade --reference REFERENCE SUBMISSIONS [--out DIR] [--sizes WxH,...] [--times S,...] "
         "[--held-back N] [--draw N] [--timeout S] [--fuzz PERCENT] [--tolerance PIXELS] [--jobs N] "
         "[--starter FILE] [--points N] [--accept-weaker-limits]")


def parser():
    parser = argparse.ArgumentParser(prog="tools/grade", description=DESCRIPTION, usage=USAGE)
    parser.add_argument("submissions", metavar="SUBMISSIONS",
                        help="a folder of NAME.cpp files, one a student; or a folder of one folder a student "
                             "(Full Name_ID_assignsubmission_file_/ as a course site's download has them); "
                             "or a .zip of either")
    parser.add_argument("--reference", required=True,
                        help="the teacher's scene file, or a folder of pictures named by size and "
                             "scene time (800x600@0.5.png; 800x600.png for time 0), as tools/capture writes them")
    parser.add_argument("--out", default="grade", help="where the report goes (default grade/)")
    parser.add_argument("--sizes", type=options.argtype(parser, options.sizes, "--sizes"), help="client areas to picture (default: %s, the program's own, then "
                        "a wide and a tall one; with a folder of pictures, its pictures' sizes)" % OWN_SIZE)
    parser.add_argument("--times", type=options.argtype(parser, options.times, "--times"), help="scene times in seconds to picture at each size, what SceneTime() "
                        "returns (default: 0; with a folder of pictures, its pictures' times)")
    parser.add_argument("--held-back", type=int, default=1, metavar="N",
                        help="sizes, and for an animated class scene times, drawn at random for this run and "
                             "pictured too: shots no student was handed, which a scene that replays the handed-out "
                             "pictures cannot match (1 of each; 0: none; only with the teacher's scene file)")
    parser.add_argument("--draw", type=int, metavar="N",
                        help="draws the held-back shots of an earlier run again (the run prints its number)")
    parser.add_argument("--timeout", type=options.argtype(parser, options.timeout, "--timeout"), default=20,
                        help="seconds a step may take: the compile, the link, the run with its pictures (20)")
    parser.add_argument("--fuzz", type=options.argtype(parser, options.fuzz, "--fuzz"), default=2.0, help="colour difference a pixel may have and match (2)")
    parser.add_argument("--tolerance", type=options.argtype(parser, options.tolerance, "--tolerance"),
                        help="pixels that may differ at each size (default 1%% of those the reference draws, "
                             "at least 8, always fewer than all of them)")
    parser.add_argument("--jobs", type=int, default=2, help="sandboxes side by side (2)")
    parser.add_argument("--starter", help="the code handed out to start from (.cpp): what students share of it "
                                          "does not make them alike")
    parser.add_argument("--points", type=float, default=100.0,
                        help="points for a submission whose every picture passes, in gradebook.csv (100)")
    parser.add_argument("--accept-weaker-limits", action="store_true",
                        help="grade even where a sandbox's limit cannot be set (each is proved first, and "
                             "the run stops when one is missing)")
    parser.add_argument("--build", help=argparse.SUPPRESS)
    parser.add_argument("--check-only", action="store_true", help=argparse.SUPPRESS)
    return parser


def parse_arguments(argv):
    """The arguments, checked, with the shots to picture: args.sizes and args.times (the held-back
    ones after those asked for), args.shots (each size at each time), args.held (those held back
    from students), args.pictures (the teacher's folder of pictures, {Shot: path}, or empty) and
    args.draw (the number the held-back ones were drawn by)."""
    checker = parser()
    args = checker.parse_args(argv)
    error = wrong_paths(args) or wrong_numbers(args)
    if error:
        checker.error(error)
    pictures = {Shot.of(*key): path for key, path in reference_pictures(args.reference).items()} \
        if os.path.isdir(args.reference) else {}
    if os.path.isdir(args.reference) and not pictures:
        checker.error("no pictures named by size and time (800x600@0.png) in %s" % args.reference)
    times = args.times if args.times is not None else \
        sorted({shot.time for shot in pictures}, key=float) if pictures else ["0"]
    sizes = args.sizes if args.sizes is not None else \
        list(dict.fromkeys(shot.size for shot in pictures)) if pictures else DEFAULT_SIZES
    missing = [Shot.of(s, t) for s in sizes for t in times if pictures and Shot.of(s, t) not in pictures]
    if missing:
        checker.error("no reference picture %s in %s" % (missing[0].name, args.reference))
    # Only the teacher's scene can be pictured where no student looked.
    args.draw = secrets.randbelow(10 ** 6) if args.draw is None else args.draw
    held_sizes, held_times = hold_back(args.draw, args.held_back, sizes, times) if not pictures else ([], [])
    args.sizes, args.times, args.pictures = sizes + held_sizes, times + held_times, pictures
    args.shots = [Shot.of(s, t) for s in args.sizes for t in args.times]
    args.held = {shot for shot in args.shots if shot.size in held_sizes or shot.time in held_times}
    return args


def wrong_paths(args):
    """What is wrong with the paths the arguments name, or None."""
    if not os.path.isdir(args.submissions) and not (os.path.isfile(args.submissions)
                                                     and zipfile.is_zipfile(args.submissions)):
        return "no folder of submissions at %s, nor a zip of one" % args.submissions
    if args.starter is not None and not (os.path.isfile(args.starter) and args.starter.endswith(".cpp")):
        return "--starter takes a .cpp file, not %s" % args.starter
    if not os.path.exists(args.reference):
        return "no reference at %s" % args.reference
    if os.path.isfile(args.reference) and not args.reference.endswith(".cpp"):
        return "the reference is a scene file (.cpp) or a folder of pictures, not %s" % args.reference
    return None


def wrong_numbers(args):
    """What is wrong with the numbers the arguments give, or None (--timeout, --fuzz, --tolerance,
    --sizes and --times are checked as every tool checks them, tutor.options)."""
    checks = [(not 1 <= args.jobs <= 8, "--jobs takes 1 to 8"),
              (not 0 <= args.held_back <= 8, "--held-back takes 0 to 8"),
              (args.draw is not None and not 0 <= args.draw < 1 << 63, "--draw takes a number from 0, as a run printed it"),
              (not 0 < args.points <= 10000, "--points takes a number above 0, up to 10000")]
    return next((words for wrong, words in checks if wrong), None)
