"""The tools' ending on a signal: the first one raises, with a shell's exit code; the ones after it
do not cut the ending short."""
import os
import signal

import pytest

from tutor.signals import SIGNALS, Interrupted, catch


@pytest.fixture
def handlers():
    kept = {number: signal.getsignal(number) for number in SIGNALS}
    yield
    for number, handler in kept.items():
        signal.signal(number, handler)


def raised_by(signum):
    try:
        os.kill(os.getpid(), signum)
        signal.pthread_sigmask(signal.SIG_BLOCK, [])  # a call: the handler has run on its return
    except Interrupted as stop:
        return stop
    return None


def test_the_first_signal_raises_once_and_the_ending_is_not_cut_short(handlers):
    catch()
    stop = raised_by(signal.SIGINT)
    assert (stop.code, stop.name) == (130, "Ctrl+C")
    assert raised_by(signal.SIGTERM) is None and raised_by(signal.SIGINT) is None
    catch()  # a new run of the loop
    stop = raised_by(signal.SIGHUP)
    assert (stop.code, stop.name) == (129, "SIGHUP") and isinstance(stop, SystemExit)
