"""A private X display: Xvfb on the first free number, known without a race (it writes the number
it took to -displayfd), optionally with a window manager: the shell tools' Wine session runs this
file as a command. (The grader's sandboxes start a display of their own inside.)

    python3 -m tutor.xdisplay WxHxD [--window-manager]
        starts them detached and prints "NUMBER XVFB_PID [WM_PID]"; they run until killed.
"""
import os
import select
import subprocess
import sys
import time

START_TIMEOUT = 20  # seconds for Xvfb to take a number


def start(screen, detach=False):
    """Starts Xvfb with a screen of WxHxD; returns (its process, its display number). DETACH puts
    it in a session of its own, where a terminal's Ctrl+C does not reach it."""
    read, write = os.pipe()
    argv = ["Xvfb", "-displayfd", str(write), "-screen", "0", screen, "-nolisten", "tcp"]
    xvfb = subprocess.Popen(argv, pass_fds=(write,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=detach)
    os.close(write)
    number, deadline = b"", time.monotonic() + START_TIMEOUT
    try:
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(read, 16) if ready else b""
            if not chunk:
                xvfb.kill()
                xvfb.wait()
                raise RuntimeError("Xvfb did not start")
            number += chunk
    finally:
        os.close(read)
    return xvfb, number.decode().strip()


def start_window_manager(number, detach=False):
    """openbox on the display: without one, Wine waits about 2 s for X when a window closes."""
    return subprocess.Popen(["openbox", "--sm-disable"], env=dict(os.environ, DISPLAY=":" + number),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=detach)


def main(argv):
    if not argv or len(argv) > 2 or argv[1:] not in ([], ["--window-manager"]):
        print("usage: xdisplay.py WxHxD [--window-manager]", file=sys.stderr)
        return 2
    try:
        xvfb, number = start(argv[0], detach=True)
    except RuntimeError as error:
        print(error, file=sys.stderr)
        return 1
    started = [number, str(xvfb.pid)]
    if argv[1:]:
        started.append(str(start_window_manager(number, detach=True).pid))
    print(" ".join(started))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
