"""Outside programs run from the Python tools, each with a time limit, so that none can hold a
tool for ever."""
import os
import signal
import subprocess
import sys


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


GRACE = 5  # seconds a program has to end after it is asked to


def call(argv, timeout, **kwargs):
    """ARGV's exit code, run in the foreground as a shell runs it: in this process group (a
    terminal's Ctrl+C reaches it), with this tool's output unless KWARGS say otherwise. Past
    TIMEOUT seconds (None: no limit, for the program a user looks at) it is asked to end, then
    killed GRACE s later: 124. Ended by signal N: 128 + N. Cannot start: 127 or 126, said why."""
    try:
        process = subprocess.Popen(argv, **kwargs)
    except OSError as error:
        print("%s: %s" % (argv[0], error.strerror), file=sys.stderr)
        return 127 if isinstance(error, FileNotFoundError) else 126
    return finish(process, timeout)


def call_output(argv, timeout, **kwargs):
    """(exit code, standard output as text) of ARGV run as call() runs it."""
    try:
        process = subprocess.Popen(argv, stdout=subprocess.PIPE, text=True, errors="replace", **kwargs)
    except OSError as error:
        return 127 if isinstance(error, FileNotFoundError) else 126, "%s: %s\n" % (argv[0], error.strerror)
    try:
        out = process.communicate(timeout=timeout)[0]
    except subprocess.TimeoutExpired:
        stop(process, signal.SIGTERM)
        try:
            return 124, process.communicate(timeout=GRACE)[0]
        except subprocess.TimeoutExpired:  # something it started holds the pipe: leave it
            return 124, ""
    except BaseException as error:
        stop(process, getattr(error, "signum", signal.SIGTERM))
        raise
    return (process.returncode if process.returncode >= 0 else 128 - process.returncode), out


def finish(process, timeout):
    """PROCESS's exit code as call() gives it, waited for at most TIMEOUT seconds. When this tool
    is interrupted meanwhile, PROCESS ends first: a signal that came to this tool alone is passed
    on; Ctrl+C came to the process group, so it has GRACE s to end on its own."""
    try:
        code = process.wait(timeout)
    except subprocess.TimeoutExpired:
        stop(process, signal.SIGTERM)
        return 124
    except BaseException as error:
        stop(process, getattr(error, "signum", signal.SIGTERM))
        raise
    return code if code >= 0 else 128 - code


def stop(process, signum=signal.SIGTERM):
    """Ends PROCESS with SIGNUM, then SIGKILL GRACE s later. SIGINT came from a terminal to it
    too: it has GRACE s to end on its own before SIGTERM."""
    for number in ([None, signal.SIGTERM] if signum == signal.SIGINT else [signum]) + [signal.SIGKILL]:
        if number is not None:
            try:
                process.send_signal(number)
            except ProcessLookupError:
                pass
        try:
            process.wait(GRACE if number != signal.SIGKILL else None)
            return
        except subprocess.TimeoutExpired:
            pass
