"""The watch loop of tools/run --watch: shows an exercise's scene anew at every save of its file.

By default one program stays up for the whole session, drivers/WatchHost.exe (harness/WatchHost.cpp):
each save builds only the scene, into a module the program loads between two frames, so the
window, its place, the OpenGL context and the scene clock carry on. A save that does not compile,
crashes or throws leaves the last scene that worked on the screen. A change to the program itself
(src/, framework/) starts it again, in the old window's place. With --restart, every save starts a
new program instead (drivers/Watch.exe), which takes the old one's place.

Run by tools/run, inside its Wine session (WINE, WINEPREFIX and DISPLAY set). Ends with 0 when the
window is closed, 128 + the signal for Ctrl+C, SIGTERM or SIGHUP, with nothing of its own left.
"""
import signal
import sys

# Until there is something to end, Ctrl+C just ends the program, without a traceback.
signal.signal(signal.SIGINT, signal.SIG_DFL)

import argparse  # noqa: E402 (after the line above, so that an early Ctrl+C is quiet)
import collections
import os
import queue
import re
import select
import shutil
import subprocess
import threading
import time

from tutor.contract import CAPTION, WATCH_KINDS, report_line, watch_line, windows_path
from tutor.outside import run_limited
from tutor.tree import ROOT

X_TIMEOUT = 10  # seconds for one call of an X client
PROGRAM_FILES = (".cpp", ".h", ".rc", ".form", ".def")  # in src/ and framework/: the host's own
STEP_TIMEOUT = 300  # seconds for one build
FIRST_FRAME_TIMEOUT = 20  # seconds from a program's start or a module's hand-over to its frame
# Compiler lines that say nothing to a student: ninja's progress, the command lines.
NOISE = re.compile(r"^\[\d+/\d+\]|^FAILED: |^ninja: |^In file included from |-o \S+\.obj -c |"
                   r"^compilation terminated| -o \S+\.(exe|dll) ")


class Interrupted(Exception):
    def __init__(self, signum):
        super().__init__(signum)
        self.code = 128 + signum
        self.name = "Ctrl+C" if signum == signal.SIGINT else signal.Signals(signum).name


def interrupt(signum, _frame):
    # Once: the ending itself is not cut short by a second Ctrl+C.
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, signal.SIG_IGN)
    raise Interrupted(signum)


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
        try:
            return self.reports.get(timeout=max(0.0, timeout))
        except queue.Empty:
            return None

    def ended(self):
        return self.process.poll() is not None

    def trouble(self):
        """What it said last of a crash or an exception, or its exit code; once it has ended."""
        self.reader.join(timeout=2)
        line = next((l for l in reversed(list(self.said))
                     if (watch_line(l) or report_line(l) or ("",))[0] in WATCH_KINDS), None)
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


class Kit:
    """The build's kit (BUILD/kit/, cmake/TutorialKit.cmake): the compiler and its response files,
    with which the loop builds the scene in a folder of its own, BUILD/watch/."""

    def __init__(self, build):
        self.build, self.folder = build, os.path.join(build, "kit")
        self.work = os.path.join(build, "watch")
        self.compiler = None

    def update(self):
        """Builds the kit, with the program's libraries and the host it is made of; True when
        it is ready."""
        if self.step(["cmake", "--build", self.build, "--target", "kit"]) is None:
            return False
        with open(os.path.join(self.folder, "compiler")) as f:
            self.compiler = f.read().strip()
        return True

    def step(self, argv):
        """Runs one step in the loop's folder; returns its time, or None after printing the
        compiler's own lines, file and line first."""
        started = time.monotonic()
        result = run_limited(argv, STEP_TIMEOUT, cwd=self.work)
        if result.returncode == 0:
            return time.monotonic() - started
        lines = [l for l in (result.stdout + result.stderr).splitlines() if not NOISE.search(l)]
        print("\n".join(lines), file=sys.stderr, flush=True)
        return None

    def make(self, scene, response, target):
        """Compiles SCENE by its own path (messages name the student's file, its includes
        resolve beside it) and links it with the response file RESPONSE into TARGET; returns
        the compile and link times, or None."""
        scene_object = os.path.join(self.work, "scene.obj")
        compiled = self.step([self.compiler, "@" + os.path.join(self.folder, "compile.rsp"), "-c", scene,
                              "-o", scene_object])
        linked = compiled is not None and self.step([self.compiler, scene_object, "@" + os.path.join(
            self.folder, response), "-o", target])
        return (compiled, linked) if compiled is not None and linked is not None else None


class Show:
    """What the two ways of showing a save share: the program on the screen, and where its
    window was, for the next program's."""

    RESPONSE = TARGET = None  # what the scene is linked with, and into

    def __init__(self, build, name):
        self.build, self.name = build, name
        self.shot = os.path.join(build, "screenshot.png")
        self.program = None
        self.place = None

    def target(self):
        return os.path.join(self.build, *self.TARGET)

    def start(self, argv):
        """Starts a program and puts its window where the last one was."""
        old = self.program
        if old and not old.ended():
            window = old.window()
            self.place = (geometry(window) if window else None) or self.place
        self.program = Program(argv)
        window, deadline = None, time.monotonic() + FIRST_FRAME_TIMEOUT
        while not window and not self.program.ended() and time.monotonic() < deadline:
            window = self.program.window()
            if not window:
                time.sleep(0.05)
        if window and self.place:
            x, y, width, height = self.place
            run_limited(["xdotool", "windowsize", window, str(width), str(height), "windowmove", window, str(x),
                         str(y)], X_TIMEOUT)
        if old:
            old.stop()

    def ended_by_itself(self):
        """The program ended without the loop: closed by its user (watching ends, False), or
        stopped by a fault outside the guarded frame (True)."""
        self.program.process.wait()
        code = self.program.process.returncode
        trouble = self.program.trouble()
        self.program.stop()
        self.program = None
        if code == 0:
            say("the window was closed; watching ends")
            return False
        self.stopped(trouble)
        return True

    def stop(self):
        if self.program:
            self.program.stop()


class Reload(Show):
    """The default: one program stays up, drivers/WatchHost.exe (harness/WatchHost.cpp), and each
    save becomes a module it loads between two frames."""

    RESPONSE, TARGET = "module.rsp", ("watch", "scene.dll")

    def __init__(self, build, name):
        super().__init__(build, name)
        self.loaded = os.path.join(build, "watch", "loaded")
        self.next_file = os.path.join(build, "watch", "next")
        self.count = 0
        self.good = None  # the module of the last scene that worked
        os.makedirs(self.loaded, exist_ok=True)
        for old in os.listdir(self.loaded):
            os.remove(os.path.join(self.loaded, old))

    def show(self, times):
        # NOTE: the module links with the host's import library: the kit's build built the host.
        if not self.program:
            self.start_host()
        self.hand_over(times)

    def program_changed(self):
        """After a change to the program itself, with the scene built anew: the host starts again."""
        self.good = None
        self.start_host()
        self.hand_over(None)

    def stopped(self, trouble):
        say("the program stopped: %s; it starts again" % trouble)
        self.start_host()

    def start_host(self):
        """The program that loads each scene, showing the last that worked."""
        with open(self.next_file + ".part", "w") as f:
            f.write(windows_path(self.good) + "\n" if self.good else "")
        os.replace(self.next_file + ".part", self.next_file)
        self.start([os.path.join(self.build, "drivers", "WatchHost.exe"), "--next", windows_path(self.next_file),
                    "--screenshot", windows_path(self.shot)])

    def hand_over(self, times):
        """Gives the running host the scene just built, under a name never loaded before, and
        reports what it made of it."""
        self.count += 1
        module = os.path.join(self.loaded, "scene-%d.dll" % self.count)
        shutil.copyfile(self.target(), module)
        with open(self.next_file + ".part", "w") as f:
            f.write(windows_path(module) + "\n")
        os.replace(self.next_file + ".part", self.next_file)
        name = os.path.basename(module)
        deadline = time.monotonic() + FIRST_FRAME_TIMEOUT
        while time.monotonic() < deadline and not self.program.ended():
            m = watch_line(self.program.report(deadline - time.monotonic()) or "")  # (kind, scene, text)
            if not m or m[1] != name:
                continue
            if m[0] == "shown":
                self.good = module
                load = re.search(r"(\d+) ms \(load (\d+) ms\)", m[2])
                say("screenshot %s (compile %.2f s, link %.2f s, load %s ms, first frame %s ms)"
                    % (self.shot, times[0], times[1], load.group(2), int(load.group(1)) - int(load.group(2)))
                    if load and times else "screenshot %s" % self.shot)
            else:
                what = {"crash": "crashed", "exception": "threw", "failed": "could not be loaded"}[m[0]]
                say("%s %s: %s; %s" % (self.name, what, m[2], "the last scene that worked is back"
                                       if self.good else "nothing has worked yet: the window stays black"))
            return
        if not self.program.ended():
            # A scene that never returns holds the program: a new one takes its place.
            say("%s drew no frame in %d s; the program starts again with %s" % (
                self.name, FIRST_FRAME_TIMEOUT, "the last scene that worked" if self.good else "no scene"))
            self.start_host()


class Restart(Show):
    """--restart: a new program for each save, drivers/Watch.exe (the scene behind the tools'
    entry), which pictures its own first frame and takes the old one's place."""

    RESPONSE, TARGET = "link.rsp", ("drivers", "Watch.exe")

    def show(self, times):
        started = time.monotonic()
        if os.path.exists(self.shot + ".new"):
            os.remove(self.shot + ".new")
        self.start([self.target(), "--first-frame", windows_path(self.shot + ".new")])
        deadline = time.monotonic() + FIRST_FRAME_TIMEOUT
        while not os.path.exists(self.shot + ".new") and not self.program.ended() and time.monotonic() < deadline:
            time.sleep(0.02)
        if os.path.exists(self.shot + ".new"):
            os.replace(self.shot + ".new", self.shot)
            say("screenshot %s (compile %.2f s, link %.2f s, start and first frame %.2f s)"
                % ((self.shot,) + times + (time.monotonic() - started,)))
        elif self.program.ended():
            self.program.process.wait()
            say("the program stopped: %s; watching goes on" % (
                self.program.trouble() if self.program.process.returncode else "it ended at once"))
            self.program.stop()
            self.program = None
        else:
            say("the program has drawn no frame after %d s; watching goes on" % FIRST_FRAME_TIMEOUT)

    def program_changed(self):
        """The next save's program is linked with the change; this one stays until then."""

    def stopped(self, trouble):
        say("the program stopped: %s; watching goes on" % trouble)


class Watcher:
    def __init__(self, root, build, scene, restart):
        self.root, self.scene = root, scene
        self.name = os.path.basename(scene)
        self.kit = Kit(build)
        self.shows = (Restart if restart else Reload)(build, self.name)
        self.stale = True  # the kit is built before the next scene
        self.events = None

    def build_scene(self):
        """Builds the scene as it is now (the kit first, when the program has changed); returns
        the compile and link times, or None."""
        # Also where an editor's problem list starts afresh (.vscode/tasks.json).
        say("compiling %s" % self.name)
        if self.stale and self.kit.update():
            self.stale = False
        times = not self.stale and self.kit.make(self.scene, self.shows.RESPONSE, self.shows.target())
        if not times:
            say("%s does not compile; %s" % (self.name, "the last good scene stays" if self.shows.program
                                             else "fix it and save"))
            return None
        return times

    def watch(self):
        os.makedirs(self.kit.work, exist_ok=True)
        folders = sorted({os.path.dirname(self.scene), os.path.join(self.root, "src"),
                          os.path.join(self.root, "framework")})
        # NOTE: folders, not the file: an editor that saves by renaming a new file over the old
        # one replaces the file being watched.
        self.events = subprocess.Popen(["inotifywait", "-m", "-q", "-e", "close_write", "-e", "moved_to",
                                        "--format", "%w%f"] + folders, stdout=subprocess.PIPE,
                                       stdin=subprocess.DEVNULL, start_new_session=True)
        events = Lines(self.events.stdout)
        say("%s (Ctrl+C or closing the window ends watching)" % self.scene)
        times = self.build_scene()
        if times:
            self.shows.show(times)
        while True:
            path = events.next(0.3)
            if events.ended:
                say("inotifywait ended; watching ends")
                return 1
            if path is None:
                if self.shows.program and self.shows.program.ended():
                    if not self.shows.ended_by_itself():
                        return 0
                continue
            # Several writes in a row are one save.
            paths = {os.path.realpath(path)}
            while True:
                more = events.next(0.1)
                if more is None:
                    break
                paths.add(os.path.realpath(more))
            program_changed = sorted(p for p in paths if p != self.scene and p.endswith(PROGRAM_FILES))
            if program_changed:
                self.stale = True
            if program_changed and isinstance(self.shows, Reload) and self.shows.program:
                say("%s changed: the program starts again" % os.path.relpath(program_changed[0], self.root))
                if self.build_scene():
                    self.shows.program_changed()
            elif self.scene in paths:
                times = self.build_scene()
                if times:
                    self.shows.show(times)

    def close(self):
        self.shows.stop()
        if self.events:
            self.events.kill()
            self.events.wait()


def main(argv):
    parser = argparse.ArgumentParser(prog="tools/run --watch", description=__doc__.split("\n\n")[0])
    parser.add_argument("scene")
    parser.add_argument("--build", required=True)
    parser.add_argument("--restart", action="store_true", help="a new program at every save")
    args = parser.parse_args(argv)
    root = ROOT
    watcher = Watcher(root, os.path.realpath(args.build), os.path.realpath(args.scene), args.restart)
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, interrupt)
    try:
        return watcher.watch()
    except Interrupted as stop:
        if stop.name == "Ctrl+C":
            print(file=sys.stderr)  # past the ^C the terminal echoed
        say("ended by %s" % stop.name)
        return stop.code
    finally:
        watcher.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
