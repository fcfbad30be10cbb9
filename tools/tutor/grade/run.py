"""Grades a class's exercises by picture.

SUBMISSIONS is a folder of NAME.cpp files, a folder of one folder a student (as a course site's
download holds them), or a zip of either (intake.py). A student's .cpp files define
TForm1::DrawScene, as the exercises do. They are compiled, linked with the tools' entry
(harness/Driver.cpp) and run once, in a sandbox of its own: the program lets its scene run for a
second, then draws one frame at each size and scene time and writes it out itself. Each picture
is compared with the reference's, made the same way. Writes report.html (the pictures side by
side, what differs marked, near-identical code), results.csv, and for the course site
gradebook.csv and feedback.zip (handback.py) to --out.

Every step has a time limit; a step that exceeds it ends the sandbox with everything in it.
Run through tools/grade, which installs, builds and prepares the Wine prefix first.
"""
import signal
import sys

# Until there is something to clean up, Ctrl+C just ends the program, without a traceback.
signal.signal(signal.SIGINT, signal.SIG_DFL)

import argparse  # noqa: E402 (after the line above, so that an early Ctrl+C is quiet)
import concurrent.futures
import os
import queue
import secrets
import threading
import time
import zipfile

from tutor.grade import intake  # noqa: E402
from tutor.grade import png  # noqa: E402
from tutor.contract import Refused, parse_sizes, parse_times, picture_name  # noqa: E402
from tutor.grade.handback import write_feedback, write_gradebook  # noqa: E402
from tutor.grade.held import held_parts, hold_back  # noqa: E402
from tutor.grade.intake import Submission  # noqa: E402
from tutor.grade.report import printable, student_name, tally, write_csv, write_report  # noqa: E402
from tutor.grade.result import Pair, Result  # noqa: E402
from tutor.grade.sandbox import (LIMITS, NotRegular, Sandboxes, Slot, Users, die_with_parent,  # noqa: E402
                     private_mounts, read_regular, remove_leftovers, remove_mounted)
from tutor.grade.similar import groups, near_identical  # noqa: E402
from tutor.pictures import COMPARE_TIMEOUT, allowed, compare, reference_pictures  # noqa: E402
from tutor.grade.submission import SOURCE_LIMIT, Grader, Kit, read_scene  # noqa: E402
from tutor.tree import ROOT  # noqa: E402

OWN_SIZE = "792x573"  # the client area the program opens with
DEFAULT_SIZES = [OWN_SIZE, "960x400", "400x720"]


class Interrupted(Exception):
    """Ctrl+C, SIGTERM or SIGHUP: the run ends, its sandboxes with it."""

    def __init__(self, signum):
        super().__init__("signal %d" % signum)
        self.code = 128 + signum


def interrupt(signum, _frame):
    # NOTE: once only: Ctrl+C reaches both this process and tools/grade, which passes it on, and
    # the clean-up must not be interrupted in turn.
    if not interrupt.raised:
        interrupt.raised = True
        raise Interrupted(signum)


interrupt.raised = False


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="tools/grade", description=__doc__.split("\n\n")[0],
        usage="tools/grade --reference REFERENCE SUBMISSIONS [--out DIR] [--sizes WxH,...] "
              "[--times S,...] [--held-back N] [--draw N] [--timeout S] [--fuzz PERCENT] [--tolerance PIXELS] "
              "[--jobs N] [--starter FILE] [--points N] [--accept-weaker-limits]")
    parser.add_argument("submissions", metavar="SUBMISSIONS",
                        help="a folder of NAME.cpp files, one a student; or a folder of one folder a student "
                             "(Full Name_ID_assignsubmission_file_/ as a course site's download has them); "
                             "or a .zip of either")
    parser.add_argument("--reference", required=True,
                        help="the teacher's scene file, or a folder of pictures named by size and "
                             "scene time (800x600@0.5.png; 800x600.png for time 0), as tools/capture writes them")
    parser.add_argument("--out", default="grade", help="where the report goes (default grade/)")
    parser.add_argument("--sizes", help="client areas to picture (default: %s, the program's own, then "
                        "a wide and a tall one; with a folder of pictures, its pictures' sizes)" % OWN_SIZE)
    parser.add_argument("--times", help="scene times in seconds to picture at each size, what SceneTime() "
                        "returns (default: 0; with a folder of pictures, its pictures' times)")
    parser.add_argument("--held-back", type=int, default=1, metavar="N",
                        help="sizes, and for an animated class scene times, drawn at random for this run and "
                             "pictured too: shots no student was handed, which a scene that replays the handed-out "
                             "pictures cannot match (1 of each; 0: none; only with the teacher's scene file)")
    parser.add_argument("--draw", type=int, metavar="N",
                        help="draws the held-back shots of an earlier run again (the run prints its number)")
    parser.add_argument("--timeout", type=float, default=20.0,
                        help="seconds a step may take: the compile, the link, the run with its pictures (20)")
    parser.add_argument("--fuzz", type=float, default=2.0, help="colour difference a pixel may have and match (2)")
    parser.add_argument("--tolerance", type=int,
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
    args = parser.parse_args(argv)

    if not os.path.isdir(args.submissions) and not (os.path.isfile(args.submissions)
                                                     and zipfile.is_zipfile(args.submissions)):
        parser.error("no folder of submissions at %s, nor a zip of one" % args.submissions)
    if args.starter is not None and not (os.path.isfile(args.starter) and args.starter.endswith(".cpp")):
        parser.error("--starter takes a .cpp file, not %s" % args.starter)
    if not os.path.exists(args.reference):
        parser.error("no reference at %s" % args.reference)
    if os.path.isfile(args.reference) and not args.reference.endswith(".cpp"):
        parser.error("the reference is a scene file (.cpp) or a folder of pictures, not %s" % args.reference)
    for name, value in (("--timeout", args.timeout), ("--fuzz", args.fuzz)):
        if not value >= 0 or value != value or value == float("inf"):
            parser.error("%s takes a number of 0 or more, not %s" % (name, value))
    if args.timeout < 1:
        parser.error("--timeout takes at least 1 second")
    if args.tolerance is not None and args.tolerance < 0:
        parser.error("--tolerance takes a count of 0 or more")
    if not 1 <= args.jobs <= 8:
        parser.error("--jobs takes 1 to 8")
    if not 0 <= args.held_back <= 8:
        parser.error("--held-back takes 0 to 8")
    if args.draw is not None and not 0 <= args.draw < 1 << 63:
        parser.error("--draw takes a number from 0, as a run printed it")
    if not 0 < args.points <= 10000:
        parser.error("--points takes a number above 0, up to 10000")

    pictures = reference_pictures(args.reference) if os.path.isdir(args.reference) else {}
    if os.path.isdir(args.reference) and not pictures:
        parser.error("no pictures named by size and time (800x600@0.png) in %s" % args.reference)
    try:
        times = parse_times("--times", args.times) if args.times is not None else \
            sorted({t for _, t in pictures}, key=float) if pictures else ["0"]
        sizes = parse_sizes("--sizes", args.sizes) if args.sizes is not None else \
            list(dict.fromkeys(s for s, _ in pictures)) if pictures else DEFAULT_SIZES
    except Refused as error:
        parser.error(str(error))
    missing = [(s, t) for s in sizes for t in times if pictures and (s, t) not in pictures]
    if missing:
        parser.error("no reference picture %s in %s" % (picture_name(*missing[0]), args.reference))
    # Only the teacher's scene can be pictured where no student looked.
    args.draw = secrets.randbelow(10 ** 6) if args.draw is None else args.draw
    held_sizes, held_times = hold_back(args.draw, args.held_back, sizes, times) if not pictures else ([], [])
    args.sizes, args.times, args.pictures = sizes + held_sizes, times + held_times, pictures
    args.shots = [(s, t) for s in args.sizes for t in args.times]
    args.held = {(s, t) for s, t in args.shots if s in held_sizes or t in held_times}
    return args


class Run:
    """One run of the grader over a class, step by step as main() calls them: its sandboxes'
    slots, the reference's pictures, a Result a submission as each is graded, the near-identical
    pairs, and the exit code. A step that refuses the class returns the exit code."""

    def __init__(self, args):
        self.args = args
        self.started = time.monotonic()
        self.work_root = os.path.join(args.build, "grade-work")
        self.work = os.path.join(self.work_root, str(os.getpid()))
        self.kit = self.boxes = self.grader = None
        self.submissions, self.ignored, self.slots, self.finished = [], [], [], []
        self.references = None
        self.allowed = {}  # pixels that may differ at each shot, by what its reference draws
        self.results = None  # a place a submission once grading starts, None until it is graded
        self.pairs, self.similarity_note = [], "the run was interrupted"
        self.code = 0

    def begin(self):
        # A killed tools/grade ends this run as SIGTERM would; a killed grader takes its sandboxes
        # (each dies with its parent) and its disks (mounted in a namespace of its own) with it. What
        # is still left then, the next run removes.
        die_with_parent()
        removed = remove_leftovers(self.work_root, keep=str(os.getpid()))
        if removed:
            print("grade: removed what an earlier run that was killed left: %s" % ", ".join(removed), flush=True)
        private_mounts()
        self.kit = Kit(self.args.build)
        # No sandbox sees what the run reads and writes, the tools' own checkout with it.
        args, checkout = self.args, ROOT
        hidden = [checkout, args.build, args.out, args.reference, args.submissions, args.starter]
        self.boxes = Sandboxes(self.kit.files, args.timeout, hidden=[path for path in hidden if path])
        # From here on, Ctrl+C, SIGTERM and SIGHUP are caught by grade(): the sandboxes and displays
        # are ended, nothing is left, and what was graded so far is reported.
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, interrupt)

    def grade(self):
        """Takes the class and grades it, each step in turn; the exit code of the step that
        refused it, or None. An interruption ends the sandboxes; the slots and the work folder go
        either way."""
        try:
            for step in (self.take_class, self.prove_limits, self.take_references):
                refused = step()
                if refused:
                    return refused
            self.grade_class()
            self.check_similarity()
        except Interrupted as stop:
            self.code = stop.code
            self.boxes.stop()
            for event in self.finished:
                event.wait(10)
        finally:
            for slot in self.slots:
                slot.close()
            remove_mounted(self.work)
        return None

    def take_class(self):
        # A zip is unpacked into the work folder, which goes with the run.
        try:
            self.submissions, self.ignored = intake.take(self.args.submissions, os.path.join(self.work, "class"))
        except intake.Unsafe as error:
            print("grade: %s is not graded: %s" % (printable(student_name(self.args.submissions)), error),
                  file=sys.stderr)
            return 2
        for entry in self.ignored:
            print("ignored: %s (not a NAME.cpp scene file, nor a folder of one student's files)" % printable(entry))
        # Only now is the last run's report cleared: a class refused leaves it as it was.
        self.grader = Grader(self.args, self.kit, self.boxes)
        jobs = max(1, min(self.args.jobs, len(self.submissions)))
        users = Users()
        for i in range(jobs):
            self.slots.append(Slot(i, os.path.join(self.work, "slot%d" % i), (os.cpu_count() or 1) / jobs, users,
                                   self.grader.prefix))
        return None

    def prove_limits(self):
        """Proves every limit in each slot before the first submission runs, and tells what holds;
        refuses the class when one is missing and the teacher did not accept that."""
        cores = os.cpu_count() or 1
        held = [self.boxes.prove(slot) for slot in self.slots]
        shares = [slot.limits.cores for slot in self.slots]
        if None in shares or sum(shares) > cores + 0.01:
            for h in held:
                h.pop("processors", None)
        else:
            held[0]["processors"] += " (%g in all, of %d)" % (round(sum(shares), 2), cores)
        missing = [name for name in LIMITS if not all(name in h for h in held)]
        told = ", ".join([held[0][name] for name in LIMITS if name in held[0]] +
                         [words for name, words in held[0].items() if name not in LIMITS])
        if missing and not self.args.accept_weaker_limits:
            print("grade: these limits cannot be set here: %s%s.\n"
                  "Run it where they can (as root, with control groups and tmpfs and overlay mounts), "
                  "or pass --accept-weaker-limits to grade with those that hold: %s." % (
                      ", ".join(missing), "".join(" (%s: %s)" % item for item in sorted(self.boxes.why_not.items())),
                      told),
                  file=sys.stderr)
            return 3
        print("grade: each sandbox: %s; no network; a user, a display and a key of its own%s" % (
            told,
            "; WITHOUT %s" % ", ".join(missing) if missing else ""), flush=True)
        return None

    def take_references(self):
        """The reference's picture at each size and time ({shot: path}), rendered from the
        teacher's scene in the first slot or taken from the teacher's folder of pictures, and the
        pixels that may differ from each; the class is refused, having said why, when they cannot
        be had."""
        self.tell_held_back()
        refused = self.make_references() if not self.args.pictures else self.take_pictures()
        return refused or self.measure_references()

    def tell_held_back(self):
        args = self.args
        if args.pictures and args.held_back:
            print("grade: no shot held back: a folder of pictures holds only the shots it was made at, which "
                  "students may have been handed; grade with your own scene file to picture shots nobody saw",
                  flush=True)
        elif args.held:
            print("grade: held back from students: %s (--draw %d draws them again)" % (
                ", ".join(held_parts(args.sizes, args.times, args.held)), args.draw), flush=True)

    def measure_references(self):
        """The pixels that may differ at each shot, from what its reference picture draws."""
        args = self.args
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            found = dict(zip(args.shots, pool.map(
                lambda shot: allowed(self.references[shot], shot[0], args.fuzz, args.tolerance,
                                     timeout=COMPARE_TIMEOUT), args.shots)))
        for shot, (most, why) in found.items():
            if most is None:
                print("grade: the reference picture %s: %s" % (picture_name(*shot), why), file=sys.stderr)
                return 2
            self.allowed[shot] = most
        return None

    def make_references(self):
        """The reference's pictures, rendered from the teacher's own file (a link to it allowed)."""
        args = self.args
        reference = Submission("reference", files=[(os.path.basename(args.reference), os.path.realpath(args.reference))])
        result = self.grader.grade(self.slots[0], reference, "reference")
        if result.verdict != "pass":
            print("grade: the reference %s: %s%s" % (args.reference, result.verdict,
                                                     ": " + result.detail if result.detail else ""), file=sys.stderr)
            if result.messages:
                print(result.messages, file=sys.stderr)
            return 2
        self.references = result.pictures
        return None

    def take_pictures(self):
        """The reference's pictures, each taken from the teacher's folder as a submission's is."""
        args, out = self.args, self.grader.out
        references = {}
        for shot in args.shots:
            references[shot] = os.path.join(out, "pictures", "reference-%s" % picture_name(*shot))
            width, height = map(int, shot[0].split("x"))
            try:
                data, more = read_regular(args.pictures[shot], png.largest(width, height))
                if more:
                    raise png.Refused("it is larger than a picture of %s can be" % shot[0])
                with open(references[shot], "wb") as f:
                    f.write(png.take(data, width, height))
            except (NotRegular, png.Refused) as error:
                print("grade: the reference picture %s: %s" % (args.pictures[shot], error), file=sys.stderr)
                return 2
        self.references = references
        return None

    def grade_class(self):
        """Grades the submissions into their places in results with a thread a slot, and waits
        for them."""
        self.results = [None] * len(self.submissions)
        work = queue.Queue()
        for index in range(len(self.submissions)):
            work.put(index)
        lock = threading.Lock()

        def worker(slot, finished):
            try:
                while not self.boxes.stopping.is_set():
                    try:
                        index = work.get_nowait()
                    except queue.Empty:
                        return
                    result = self.grade_one(slot, index)
                    if self.boxes.stopping.is_set():
                        return
                    with lock:
                        self.results[index] = result
                        self.tell_progress(result)
            finally:
                finished.set()

        # NOTE: daemon threads, waited for in steps so that a signal reaches the main thread at
        # once, and by an event each: Thread.join cut short by an exception may take a running
        # thread for ended.
        self.finished = [threading.Event() for _ in self.slots]
        for slot, event in zip(self.slots, self.finished):
            threading.Thread(target=worker, args=(slot, event), daemon=True).start()
        for event in self.finished:
            while not event.wait(0.5):
                pass

    def compare(self, taken, tag, shot):
        """Differing pixels and the difference picture, or None and why they cannot be compared.
        NOTE: both pictures were written by the grader itself (png.take), so ImageMagick reads
        nothing a submission wrote."""
        diff = os.path.join(self.grader.out, "pictures", "%s-%s-diff.png" % (tag, picture_name(*shot)[:-4]))
        differing, why = compare(self.references[shot], taken, self.args.fuzz, diff, timeout=COMPARE_TIMEOUT)
        return (differing, diff) if differing is not None else (None, why)

    def grade_one(self, slot, index):
        """The submission at INDEX graded in SLOT and its pictures compared with the reference's."""
        args, submission, tag = self.args, self.submissions[index], "%02d" % (index + 1)
        try:
            result = self.grader.grade(slot, submission, tag)
            for shot in args.shots:
                if shot in result.pictures:
                    result.differences[shot] = self.compare(result.pictures[shot], tag, shot)
        except Exception as error:  # the grader's own fault: say so, go on with the rest
            return Result.of(submission, tag, "crashed", "the grader failed: %s" % error)
        differs = [s for s in args.shots if s in result.differences and
                   (result.pixels(s) is None or result.pixels(s) > self.allowed[s])]
        if result.verdict == "pass" and differs:
            result.verdict = "differs"
            result.detail = "; ".join("%s: %s" % (picture_name(*s)[:-4], "%d pixels" % result.pixels(s)
                                                  if result.pixels(s) is not None else result.differences[s][1])
                                      for s in differs)
        return result

    def tell_progress(self, result):
        """The line a graded submission gets: how far the class is, its verdict, its counts."""
        total, done = len(self.results), sum(r is not None for r in self.results)
        counts = ", ".join(str(result.pixels(s)) if result.pixels(s) is not None else "-" for s in self.args.shots)
        print("[%*d/%d] %s: %s (differing pixels %s)%s" % (
            len(str(total)), done, total, printable(result.student), result.verdict, counts,
            ": " + printable(result.detail) if result.detail and result.verdict not in ("pass", "differs") else ""),
              flush=True)

    def check_similarity(self):
        """Pairs the graded results whose code is near-identical, each naming the other, with a
        note on each student not compared in full, or notes why nothing could be checked. A
        submission is what its build reads; sim_c++ runs in the first slot's sandbox."""
        texts = {}
        for index, submission in enumerate(self.submissions):
            if self.results[index] is not None:
                # NOTE: only what read_scene takes: a submission refused or too large is not read.
                files = read_scene(submission)[0]
                if files:
                    texts[index] = files
        slot = self.slots[0]
        try:
            starter = read_regular(os.path.realpath(self.args.starter), SOURCE_LIMIT)[0] if self.args.starter else None
            slot.next_user()
            scratch = slot.disk.make()
            # sim_c++ writes its outputs here alone; what it reads stays root's.
            os.mkdir(os.path.join(scratch, "out"), 0o755)
            os.chown(os.path.join(scratch, "out"), slot.uid, slot.uid)
            run = lambda argv, timeout: self.boxes.run(slot, scratch, argv, timeout=timeout)
            found, notes, note = near_identical(texts, starter, scratch, run)
        except Exception as error:  # the check is an aid: no failure of it costs the report
            found, notes, note = [], {}, "the similarity check could not run: %s" % error
        finally:
            slot.disk.clear()
        for index, words in notes.items():
            self.results[index].copy_note = words
        pairs = []
        for number, (a, b, ab, ba) in enumerate(found, 1):
            first, second = self.results[a], self.results[b]
            first.similar.append((second, ab, number))
            second.similar.append((first, ba, number))
            pairs.append(Pair(first, second, ab, ba, shown(texts[a]), shown(texts[b])))
        self.pairs, self.similarity_note = pairs, note

    def graded(self):
        return [r for r in self.results if r is not None]

    def write_outputs(self):
        """Writes report.html, results.csv, gradebook.csv and feedback.zip, each on its own: one
        that cannot be written costs none of the others, and makes the exit code 1."""
        args, out, graded = self.args, os.path.abspath(self.args.out), self.graded()
        most = self.allowed.get
        outputs = [
            ("report.html", lambda: write_report(out, args, graded, self.references, self.ignored, len(self.results),
                                                 self.pairs, self.similarity_note)),
            ("results.csv", lambda: write_csv(out, args.shots, args.held, graded)),
            ("gradebook.csv", lambda: write_gradebook(out, graded, args.shots, most, args.points)),
            ("feedback.zip", lambda: write_feedback(out, graded, args.shots, most, args.points, self.references))]
        for name, write in outputs:
            try:
                write()
            except Exception as error:
                print("grade: %s could not be written: %s" % (name, error), file=sys.stderr)
                self.code = self.code or 1

    def tell_summary(self):
        """The closing lines: how many were graded and how, the near-identical groups, and why
        similarity was not checked, for the class or for a student."""
        args, graded = self.args, self.graded()
        print("%s %d submissions at %d size%s and %d time%s in %.0f s: %s. Report: %s" % (
            "Interrupted; graded %d of" % len(graded) if self.code else "Graded", len(self.results),
            len(args.sizes), "s" if len(args.sizes) > 1 else "", len(args.times), "s" if len(args.times) > 1 else "",
            time.monotonic() - self.started, tally(graded), os.path.join(os.path.abspath(args.out), "report.html")),
              file=sys.stderr if self.code else sys.stdout)
        students = {r.tag: printable(r.student) for r in graded}
        for group in groups([(pair.first.tag, pair.second.tag) for pair in self.pairs]):
            names = [students[tag] for tag in group]
            print("near-identical: %s and %s" % (", ".join(names[:-1]), names[-1]))
        if self.similarity_note and not self.code:
            print("grade: near-identical code not checked: %s" % self.similarity_note, file=sys.stderr)
        for r in graded:
            if r.copy_note:
                print("near-identical code, %s: %s" % (printable(r.student), r.copy_note))


def shown(files):
    """A submission's files as one text for the report, each under its name."""
    if len(files) == 1:
        return next(iter(files.values()))
    return b"".join(b"// %s\n%s\n" % (os.fsencode(name), text) for name, text in files.items())


def main(argv):
    args = parse_arguments(argv)
    if args.check_only:
        return 0
    run = Run(args)
    run.begin()
    refused = run.grade()
    if refused:
        return refused
    if run.results is None:
        print("grade: interrupted before the reference was pictured; no report", file=sys.stderr)
        return run.code
    run.write_outputs()
    run.tell_summary()
    return run.code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
