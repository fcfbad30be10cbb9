"""The Watcher: the scene's folder and the program's watched with inotifywait; each save of the
scene built and shown, a change to the program built into it."""
import os
import subprocess

from tutor.watch.build import SceneBuild
from tutor.watch.program import Lines, say
from tutor.watch.shows import Reload, Restart

PROGRAM_FILES = (".cpp", ".h", ".rc", ".form", ".def")  # in src/ and framework/: the host's own
SHADER_FILES = (".vert", ".frag", ".glsl")  # beside the scene: read when it runs, never compiled here


class Watcher:
    def __init__(self, root, build, scene, restart, given=None):
        self.root, self.scene = root, scene
        self.name = os.path.basename(scene)
        self.builder = SceneBuild(build)
        # What the recorder finds is told at the scene's path as the student gave it.
        self.shows = (Restart if restart else Reload)(build, self.name, {scene: given or scene})
        self.events = None
        self.built = False  # whether the scene's last build worked: a shader's save needs no other

    def build_scene(self):
        """Builds the scene as it is now (the kit first, when the program has changed); returns
        the compile and link times, or None."""
        # Also where an editor's problem list starts afresh (.vscode/tasks.json).
        say("compiling %s" % self.name)
        times = self.builder.make(self.scene, self.shows.linked)
        self.built = bool(times)
        if not times:
            say("%s does not compile; %s" % (self.name, "the last good scene stays" if self.shows.program
                                             else "fix it and save"))
            return None
        return times

    def watch(self):
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
            paths = self.one_save(events, path)
            program_changed = sorted(p for p in paths if p != self.scene and p.endswith(PROGRAM_FILES))
            if program_changed:
                self.builder.outdated()
            if program_changed and isinstance(self.shows, Reload) and self.shows.program:
                say("%s changed: the program starts again" % os.path.relpath(program_changed[0], self.root))
                if self.build_scene():
                    self.shows.program_changed()
            elif self.scene in paths or (not self.built and self.shaders(paths)):
                times = self.build_scene()
                if times:
                    self.shows.show(times)
            elif self.shaders(paths):
                # The scene as built reads its shaders anew when it starts: shown again, not rebuilt.
                say("reloading %s (%s saved)" % (self.name, ", ".join(self.shaders(paths))))
                self.shows.show(None)

    def shaders(self, paths):
        """The names of the shader files beside the scene among PATHS."""
        folder = os.path.dirname(self.scene)
        return sorted(os.path.basename(p) for p in paths
                      if os.path.dirname(p) == folder and p.lower().endswith(SHADER_FILES))

    @staticmethod
    def one_save(events, path):
        """The files written in one save, from its first event PATH: several writes in a row are
        one save."""
        paths = {os.path.realpath(path)}
        while True:
            more = events.next(0.1)
            if more is None:
                return paths
            paths.add(os.path.realpath(more))

    def close(self):
        self.shows.stop()
        if self.events:
            self.events.kill()
            self.events.wait()
