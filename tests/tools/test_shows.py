"""The watch loop's one program that stays up: a save handed to a program that stops before it
tells of the scene (Wine failing to start on a loaded machine) is handed to the next program,
once, and shows; a program that keeps stopping is not started for ever."""
import os
import signal

import pytest

from tutor.watch import shows

signal.signal(signal.SIGINT, signal.default_int_handler)  # as pytest had it: tutor.watch sets its own


class Process:
    def __init__(self, code):
        self.returncode = code

    def wait(self, timeout=None):
        return self.returncode


class Stops:
    """A program that ends at once with exit code 1, having said nothing."""

    def __init__(self, argv):
        self.process = Process(1)

    def ended(self):
        return True

    def window(self):
        return None

    def report(self, timeout):
        return None

    def trouble(self, names=None):
        return "exit code 1"

    def stop(self):
        pass


class Shows(Stops):
    """A host that shows whatever module it is told to load next."""

    def __init__(self, argv):
        self.process = Process(None)
        self.next_file = argv[argv.index("--next") + 1]
        self.told = set()

    def ended(self):
        return False

    def window(self):
        return "1"

    def report(self, timeout):
        with open(self.next_file) as f:
            module = os.path.basename(f.read().strip().replace("\\", "/"))
        if not module or module in self.told:
            return None
        self.told.add(module)
        return "shown %s in 12 ms (load 3 ms)" % module


@pytest.fixture
def reload(tmp_path, monkeypatch):
    monkeypatch.setattr(shows, "windows_path", str)
    os.makedirs(tmp_path / "watch")
    (tmp_path / "watch" / "scene.dll").write_bytes(b"MZ")
    started = []

    def start(programs):
        def program(argv):
            started.append(programs[len(started)](argv))
            return started[-1]
        monkeypatch.setattr(shows, "Program", program)
    return shows.Reload(str(tmp_path), "My Scene.cpp"), start, started


def test_a_save_whose_program_stopped_before_its_word_shows_in_the_next(reload, capsys):
    show, start, started = reload
    start([Stops, Shows])
    show.show((1.0, 0.5))
    assert show.program.ended() and len(started) == 1
    assert show.ended_by_itself()
    said = capsys.readouterr().out.splitlines()
    assert said[0] == "watch: the program stopped: exit code 1; it starts again"
    assert said[1].startswith("watch: screenshot ")
    assert show.good and len(started) == 2


def test_a_program_that_keeps_stopping_is_started_again_only_as_the_loop_finds_it(reload, capsys):
    show, start, started = reload
    start([Stops, Stops, Stops])
    show.show((1.0, 0.5))
    assert show.ended_by_itself()  # the save handed over once more: that program stops too
    assert len(started) == 2 and show.unanswered is None
    assert show.ended_by_itself()  # found ended by the loop's next look: a program, no save
    assert len(started) == 3 and show.good is None
    assert "screenshot" not in capsys.readouterr().out
