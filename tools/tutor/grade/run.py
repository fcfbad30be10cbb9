"""Grades a class's exercises by picture.

SUBMISSIONS is a folder of NAME.cpp files, a folder of one folder a student (as a course site's
download holds them), or a zip of either (intake.py). A student's .cpp files define
TForm1::DrawScene, as the exercises do. They are compiled, linked with the tools' entry
(harness/Driver.cpp) and run once, in a sandbox of its own (submission.py): the program lets its
scene run for a second, then draws one frame at each size and scene time and writes it out
itself. Each picture is compared with the reference's, made the same way (judge.py). Writes
report.html (the pictures side by side, what differs marked, near-identical code), results.csv,
and for the course site gradebook.csv and feedback.zip (handback.py) to --out.

Every step has a time limit; a step that exceeds it ends the sandbox with everything in it.
Run through tools/grade, which installs, builds and prepares the Wine prefix first.
"""
import signal
import sys

# Until there is something to clean up, Ctrl+C just ends the program, without a traceback.
signal.signal(signal.SIGINT, signal.SIG_DFL)

import os  # noqa: E402 (after the line above, so that an early Ctrl+C is quiet)
import queue  # noqa: E402
import threading  # noqa: E402
import time  # noqa: E402

from tutor.grade import intake, png  # noqa: E402
from tutor.grade.arguments import parse_arguments  # noqa: E402
from tutor.grade.handback import write_feedback, write_gradebook  # noqa: E402
from tutor.grade.held import held_parts  # noqa: E402
from tutor.grade.judge import Judge, measure  # noqa: E402
from tutor.grade.report import tally, write_csv, write_report  # noqa: E402
from tutor.grade.result import Pair, Result, Verdict  # noqa: E402
from tutor.grade.sandbox.boxes import Sandboxes, Slot  # noqa: E402
from tutor.grade.sandbox.disk import private_mounts, remove_mounted  # noqa: E402
from tutor.grade.sandbox.leftovers import RunLock, die_with_parent, remove_leftovers  # noqa: E402
from tutor.grade.sandbox.limits import LIMITS  # noqa: E402
from tutor.grade.sandbox.users import Users  # noqa: E402
from tutor.grade.similar import groups, near_identical  # noqa: E402
from tutor.grade.submission import Grader, read_scene  # noqa: E402
from tutor.kit import Kit  # noqa: E402
from tutor.hostile import NotRegular, printable, read_regular, student_name  # noqa: E402
from tutor.signals import Interrupted, all_set, catch  # noqa: E402
from tutor.tree import ROOT  # noqa: E402


class Run:
    """One run of the grader over a class, step by step as main() calls them: its sandboxes'
    slots, the reference's pictures and the judge that holds a submission's against them, a
    Result a submission as each is graded, the near-identical pairs, and the exit code. A step
    that refuses the class returns the exit code."""

    def __init__(self, args):
        self.args = args
        self.started = time.monotonic()
        self.work_root = os.path.join(args.build, "grade-work")
        self.lock = self.work = self.kit = self.boxes = self.grader = self.judge = None
        self.submissions, self.ignored, self.slots, self.finished = [], [], [], []
        self.references = None
        self.allowed = {}  # pixels that may differ at each shot, by what its reference draws
        self.results = None  # a place a submission once grading starts, None until it is graded
        self.pairs, self.similarity_note = [], "the run was interrupted"
        self.code = 0

    def begin(self):
        # A killed tools/grade ends this run as SIGTERM would; a killed grader takes its sandboxes
        # (each dies with its parent) and its disks (mounted in a namespace of its own) with it. What
        # is still left then, a later run removes, once this one's lock is free.
        die_with_parent()
        self.lock = RunLock()
        self.work = os.path.join(self.work_root, self.lock.id)
        for run, words in remove_leftovers(self.work_root, self.lock.id):
            print("grade: removed what run %s, which was killed, left: %s" % (run, words), flush=True)
        private_mounts()
        self.kit = Kit(self.args.build)
        # No sandbox sees what the run reads and writes, the tools' own checkout with it.
        args, checkout = self.args, ROOT
        hidden = [checkout, args.build, args.out, args.reference, args.submissions, args.starter]
        self.boxes = Sandboxes(self.kit.files, args.timeout, hidden=[path for path in hidden if path],
                               run=self.lock.id)
        # From here on, Ctrl+C, SIGTERM and SIGHUP are caught by grade(): the sandboxes and displays
        # are ended, nothing is left, and what was graded so far is reported.
        catch()

    def grade(self):
        """Takes the class and grades it, each step in turn; the exit code of the step that
        refused it, or None. An interruption ends the sandboxes; the slots, the work folder and
        the run's lock go either way."""
        try:
            for step in (self.take_class, self.prove_limits, self.take_pictures, self.grade_class):
                refused = step()
                if refused:
                    return refused
            self.check_similarity()
        except Interrupted as stop:
            self.code = stop.code
            self.boxes.stop()
            all_set(self.finished, 10)
        finally:
            for slot in self.slots:
                slot.close()
            remove_mounted(self.work)
            self.lock.close()
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
                                   self.grader.prefix, self.lock.id))
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

    def make_judge(self):
        """The judge that holds the class against the reference's pictures at each shot ({Shot:
        path}); the class is refused, having said why, when one cannot be measured."""
        args = self.args
        self.allowed, unmeasured = measure(self.references, args.shots, args.fuzz, args.tolerance, args.jobs)
        if unmeasured:
            print("grade: the reference picture %s: %s" % (unmeasured[0].name, unmeasured[1]), file=sys.stderr)
            return 2
        self.judge = Judge(self.references, self.allowed, args.fuzz, os.path.join(self.grader.out, "pictures"))
        return None

    def tell_held_back(self):
        args = self.args
        if args.pictures and args.held_back:
            print("grade: no shot held back: a folder of pictures holds only the shots it was made at, which "
                  "students may have been handed; grade with your own scene file to picture shots nobody saw",
                  flush=True)
        elif args.held:
            print("grade: held back from students: %s (--draw %d draws them again)" % (
                ", ".join(held_parts(args.sizes, args.times, args.held)), args.draw), flush=True)

    def make_references(self):
        """The reference's pictures, rendered from the teacher's own file (a link to it allowed) in
        the first slot, and the judge; 2 when they cannot be had, having said why, and None when
        the run is being stopped."""
        args = self.args
        scene = os.path.realpath(args.reference)
        # The shaders beside it go with it, as a submission's do.
        reference = intake.Submission("reference", files=[(os.path.basename(args.reference), scene)] + shaders_beside(scene))
        result = self.grader.grade(self.slots[0], reference, "reference")
        if self.boxes.stopping.is_set():
            return None
        if result.verdict != Verdict.PASS:
            print("grade: the reference %s: %s%s" % (args.reference, result.verdict.value,
                                                     ": " + result.detail if result.detail else ""), file=sys.stderr)
            if result.messages:
                print(result.messages, file=sys.stderr)
            return 2
        self.references = result.pictures
        return self.make_judge()

    def take_pictures(self):
        """The reference's pictures, each taken from the teacher's folder as a submission's is,
        and the judge; a reference to be pictured is the first job of grade_class."""
        self.tell_held_back()
        if not self.args.pictures:
            return None
        args, out = self.args, self.grader.out
        references = {}
        for shot in args.shots:
            references[shot] = os.path.join(out, "pictures", "reference-%s" % shot.name)
            try:
                data = png.taken(*read_regular(args.pictures[shot], png.largest(shot.width, shot.height)), shot)
                with open(references[shot], "wb") as f:
                    f.write(data)
            except (NotRegular, png.Refused) as error:
                print("grade: the reference picture %s: %s" % (args.pictures[shot], error), file=sys.stderr)
                return 2
        self.references = references
        return self.make_judge()

    def grade_class(self):
        """Grades the submissions into their places in results with a thread a slot, and waits
        for them. A reference to be pictured is the first slot's first job: the other slots start
        on the class meanwhile, and each result is judged once the reference's pictures are
        there. 2 when they cannot be had: the class's sandboxes are ended, and nothing reported."""
        self.results = [None] * len(self.submissions)
        work = queue.Queue()
        for index in range(len(self.submissions)):
            work.put(index)
        lock, judged, refused = threading.Lock(), threading.Event(), []
        if self.judge:
            judged.set()

        def reference():
            outcome = 2  # unless it returns: a fault of the grader's own, its traceback told
            try:
                outcome = self.make_references()
            finally:
                refused.append(outcome)
                if outcome:
                    self.boxes.stop()
                judged.set()

        def worker(slot, finished, first):
            try:
                first()
                while not self.boxes.stopping.is_set():
                    try:
                        index = work.get_nowait()
                    except queue.Empty:
                        return
                    result = self.grade_one(slot, index, judged)
                    if self.boxes.stopping.is_set():
                        return
                    with lock:
                        self.results[index] = result
                        self.tell_progress(result)
            finally:
                finished.set()

        # NOTE: daemon threads, waited for by an event each: Thread.join cut short by an exception
        # may take a running thread for ended.
        self.finished = [threading.Event() for _ in self.slots]
        for number, (slot, event) in enumerate(zip(self.slots, self.finished)):
            first = reference if number == 0 and not judged.is_set() else lambda: None
            threading.Thread(target=worker, args=(slot, event, first), daemon=True).start()
        all_set(self.finished)
        return refused[0] if refused else None

    def grade_one(self, slot, index, judged):
        """The submission at INDEX graded in SLOT and judged against the reference once JUDGED is
        set (None when the reference could not be had)."""
        submission, tag = self.submissions[index], "%02d" % (index + 1)
        try:
            result = self.grader.grade(slot, submission, tag)
            judged.wait()
            return self.judge.judge(result, self.args.shots) if self.judge else None
        except Exception as error:  # the grader's own fault: say so, go on with the rest
            return Result.of(submission, tag, Verdict.CRASHED, "the grader failed: %s" % error)

    def tell_progress(self, result):
        """The line a graded submission gets: how far the class is, its verdict, its counts."""
        total, done = len(self.results), sum(r is not None for r in self.results)
        counts = ", ".join(str(result.pixels(s)) if result.pixels(s) is not None else "-" for s in self.args.shots)
        print("[%*d/%d] %s: %s (differing pixels %s)%s" % (
            len(str(total)), done, total, printable(result.student), result.verdict.value, counts,
            ": " + printable(result.detail) if result.detail and not result.verdict.compared else ""),
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
        found, notes, note = self.compare_code(texts)
        for index, words in notes.items():
            self.results[index].copy_note = words
        for number, (a, b, ab, ba) in enumerate(found, 1):
            first, second = self.results[a], self.results[b]
            first.similar.append((second, ab, number))
            second.similar.append((first, ba, number))
            self.pairs.append(Pair(first, second, ab, ba, shown(texts[a]), shown(texts[b])))
        self.similarity_note = note

    def compare_code(self, texts):
        """near_identical() of TEXTS in the first slot's sandbox; its failure is told, never raised."""
        slot = self.slots[0]
        try:
            # The shaders handed out beside it are the starter's too.
            starter = b"\n".join(read_regular(path, intake.SOURCE_LIMIT)[0] for _, path in
                                 [("", os.path.realpath(self.args.starter))] + shaders_beside(self.args.starter)) \
                if self.args.starter else None
            slot.next_user()
            scratch = slot.disk.make()
            # sim_c++ writes its outputs here alone; what it reads stays root's.
            os.mkdir(os.path.join(scratch, "out"), 0o755)
            os.chown(os.path.join(scratch, "out"), slot.uid, slot.uid)
            run = lambda argv, timeout: self.boxes.run(slot, scratch, argv, timeout=timeout)
            return near_identical(texts, starter, scratch, run)
        except Exception as error:  # the check is an aid: no failure of it costs the report
            return [], {}, "the similarity check could not run: %s" % error
        finally:
            slot.disk.clear()

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


def shaders_beside(scene):
    """The shader files beside the teacher's SCENE file: [(name, path)], at most as many as a
    student's files."""
    folder = os.path.dirname(os.path.realpath(scene))
    names = sorted(name for name in os.listdir(folder) if name.lower().endswith(intake.SHADERS))
    return [(name, os.path.join(folder, name)) for name in names[:intake.STUDENT_FILES]]


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
    if run.judge is None:
        print("grade: interrupted before the reference was pictured; no report", file=sys.stderr)
        return run.code
    run.write_outputs()
    run.tell_summary()
    return run.code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
