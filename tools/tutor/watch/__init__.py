"""The watch loop of tools/run --watch: shows an exercise's scene anew at every save of its file.

By default one program stays up for the whole session, drivers/WatchHost.exe (harness/WatchHost.cpp):
each save builds only the scene, into a module the program loads between two frames, so the
window, its place, the OpenGL context and the scene clock carry on. A save that does not compile,
crashes or throws leaves the last scene that worked on the screen. A change to the program itself
(src/, framework/) starts it again, in the old window's place. With --restart, every save starts a
new program instead (drivers/Watch.exe), which takes the old one's place.

Run by tools/run, inside its Wine session (WINE, WINEPREFIX and DISPLAY set). Ends with 0 when the
window is closed, 128 + the signal for Ctrl+C, SIGTERM or SIGHUP, with nothing of its own left.

    build.py    the scene built with the kit, in BUILD/watch/
    program.py  one run of the program under Wine, and what it says
    shows.py    the two ways of showing a save: Reload (the default) and Restart
    loop.py     the Watcher: the files watched, each save built and shown
"""
import signal
import sys

# Until there is something to end, Ctrl+C just ends the program, without a traceback.
signal.signal(signal.SIGINT, signal.SIG_DFL)

import argparse  # noqa: E402 (after the line above, so that an early Ctrl+C is quiet)
import os  # noqa: E402

from tutor.signals import Interrupted, catch  # noqa: E402
from tutor.tree import ROOT  # noqa: E402
from tutor.watch.loop import Watcher  # noqa: E402
from tutor.watch.program import say  # noqa: E402


def main(argv):
    parser = argparse.ArgumentParser(prog="tools/run --watch", description=__doc__.split("\n\n")[0])
    parser.add_argument("scene")
    parser.add_argument("--build", required=True)
    parser.add_argument("--restart", action="store_true", help="a new program at every save")
    args = parser.parse_args(argv)
    root = ROOT
    watcher = Watcher(root, os.path.realpath(args.build), os.path.realpath(args.scene), args.restart, args.scene)
    try:
        catch()
        return watcher.watch()
    except Interrupted as stop:
        if stop.name == "Ctrl+C":
            print(file=sys.stderr)  # past the ^C the terminal echoed
        say("ended by %s" % stop.name)
        return stop.code
    finally:
        watcher.close()
