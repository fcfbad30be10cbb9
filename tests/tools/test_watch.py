"""The watch loop's reading of inotifywait: a line at a time however the pipe cuts it, none
when none comes in time, and its end seen."""
import os
import signal
import time

from tutor.watch.program import Lines

signal.signal(signal.SIGINT, signal.default_int_handler)  # as pytest had it: tutor.watch sets its own


def test_lines_come_whole_however_the_pipe_cuts_them_and_the_end_is_seen():
    read, write = os.pipe()
    with os.fdopen(read, "rb", buffering=0) as stream:
        lines = Lines(stream)
        os.write(write, b"/a/one.cpp\n/a/tw")
        assert lines.next(1) == "/a/one.cpp"
        started = time.monotonic()
        assert lines.next(0.1) is None and time.monotonic() - started < 1
        os.write(write, b"o.cpp\r\n/a/three.cpp\n")
        assert [lines.next(1), lines.next(1)] == ["/a/two.cpp", "/a/three.cpp"]
        os.close(write)
        assert lines.next(1) is None and lines.ended
