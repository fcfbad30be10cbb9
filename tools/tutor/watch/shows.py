"""The two ways the watch loop shows a save: Reload, the default, hands each scene to one program
that stays up; Restart (--restart) starts a new program for each."""
import os
import re
import shutil
import time

from tutor import findings, messages
from tutor.contract import watch_line, windows_path
from tutor.watch.program import Program, geometry, place, say

FIRST_FRAME_TIMEOUT = 20  # seconds from a program's start or a module's hand-over to its frame


class Show:
    """What the two ways of showing a save share: the program on the screen, and where its
    window was, for the next program's."""

    TARGET = None  # what the scene is linked into, in the build folder

    def __init__(self, build, name, names=None):
        self.build, self.name = build, name
        self.names = names or {}  # the scene's path as compiled: as the student gave it
        self.shot = os.path.join(build, "screenshot.png")
        self.program = None
        self.leaving = None  # the program a new one is taking the place of
        self.place = None

    def target(self):
        return os.path.join(self.build, *self.TARGET)

    def linked(self, kit, objects):
        """The command that links the scene's objects into target()."""
        raise NotImplementedError

    def start(self, argv):
        """Starts a program and puts its window where the last one was."""
        old = self.leaving = self.program
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
            place(window, self.place)
        if old:
            old.stop()
        self.leaving = None

    def ended_by_itself(self):
        """The program ended without the loop: closed by its user (watching ends, False), or
        stopped by a fault outside the guarded frame (True)."""
        self.program.process.wait()
        code = self.program.process.returncode
        trouble = self.program.trouble(self.names)
        self.program.stop()
        self.program = None
        if code == 0:
            say("the window was closed; watching ends")
            return False
        self.stopped(trouble)
        return True

    def stop(self):
        # NOTE: the program being replaced too: watching may end while the new one starts.
        for program in (self.leaving, self.program):
            if program:
                program.stop()


class Reload(Show):
    """The default: one program stays up, drivers/WatchHost.exe (harness/WatchHost.cpp), and each
    save becomes a module it loads between two frames."""

    TARGET = ("watch", "scene.dll")

    def __init__(self, build, name, names=None):
        super().__init__(build, name, names)
        self.loaded = os.path.join(build, "watch", "loaded")
        self.next_file = os.path.join(build, "watch", "next")
        self.count = 0
        self.good = None  # the module of the last scene that worked
        self.unanswered = None  # (times,) of a save handed to a program that stopped before its word
        os.makedirs(self.loaded, exist_ok=True)
        for old in os.listdir(self.loaded):
            os.remove(os.path.join(self.loaded, old))

    def linked(self, kit, objects):
        # NOTE: the module links with the host's import library: the kit's build built the host.
        return kit.module(objects, self.target())

    def show(self, times):
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
        # A save the stopped program never told of goes to the new one, once: Wine may fail to
        # start a program on a loaded machine, and the save would otherwise never show.
        if self.unanswered:
            (times,), self.unanswered = self.unanswered, None
            self.hand_over(times, again=True)

    def tell_next(self, module):
        """Names the module the host is to load next (none: no scene), in one step."""
        with open(self.next_file + ".part", "w") as f:
            f.write(windows_path(module) + "\n" if module else "")
        os.replace(self.next_file + ".part", self.next_file)

    def start_host(self):
        """The program that loads each scene, showing the last that worked."""
        self.tell_next(self.good)
        self.start([os.path.join(self.build, "drivers", "WatchHost.exe"), "--next", windows_path(self.next_file),
                    "--screenshot", windows_path(self.shot)])

    def hand_over(self, times, again=False):
        """Gives the running host the scene just built, under a name never loaded before, and
        reports what it made of it."""
        self.unanswered = None
        self.count += 1
        module = os.path.join(self.loaded, "scene-%d.dll" % self.count)
        shutil.copyfile(self.target(), module)
        self.tell_next(module)
        name = os.path.basename(module)
        deadline = time.monotonic() + FIRST_FRAME_TIMEOUT
        while time.monotonic() < deadline and not self.program.ended():
            m = watch_line(self.program.report(deadline - time.monotonic()) or "")  # (kind, scene, text)
            if not m or m[1] != name:
                continue
            if m[0] == "shown":
                self.good = module
                # Before the screenshot line, which ends the save for an editor's problem matcher.
                told = findings.lines(findings.read(module[:-len(".dll")] + ".txt"), names=self.names)
                if told:
                    print("\n".join(told), flush=True)
                load = re.search(r"(\d+) ms \(load (\d+) ms\)", m[2])
                say("screenshot %s (compile %.2f s, link %.2f s, load %s ms, first frame %s ms)"
                    % (self.shot, times[0], times[1], load.group(2), int(load.group(1)) - int(load.group(2)))
                    if load and times else "screenshot %s" % self.shot)
            else:
                what = {"crash": "crashed", "exception": "threw", "failed": "could not be loaded"}[m[0]]
                # A text of several lines (a shader's messages) comes a line each, at once.
                text = [m[2]]
                while True:
                    more = self.program.next_report(m[0], name)
                    if more is None:
                        break
                    text.append(more)
                told, why = messages.account("\n".join(text), names=self.names) if m[0] == "exception" \
                    else ([], " ".join(text))
                if told:
                    print("\n".join(told), flush=True)
                say("%s %s: %s; %s" % (self.name, what, why, "the last scene that worked is back"
                                       if self.good else "nothing has worked yet: the window stays black"))
            return
        if self.program.ended():
            self.unanswered = None if again else (times,)
        else:
            # A scene that never returns holds the program: a new one takes its place.
            say("%s drew no frame in %d s; the program starts again with %s" % (
                self.name, FIRST_FRAME_TIMEOUT, "the last scene that worked" if self.good else "no scene"))
            self.start_host()


class Restart(Show):
    """--restart: a new program for each save, drivers/Watch.exe (the scene behind the tools'
    entry), which pictures its own first frame and takes the old one's place."""

    TARGET = ("drivers", "Watch.exe")

    def linked(self, kit, objects):
        return kit.link(objects, self.target())

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
            said = "compile %.2f s, link %.2f s, " % times if times else ""
            say("screenshot %s (%sstart and first frame %.2f s)" % (self.shot, said, time.monotonic() - started))
        elif self.program.ended():
            self.program.process.wait()
            say("the program stopped: %s; watching goes on" % (
                self.program.trouble(self.names) if self.program.process.returncode else "it ended at once"))
            self.program.stop()
            self.program = None
        else:
            say("the program has drawn no frame after %d s; watching goes on" % FIRST_FRAME_TIMEOUT)

    def program_changed(self):
        """The next save's program is linked with the change; this one stays until then."""

    def stopped(self, trouble):
        say("the program stopped: %s; watching goes on" % trouble)
