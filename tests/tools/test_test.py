"""tools/test's build of the route's tree, started before its turn: what it says waits for its
turn, and it never outlives the suite."""
import importlib
import os
import signal
import time

import pytest

from tutor.signals import Interrupted

test = importlib.import_module("tutor.commands.test")


@pytest.fixture
def fake_build(tmp_path, monkeypatch):
    """tools/build stood in for by a script: BODY is its shell."""
    monkeypatch.setattr(test.tree, "TOOLS", str(tmp_path))

    def write(body):
        script = tmp_path / "build"
        script.write_text("#!/bin/sh\n" + body + "\n")
        script.chmod(0o755)
    return write


def test_an_early_build_says_nothing_until_its_turn_then_all_it_said_and_its_code(fake_build, capfd):
    fake_build('echo "$ARCH $BUILD_DIR $*"; echo warning: kept >&2; exit 3')
    early = test.Building("x64", ["--target", "all"])
    early.process.wait(10)
    assert capfd.readouterr().out == ""
    assert early.result() == 3
    assert capfd.readouterr().out == "x64 %s --target all\nwarning: kept\n" % test.tree.build_dir("x64")
    early.close()


def test_a_suite_that_ends_early_ends_the_build_it_started(fake_build, tmp_path, monkeypatch):
    fake_build("echo $$ >%s/pid; exec sleep 60" % tmp_path)
    started = []

    def interrupted():  # Ctrl+C while the unit tests run, once the build runs
        pid = tmp_path / "pid"
        for _ in range(200):
            if pid.exists() and pid.read_text().strip():
                break
            time.sleep(0.05)
        started.append(int(pid.read_text()))
        raise Interrupted(signal.SIGINT)

    monkeypatch.setattr(test, "use_route", lambda: "x64")
    monkeypatch.setattr(test, "unit_tests", interrupted)
    with pytest.raises(Interrupted):
        test.main(["--arch", "x64"])
    try:
        with pytest.raises(ProcessLookupError):
            os.kill(started[0], 0)
    finally:  # what a failure leaves
        try:
            os.kill(started[0], signal.SIGKILL)
        except ProcessLookupError:
            pass
