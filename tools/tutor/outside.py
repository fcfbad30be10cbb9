"""Outside programs run from the Python tools, each with a time limit, so that none can hold a
tool for ever."""
import os
import signal
import subprocess


def run_limited(argv, timeout, text=True, **kwargs):
    """ARGV's run with its output as text (or bytes, TEXT false). One that exceeds TIMEOUT seconds is ended with all it
    started and counts as failed, with exit code 124. NOTE: in a session of its own, so that a
    Ctrl+C meant for the tool does not spoil a result; the tool's own end (an exception while
    waiting) ends it too."""
    process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=text, errors="replace" if text else None, start_new_session=True, **kwargs)
    try:
        out, err = process.communicate(timeout=timeout)
    except BaseException as error:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        try:
            out, err = process.communicate(timeout=5)
        except subprocess.TimeoutExpired:  # something it started holds the pipes: leave them
            out, err = ("", "") if text else (b"", b"")
        if not isinstance(error, subprocess.TimeoutExpired):
            raise
        return subprocess.CompletedProcess(argv, 124, out, "timed out after %g s" % timeout if text else b"")
    return subprocess.CompletedProcess(argv, process.returncode, out, err)
