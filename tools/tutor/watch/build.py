"""Each save's scene built with the build's kit (tutor.kit), in a folder of the loop's own,
BUILD/watch/, with the compiler's own lines shown to the student."""
import os
import re
import sys
import time

from tutor import tree
from tutor.kit import Kit
from tutor.outside import run_limited

STEP_TIMEOUT = 300  # seconds for one build
# Compiler lines that say nothing to a student: ninja's progress, the command lines.
NOISE = re.compile(r"^\[\d+/\d+\]|^FAILED: |^ninja: |^In file included from |-o \S+\.obj -c |"
                   r"^compilation terminated| -o \S+\.(exe|dll) ")


class SceneBuild:
    """Builds a scene with the kit; the kit itself is built first, and read anew, after a change
    to the program (outdated)."""

    def __init__(self, build):
        self.build = build
        self.work = os.path.join(build, "watch")
        self.kit = None
        os.makedirs(self.work, exist_ok=True)

    def outdated(self):
        self.kit = None

    def update(self):
        """Builds the kit, with the program's libraries and the host it is made of; True when
        it is ready."""
        with tree.build_lock(self.build):  # as tools/build: another tool may build this folder
            if self.step(["cmake", "--build", self.build, "--target", "kit"]) is None:
                return False
        try:
            self.kit = Kit(self.build)
        except OSError as error:
            print(error, file=sys.stderr, flush=True)
            return False
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

    def make(self, scene, linked):
        """Compiles SCENE by its own path and links it by LINKED (kit, objects: the link's
        command); returns the compile and link times, or None."""
        if not self.kit and not self.update():
            return None
        scene_object = os.path.join(self.work, "scene.obj")
        compiled = self.step(self.kit.compile(scene, scene_object))
        linking = compiled is not None and self.step(linked(self.kit, [scene_object]))
        return (compiled, linking) if compiled is not None and linking is not None else None
