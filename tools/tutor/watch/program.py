"""One run of the exercise under Wine, as the watch loop sees it: what it says, its window, and
its end; and the loop's own lines."""
import collections
import os
import queue
import re
import select
import signal
import subprocess
import threading
import time

from tutor import messages
from tutor.contract import CAPTION, WATCH_KINDS, report_line, watch_line
from tutor.outside import run_limited

X_TIMEOUT = 10  # seconds for one call of an X client


def say(line):
    print("watch: " + line, flush=True)


class Lines:
    """A child's output, a line at a time, waited for with a time limit."""

    def __init__(self, stream):
        self.stream, self.buffer, self.ended = stream, b"", False

    def next(self, timeout):
        """The next line, or None when none came in time or the stream ended."""
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buffer and not self.ended:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.stream], [], [], left)[0]:
                return None
            chunk = os.read(self.stream.fileno(), 4096)
            self.buffer += chunk
            self.ended = not chunk
        if b"\n" not in self.buffer:
            return None
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode("utf-8", "replace").rstrip("\r")


class Program:
    """One run of the exercise under Wine, in a session of its own: a Ctrl+C meant for the loop
    does not reach it, and the loop ends it itself."""

    def __init__(self, argv):
        self.process = subprocess.Popen([os.environ.get("WINE", "wine")] + argv, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True)
        self.said = collections.deque(maxlen=50)  # its last lines, for the report of its end
        self.reports = queue.Queue()  # what it says of the scenes, for hand_over
        self.early = None  # a line taken from reports ahead of its turn
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        # NOTE: read all the time: a scene that writes a line every frame would otherwise fill
        # the pipe, and the program would stop in its next write.
        for raw in self.process.stderr:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            self.said.append(line)
            if watch_line(line):
                self.reports.put(line)

    def report(self, timeout):
        """Its next line about a scene, or None when none came in time."""
        if self.early:
            line, self.early = self.early, None
            return line
        try:
            return self.reports.get(timeout=max(0.0, timeout))
        except queue.Empty:
            return None

    def next_report(self, kind, scene, timeout=0.2):
        """The text of its next line if that goes on a report of KIND about SCENE (a text of
        several lines, written at once), or None; a line of anything else is kept for report."""
        try:
            line = self.reports.get(timeout=timeout)
        except queue.Empty:
            return None
        m = watch_line(line)
        if m[:2] == (kind, scene):
            return m[2]
        self.early = line
        return None

    def ended(self):
        return self.process.poll() is not None

    def trouble(self, names=None):
        """What it said last of a crash or an exception, or its exit code; once it has ended. The
        messages of a driver's exception in compiler form are printed first, NAMES telling their
        paths as the student knows them (tutor.messages)."""
        self.reader.join(timeout=2)
        said = list(self.said)
        at = next((i for i in reversed(range(len(said)))
                   if (watch_line(said[i]) or report_line(said[i]) or ("",))[0] in WATCH_KINDS), None)
        line = None if at is None else said[at]
        if line and (report_line(line) or ("",))[0] == "exception":
            # The driver's report, with the lines of its kind before it: a text of several lines.
            kind, text = report_line("\n".join(said[:at + 1]))
            told, why = messages.account(text, names=names)
            if told:
                print("\n".join(told), flush=True)
            return "%s: %s" % (kind, why)
        return line or "exit code %s" % self.process.returncode

    def window(self):
        """Its visible window, known by its process, not by the caption others share. NOTE:
        --all, or xdotool takes a window that meets either condition."""
        found = run_limited(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.process.pid),
                             "--name", "^%s$" % CAPTION], X_TIMEOUT).stdout.split()
        return found[-1] if found else None

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass


def geometry(window):
    """x, y, width, height of a window on the screen, or None."""
    info = run_limited(["xwininfo", "-id", window], X_TIMEOUT).stdout
    fields = [re.search(name + r":\s+(-?\d+)", info) for name in
              ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]
    return tuple(int(f.group(1)) for f in fields) if all(fields) else None


def place(window, where):
    """Puts a window at WHERE, as geometry gives it."""
    x, y, width, height = where
    run_limited(["xdotool", "windowsize", window, str(width), str(height), "windowmove", window, str(x), str(y)],
                X_TIMEOUT)
