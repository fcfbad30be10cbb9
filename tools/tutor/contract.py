"""What the tools' entries into an exercise promise the tools, as harness/Contract.h says it for
the program: the driver's options, exit codes and output lines, the watch host's lines, the sizes
and scene times every tool takes (one limit, the same error texts), how a picture is named, and
the program's caption, and the findings the recorder of a scene's GL calls writes beside each
picture (tutor/findings.py reads them). tests/tools/test_contract.py holds the two sides together.

Also a small command for the bash tools, so that they ask here instead of keeping rules of their
own:
    contract.py caption | screen | text
    contract.py sizes OPTION LIST      the sizes, a line each; or the error, exit code 2
    contract.py times OPTION LIST      the canonical times, a line each; or the error, exit code 2
    contract.py picture-name WxH TIME  640x480@0.5.png
    contract.py windows-path PATH      Z:\\the\\path
    contract.py report-line < OUTPUT   the driver's last report, "kind: text" a line; exit code 1
                                       when it wrote none
"""
import os
import re
import sys
from typing import NamedTuple

CAPTION = "Zorv OpenGL Tutorial Exercise"
OPTIONS = ["--frames DIR", "--sizes WxH,...", "--times S,...", "--hold", "--first-frame FILE", "--contract"]
EXIT = {"usage": 2, "exception": 10, "crash": 11, "failed": 12, "closed": 13}
# A driver's exit code, for the grader: what it means for a submission.
VERDICTS = {"exception": "error box", "crash": "crashed", "failed": "crashed", "closed": "left early"}
REPORT_KINDS = ("usage", "exception", "crash", "failed", "closed")
WATCH_KINDS = ("crash", "exception", "failed")  # "KIND NAME: TEXT"; and "shown NAME in MS ms (...)"

MAX_WIDTH, MAX_HEIGHT = 1920, 1200
TIME_DIGITS = 6
# What the recorder finds in a frame, one a line "FILE:LINE: KIND: TEXT" (Contract::FindingLine),
# in a file of at most MAX_FINDINGS lines and MAX_FINDINGS_BYTES bytes, each line at most
# MAX_FINDING_BYTES; what does not fit is counted on a last line (more_line).
FINDING_KINDS = ("gl-error", "outside-view", "clear-colour", "nothing-drawn", "culled", "zero-area", "depth-stale",
                 "no-end", "matrix-stack", "projection")
MAX_FINDINGS, MAX_FINDINGS_BYTES, MAX_FINDING_BYTES = 40, 8192, 400
MORE_LINE_START = "\u2026 and"
# How much of a program's output is read for its report line: its last lines matter.
OUTPUT_TAIL = 64 * 1024

_REPORT = re.compile(r"(%s): (.*)" % "|".join(REPORT_KINDS))
_WATCH = re.compile(r"(%s) (\S+?): (.*)|(shown) (\S+) in (.*)" % "|".join(WATCH_KINDS))
_SIZE = re.compile(r"([1-9][0-9]{0,3})x([1-9][0-9]{0,3})")
_TIME = re.compile(r"([0-9]{1,%d})(?:\.([0-9]{1,%d}))?" % (TIME_DIGITS, TIME_DIGITS))
_PICTURE = re.compile(r"([^@/]+)(?:@([^@/]+))?\.png")


class Refused(ValueError):
    """A size or time a tool cannot take; its text is the one every tool gives."""


def size_error(option, item):
    return "%s takes WxH,... with W from 1 to %d and H from 1 to %d, not '%s'" % (option, MAX_WIDTH, MAX_HEIGHT, item)


def time_error(option, item):
    return "%s takes seconds like 0,0.5,1 (at most %d digits each side of the point), not '%s'" % (
        option, TIME_DIGITS, item)


def twice_error(option, item):
    return "%s names %s twice" % (option, item)


def parse_size(option, item):
    """(width, height) of one "WxH"; Refused unless each is from 1 to its limit, no zero first."""
    m = _SIZE.fullmatch(item)
    if not m or int(m.group(1)) > MAX_WIDTH or int(m.group(2)) > MAX_HEIGHT:
        raise Refused(size_error(option, item))
    return int(m.group(1)), int(m.group(2))


def canonical_time(option, item):
    """Seconds as every tool writes them: "0.50" is "0.5", "1.0" is "1", "007" is "7"."""
    m = _TIME.fullmatch(item)
    if not m:
        raise Refused(time_error(option, item))
    fraction = (m.group(2) or "").rstrip("0")
    return str(int(m.group(1))) + ("." + fraction if fraction else "")


def parse_sizes(option, text):
    """The sizes of a comma-separated list, each "WxH" as written back, each once."""
    sizes = []
    for item in text.split(","):
        size = "%dx%d" % parse_size(option, item)
        if size in sizes:
            raise Refused(twice_error(option, item))
        sizes.append(size)
    return sizes


def parse_times(option, text):
    """The canonical times of a comma-separated list, each once."""
    times = []
    for item in text.split(","):
        time_ = canonical_time(option, item)
        if time_ in times:
            raise Refused(twice_error(option, item))
        times.append(time_)
    return times


def picture_name(size, time_):
    """The picture of SIZE ("640x480") at the canonical TIME: "640x480@0.5.png"."""
    return "%s@%s.png" % (size, time_)


def findings_name(size, time_):
    """The findings of the picture of SIZE at the canonical TIME, beside it: "640x480@0.5.txt"."""
    return "%s@%s.txt" % (size, time_)


def finding_line(file, line, kind, text):
    return "%s:%d: %s: %s" % (file, line, kind, text)


def more_line(count):
    return "%s %d more" % (MORE_LINE_START, count)


def findings_text(lines):
    """A findings file's text as the driver writes it (Contract::FindingsText): the lines within
    the bounds, then the count of the rest."""
    out = ""
    for i, line in enumerate(lines):
        line = line.encode()[:MAX_FINDING_BYTES].decode("utf-8", "ignore")
        if i == MAX_FINDINGS or len(out.encode()) + len(line.encode()) + 1 > MAX_FINDINGS_BYTES - 32:
            return out + more_line(len(lines) - i) + "\n"
        out += line + "\n"
    return out


class Shot(NamedTuple):
    """One picture a tool asks of an exercise: its client area and its canonical scene time, as
    the driver names the picture it writes."""
    width: int
    height: int
    time: str

    @classmethod
    def of(cls, size, time_):
        """The shot of SIZE ("640x480", as parse_sizes gives it) at the canonical TIME_."""
        width, height = size.split("x")
        return cls(int(width), int(height), time_)

    @property
    def size(self):
        return "%dx%d" % (self.width, self.height)

    @property
    def stem(self):
        """Its picture's name without ".png": "640x480@0.5"."""
        return "%s@%s" % (self.size, self.time)

    @property
    def name(self):
        return picture_name(self.size, self.time)


def parse_picture_name(name):
    """(size, canonical time) of a picture's file name, "WxH@T.png", or "WxH.png" for time 0;
    None for any other name."""
    m = _PICTURE.fullmatch(name)
    if not m:
        return None
    try:
        return "%dx%d" % parse_size("", m.group(1)), canonical_time("", m.group(2) or "0")
    except Refused:
        return None


def text_lines(text):
    """The lines of a text as a report gives each its own line (Contract::TextLines): blank
    lines and a line's "\\r" dropped; an empty text is still one line."""
    return [line.rstrip("\r") for line in text.split("\n") if line.rstrip("\r")] or [""]


def report_lines(kind, text):
    """"KIND: TEXT" for each line of TEXT (Contract::ReportLine)."""
    return ["%s: %s" % (kind, line) for line in text_lines(text)]


def watch_lines(kind, scene, text):
    """"KIND SCENE: TEXT" for each line of TEXT (Contract::WatchLine)."""
    return ["%s %s: %s" % (kind, scene, line) for line in text_lines(text)]


def report_line(output):
    """(kind, text) of the driver's last report in OUTPUT (its standard error, str), or None: an
    exception's text of several lines (a shader's messages: the last report line and the
    exception lines right before it) is their texts a line each. Each other kind's text is one
    line, the last."""
    texts, kind = [], None
    for line in reversed(output[-OUTPUT_TAIL:].splitlines()):
        m = _REPORT.fullmatch(line.rstrip("\r"))
        if kind is None and m:
            kind = m.group(1)
        elif kind is not None and (kind != "exception" or not m or m.group(1) != kind):
            break
        if m:
            texts.append(m.group(2))
    return (kind, "\n".join(reversed(texts))) if kind else None


def watch_line(line):
    """(kind, scene, text) of a line of the watch host about a scene, or None: ("shown",
    "scene-3.dll", "120 ms (load 5 ms)"), ("crash", "scene-4.dll", "access violation ...")."""
    m = _WATCH.fullmatch(line.rstrip("\r"))
    if not m:
        return None
    return m.groups()[:3] if m.group(1) else m.groups()[3:]


def tail(stream):
    """The last OUTPUT_TAIL bytes of a binary stream, however long it is."""
    kept = b""
    for chunk in iter(lambda: stream.read(OUTPUT_TAIL), b""):
        kept = (kept + chunk)[-OUTPUT_TAIL:]
    return kept


def verdict(code):
    """The grader's verdict for a driver's exit code, or None for a code the driver never gives."""
    kind = next((k for k, c in EXIT.items() if c == code), None)
    return VERDICTS.get(kind)


def windows_path(path):
    """A host path as a Windows program sees it: Wine's drive Z: is the root folder."""
    return "Z:" + os.path.realpath(path).replace("/", "\\")


SIZE_SAMPLES = ["640x480", "1920x1200", "1x1", "1921x1200", "1920x1201", "0x480", "0640x480", "640X480", "640x",
                "x480", "", "640x480x2", " 640x480", "99999x99999", "640x480,640x480", "800x600,640x480"]
TIME_SAMPLES = ["0", "0.50", "1.0", "007", "000.000", "10", "0.05", "123456.123456", "1234567", "0.1234567", ".5",
                "5.", "-1", "1e3", "", " 1", "0.5,0.50", "0.25,1,0"]

LINES_SAMPLES = ["a\nb", "\n\nx: 1\r\n\r\ny\n", "", "\r\n", "one"]


def text():
    """The contract as the driver's --contract prints it (Contract::Text), from this side's code."""
    lines = ["caption " + CAPTION] + ["option " + o for o in OPTIONS]
    lines += ["exit %s %d" % item for item in EXIT.items()]
    lines += ["report %s: TEXT" % kind for kind in REPORT_KINDS]
    lines += ["watch %s NAME: TEXT" % kind for kind in WATCH_KINDS] + ["watch shown NAME in 12 ms (load 3 ms)"]
    for sample in LINES_SAMPLES:
        shown = sample.replace("\n", "\\n").replace("\r", "\\r")
        lines.append("lines '%s' = %s" % (shown, "|".join(report_lines("exception", sample) +
                                                          watch_lines("exception", "NAME", sample))))
    lines += ["size-limit %dx%d" % (MAX_WIDTH, MAX_HEIGHT), "time-digits %d" % TIME_DIGITS]
    for word, parse, samples in (("sizes", parse_sizes, SIZE_SAMPLES), ("times", parse_times, TIME_SAMPLES)):
        for sample in samples:
            try:
                lines.append("%s '%s' = %s" % (word, sample, ",".join(parse("--" + word, sample))))
            except Refused as error:
                lines.append("%s '%s' ! %s" % (word, sample, error))
    for size, time_ in (("640x480", "0.50"), ("1920x1200", "007")):
        lines.append("picture %s %s = %s" % (size, time_, picture_name(
            "%dx%d" % parse_size("--sizes", size), canonical_time("--times", time_))))
    lines.append("findings 640x480 0.50 = " + findings_name("640x480", canonical_time("--times", "0.50")))
    lines += ["finding-kind " + kind for kind in FINDING_KINDS]
    lines.append("finding " + finding_line("exercises/Mine.cpp", 12, "gl-error", "TEXT"))
    lines.append("findings-limit %d %d %d" % (MAX_FINDINGS, MAX_FINDINGS_BYTES, MAX_FINDING_BYTES))
    for count, width in ((2, 600), (45, 0), (41, 9)):
        written = findings_text([finding_line("a.cpp", i, "culled", "x" * (i * width)) for i in range(count)])
        lines.append("findings-text %d %d = %d %s" % (count, width, len(written.encode()),
                                                      written[written.rfind("\n", 0, len(written) - 1) + 1:-1]))
    return "".join(line + "\n" for line in lines)


def main(argv):
    command, args = (argv[0], argv[1:]) if argv else ("", [])
    try:
        if command == "caption" and not args:
            print(CAPTION)
        elif command == "screen" and not args:
            print("%dx%d" % (MAX_WIDTH, MAX_HEIGHT))
        elif command == "text" and not args:
            print(text(), end="")
        elif command in ("sizes", "times") and len(args) == 2:
            print("\n".join((parse_sizes if command == "sizes" else parse_times)(*args)))
        elif command == "picture-name" and len(args) == 2:
            print(picture_name("%dx%d" % parse_size("--sizes", args[0]), canonical_time("--times", args[1])))
        elif command == "windows-path" and len(args) == 1:
            print(windows_path(args[0]))
        elif command == "report-line" and not args:
            found = report_line(tail(sys.stdin.buffer).decode("utf-8", "replace"))
            if not found:
                return 1
            print("\n".join(report_lines(*found)))
        else:
            print("usage: contract.py caption | screen | text | sizes OPTION LIST | times OPTION LIST | "
                  "picture-name WxH TIME | windows-path PATH | report-line", file=sys.stderr)
            return 2
    except Refused as error:
        print(error, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
