"""tools/run: builds and starts the program under Wine: build/Tutorial.exe, or on a machine whose
kernel runs no 32-bit code, the 64-bit build-x64/Tutorial.exe. On a machine with no display it
runs the program on a private X display for a few seconds, saves its first frame to
screenshot.png in the build folder, closes it with Esc and reports the exit code.
    tools/run [EXE]
    tools/run --watch [--restart] [SCENE.cpp]
        show the exercise's scene (default src/Scene.cpp) anew at every save, in the same window,
        until the window closes or Ctrl+C (tutor/watch.py); --restart starts a new program each
        save instead
"""
import os
import subprocess
import time

from tutor import tree
from tutor.commands import Exit, build, use_route
from tutor.contract import CAPTION
from tutor.outside import call
from tutor.session import Driver, Session, loader, wait_file, wait_window, windows_path
from tutor.signals import catch

FIRST_FRAME_TIMEOUT = 120  # seconds for the program to draw its first frame


def main(argv):
    if argv[:1] == ["--watch"]:
        return watch(argv[1:])
    use_route()
    folder = tree.build_dir()
    exe = argv[0] if argv else os.path.join(folder, "Tutorial.exe")
    name = os.path.basename(exe)
    name = name[:-4] if name.endswith(".exe") and name != ".exe" else name
    if os.environ.get("DISPLAY"):
        # Only the program itself: a first run need not wait for the tests to build.
        code = build("--target", name)
        if code:
            return code
        if not os.path.isfile(exe):
            raise Exit("run", "no program at %s" % exe, 2)
        with Session(folder):
            code = call([loader(), exe], None)  # the user's own program, as long as they keep it open
            print("%s exited with code %d" % (name, code))
            return code

    # No display: the program's tools build runs on a private one, pictures its first frame
    # itself, and is closed with Esc once it has.
    code = build("--target", name + "_driver")
    if code:
        return code
    driver = tree.driver(exe)
    if not os.path.isfile(driver):
        raise Exit("run", "no program at %s" % exe, 2)
    with Session(folder):
        shot = os.path.join(folder, "screenshot.png")
        if os.path.lexists(shot):
            os.remove(shot)
        program = Driver(FIRST_FRAME_TIMEOUT, [driver, "--first-frame", windows_path(shot)])
        if not wait_file(folder, "screenshot.png", program.running, FIRST_FRAME_TIMEOUT):
            tell(program.finish())
            raise Exit("run", "no frame was drawn", 1)
        window = wait_window(CAPTION)
        if window is None:
            raise Exit("run", "the window did not appear", 1)
        time.sleep(2)  # a few seconds of frames, as a user would see them
        call(["xdotool", "windowactivate", "--sync", window, "key", "Escape"], 10, stderr=subprocess.DEVNULL)
        code = tell(program.finish())
        print("Its first frame: %s" % shot)
        print("%s exited with code %d" % (name, code))
        return code


def tell(ended):
    """The driver's exit code, having printed why it failed."""
    code, why = ended
    if why:
        print(why, flush=True)
    return code


def watch(argv):
    restart = argv[:1] == ["--restart"]
    argv = argv[1:] if restart else argv
    scene = argv[0] if argv else os.path.join(tree.ROOT, "src", "Scene.cpp")
    if not os.path.isfile(scene):
        raise Exit("run", "no scene file at %s" % scene, 2)
    if len(argv) > 1:
        raise Exit("run", "--watch takes one scene file", 2)
    use_route()
    folder = tree.build_dir()
    code = build("--target", "Tutorial")  # configures, and builds what every exercise shares
    if code:
        return code
    from tutor import watch as loop
    catch()  # again: the loop's module puts Ctrl+C back to its default until it runs
    with Session(folder):  # a private display when there is none
        return loop.main(["--build", folder] + (["--restart"] if restart else []) + [scene])
