"""How the tools that run for a while end on Ctrl+C, SIGTERM or SIGHUP: each becomes one
exception, Interrupted, raised once in the main thread, so that the tool ends what it started
and says what it had done; its exit code is 128 + the signal, as a shell's would be.

    import signal; signal.signal(signal.SIGINT, signal.SIG_DFL)   first, before the imports
    ...
    catch()                      once there is something to end
    try: ... except Interrupted as stop: ...; return stop.code
"""
import signal

SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


class Interrupted(Exception):
    """A signal of SIGNALS arrived: code is the exit code it gives, name the word for it."""

    def __init__(self, signum):
        self.signum, self.code = signum, 128 + signum
        self.name = "Ctrl+C" if signum == signal.SIGINT else signal.Signals(signum).name
        super().__init__(self.name)


def catch():
    """From now on, the first signal of SIGNALS raises Interrupted; the ones after it are
    ignored, so that the ending is not cut short (Ctrl+C reaches a tool and the shell script that
    started it, which may pass it on). NOTE: ignored by the handler, not by SIG_IGN, which
    programs started during the ending would inherit."""
    raised = []

    def interrupt(signum, _frame):
        if not raised:
            raised.append(signum)
            raise Interrupted(signum)

    for number in SIGNALS:
        signal.signal(number, interrupt)
