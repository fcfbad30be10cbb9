"""One submission's way through the grader: its scene compiled and linked, in its slot's sandbox,
with the build's kit (each .cpp file on its own, then all linked into one program with the tools'
entry), then run once to picture itself at each size and scene time; every failure on the
way becomes its verdict.
"""
import os
import re
import shutil

from tutor import findings
from tutor.messages import told as told_messages
from tutor.contract import report_line, verdict as driver_verdict
from tutor.grade import png
from tutor.grade.intake import SOURCE_LIMIT
from tutor.grade.result import Result, Verdict
from tutor.grade.sandbox.boxes import OUTPUT_CAP, Flooded, Stopped
from tutor.grade.sandbox.display import make_authority
from tutor.grade.sandbox.limits import MEMORY_LIMIT, PROCESS_LIMIT
from tutor.hostile import NotRegular, open_folder, printable, read_regular, size_in_words, student_name
from tutor.pictures import driver_orders

PROGRAM = "Submission"
MESSAGES_LIMIT = 20000  # characters of compiler output kept
SOURCE_FILES = 16  # .cpp files of one submission built together, each compiled in one step
NO_WINDOW = "CreateWindowExW failed"  # the program's window not made: before its scene ever ran


class Failure(Exception):
    """A submission's run ended in a verdict other than a picture at every size."""

    def __init__(self, verdict, detail, messages=""):
        super().__init__(detail)
        self.verdict, self.detail, self.messages = verdict, detail, messages


class Grader:
    """Grades one submission at a time in a slot; the pictures go to OUT/pictures."""

    def __init__(self, args, kit, boxes):
        self.args, self.kit, self.boxes = args, kit, boxes
        self.build = args.build
        self.prefix = os.environ["WINEPREFIX"]
        self.out = os.path.abspath(args.out)
        shutil.rmtree(os.path.join(self.out, "pictures"), ignore_errors=True)
        os.makedirs(os.path.join(self.out, "pictures"), exist_ok=True)

    def prepare_scratch(self, slot, texts):
        """A fresh folder for one submission on its slot's disk: its files (TEXTS, {name inside the
        submission: bytes}) in src/, a folder for their objects, its X key and a Wine prefix of its
        own over the prepared one, whose files stay read-only to it."""
        slot.next_user()
        scratch = slot.disk.make()
        for folder in ("home", "src", "obj"):
            os.makedirs(os.path.join(scratch, folder))
        make_authority(os.path.join(scratch, "home", ".Xauthority"), slot.uid)
        src = os.path.join(scratch, "src")
        for name, text in texts.items():
            path = os.path.normpath(os.path.join(src, name))
            if not path.startswith(src + "/"):  # intake lets no such name through
                raise ValueError("a file named %s would land outside its folder" % printable(student_name(name)))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "xb") as f:
                f.write(text)
            os.chown(path, slot.uid, slot.uid)
        prefix = os.path.join(scratch, "prefix")
        # NOTE: this file names the prepared prefix's server folder in /tmp; Wine makes its own.
        if os.path.exists(os.path.join(prefix, "wineserver")):
            os.remove(os.path.join(prefix, "wineserver"))
        # Folders only: Wine runs in a prefix its user owns, and makes files of its own there.
        for top, _, _ in os.walk(scratch):
            os.chown(top, slot.uid, slot.uid)
        return scratch

    def grade(self, slot, submission, tag):
        """Builds and runs one submission's scene; its Result, the pictures not yet compared."""
        texts, stopped = read_scene(submission)
        if stopped:
            return Result.of(submission, tag, *stopped)
        scratch = self.prepare_scratch(slot, texts)
        before = slot.limits.counts()
        pictures, messages, found = {}, "", []
        try:
            messages = self.compile(slot, scratch, submission.sources())
            self.show(slot, scratch, tag, pictures, found, self.names(submission))
            verdict, detail = Verdict.PASS, ""
        except Failure as failure:
            verdict, detail, messages = failure.verdict, failure.detail, failure.messages or messages
        except Flooded as flood:
            verdict, detail, messages = Verdict.TOO_MUCH_OUTPUT, "it wrote more than %s" % size_in_words(OUTPUT_CAP), \
                plain_paths(flood.output.text())[:MESSAGES_LIMIT]
        except Stopped:
            verdict, detail = Verdict.HUNG, "the run was interrupted"
        after = slot.limits.counts()
        grew = lambda key: after.get(key, 0) > before.get(key, 0)
        # Killed at the limit, or pressed against it until the timeout stopped it.
        if grew("oom_kill") or (grew("max") and verdict in (Verdict.HUNG, Verdict.CRASHED)):
            verdict, detail = Verdict.CRASHED, "stopped at the memory limit (%d MiB)" % (MEMORY_LIMIT >> 20)
        elif after.get("pids", 0) > before.get("pids", 0) and verdict != Verdict.PASS:
            detail += " (it reached the limit of %d processes)" % PROCESS_LIMIT
        slot.disk.clear()
        result = Result.of(submission, tag, verdict, detail, messages, pictures)
        if found:
            names = self.names(submission)
            result.findings = findings.shown(found[0].findings, "/scratch/src", names)
            result.more_findings = found[0].more
        return result

    @staticmethod
    def names(submission):
        """FILE as compiled is the sandbox's path: the student knows their own file's name."""
        return {"/scratch/src/" + name: student_name(name) for name in submission.sources()}

    def compile(self, slot, scratch, sources):
        """Compiles each of SOURCES to an object of its own, then links them all with the tools'
        entry; each step has the time limit. Returns the compiler's messages."""
        steps, objects = [], []
        for number, name in enumerate(sources, 1):
            objects.append("/scratch/obj/%d.obj" % number)
            steps.append(("compile" if len(sources) == 1 else "compile of %s" % printable(student_name(name)),
                          self.kit.compile("/scratch/src/" + name, objects[-1])))
        steps.append(("link", self.kit.link(objects, "/scratch/%s.exe" % PROGRAM)))
        output = ""
        for step, argv in steps:
            code, said = self.boxes.run(slot, scratch, argv)
            output += said
            if code is None:
                raise Failure(Verdict.HUNG, "the %s took more than %g s" % (step, self.args.timeout))
            if code != 0:
                text = plain_paths(output)
                raise Failure(Verdict.DOES_NOT_COMPILE, first_error(text) or "the %s failed" % step,
                              text[:MESSAGES_LIMIT])
        return plain_paths(output)[:MESSAGES_LIMIT]

    def show(self, slot, scratch, tag, pictures, found, names):
        """Runs the program, which writes its pictures into /scratch/pictures, and takes them;
        what the recorder found in their frames goes into FOUND, even when the run failed. NAMES
        tell the sandbox's paths in an exception's messages as the student named the files."""
        folder = os.path.join(scratch, "pictures")
        argv = [self.boxes.wine, "/scratch/%s.exe" % PROGRAM] + driver_orders("pictures", self.args.sizes,
                                                                               self.args.times)
        for again in (False, True):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            os.chown(folder, slot.uid, slot.uid)
            code, said = self.boxes.run(slot, scratch, argv, display=True)
            # Wine failing to start the program on a loaded machine, not the scene: a run that ended
            # having said nothing, with a code the program never gives (seen: exit code 1), or one
            # whose window could not be made (seen: "Class does not exist"). It runs once more.
            told = report_line(said)
            unstarted = (not told and not driver_verdict(code)) or (told and told[1].startswith(NO_WINDOW))
            if again or code in (None, 0) or not unstarted:
                break
        made, refused, read = take_pictures(folder, self.args.shots)
        found.append(read)
        if code is None:
            raise Failure(Verdict.HUNG, "the run took more than %g s, %d of %d pictures taken"
                          % (self.args.timeout, len(made), len(self.args.shots)))
        text = (report_line(said) or ("", ""))[1]
        if driver_verdict(code):
            # A shader's messages (LoadProgram's), each at its line in the submission's own file.
            told, rest = told_messages(text, names=names)
            detail = printable("; ".join(rest + [str(m) for m in told]))
            raise Failure(Verdict(driver_verdict(code)), detail or "exit code %d" % code,
                          "\n".join(map(str, told))[:MESSAGES_LIMIT])
        if code != 0:
            raise Failure(Verdict.CRASHED, "exit code %d" % code)
        if refused:
            raise Failure(Verdict.BAD_PICTURE, refused)
        if len(made) != len(self.args.shots):
            raise Failure(Verdict.CRASHED, "%d of %d pictures written" % (len(made), len(self.args.shots)))
        for shot, data in made.items():
            path = os.path.join(self.out, "pictures", "%s-%s" % (tag, shot.name))
            with open(path, "wb") as f:
                f.write(data)
            pictures[shot] = path


def take_pictures(folder, shots):
    """The pictures of SHOTS in FOLDER, each read once as the sandbox left it and written anew
    ({Shot: PNG}), why the first one that is not a picture of its size was refused (a missing
    picture is neither), and the findings beside them, each once (findings.Read), each file
    read within its bound, a link not followed."""
    made, found, more = {}, [], 0
    try:
        fd = open_folder(folder)
    except NotRegular as error:
        return made, "its pictures folder is %s" % error, findings.Read([])
    try:
        for shot in shots:
            read = findings.read(shot.stem + ".txt", fd)
            found += [f for f in read.findings if f not in found]
            more += read.more
            try:
                made[shot] = png.taken(*read_regular(shot.name, png.largest(shot.width, shot.height), folder=fd), shot)
            except NotRegular as error:
                if str(error) != "missing":
                    return made, "%s is %s" % (shot.name, error), findings.Read(found, more)
            except png.Refused as error:
                return made, "%s: %s" % (shot.name, error), findings.Read(found, more)
    finally:
        os.close(fd)
    return made, "", findings.Read(found, more)


def read_scene(submission):
    """The files a build of SUBMISSION reads ({name: bytes}), or None and the verdict and detail
    that stop it before it is built."""
    if submission.refused:
        return None, (Verdict.REFUSED, submission.refused)
    sources = submission.sources()
    if not sources:
        return None, (Verdict.NO_SCENE, "no .cpp file; it holds %s" % holds(submission))
    if len(sources) > SOURCE_FILES:
        return None, (Verdict.DOES_NOT_COMPILE, "it has %d .cpp files; at most %d are built together"
                      % (len(sources), SOURCE_FILES))
    texts = {}
    one = len(submission.files) == 1
    for name, path in submission.files:
        shown = "it" if one else printable(student_name(name))
        # NOTE: root reads the file: only as it is, a link not followed, a pipe never opened.
        try:
            text, more = read_regular(path, SOURCE_LIMIT)
        except NotRegular as error:
            return None, (Verdict.NOT_A_REGULAR_FILE, "%s is %s" % (shown, error))
        if more:
            return None, (Verdict.DOES_NOT_COMPILE, "%s is over %s" % ("the file" if one else shown,
                                                                 size_in_words(SOURCE_LIMIT)))
        texts[name] = text
    return texts, None


def plain_paths(text):
    """The compiler's messages with the sandbox's folders left out: a student reads Scene.cpp:4."""
    return text.replace("/scratch/src/", "").replace("/scratch/", "")


def first_error(text):
    for line in text.splitlines():
        if re.search(r": (fatal )?error", line) or "undefined reference" in line or "multiple definition" in line:
            return line.strip()
    return None


def holds(submission):
    """What a submission holds, in words: "report.pdf, notes.txt", or "nothing"."""
    names = [printable(student_name(n)) for n in submission.others + [name for name, _ in submission.files]]
    if len(names) > 5:
        names = names[:5] + ["%d more files" % (len(names) - 5)]
    return ", ".join(names) or "nothing"
