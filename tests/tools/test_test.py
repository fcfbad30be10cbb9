"""tools/test's parts that run before or beside their turn: the route's build, started first, and
the unit tests and the other width's part, started with the route's tests. What each says waits
for its turn, each exit code counts, and none outlives the suite."""
import importlib
import os
import signal
import time

import pytest

from tutor.signals import Interrupted

test = importlib.import_module("tutor.commands.test")


@pytest.fixture
def fake_tools(tmp_path, monkeypatch):
    """tools/build and tools/test stood in for by scripts: write(NAME, BODY), BODY its shell."""
    monkeypatch.setattr(test.tree, "TOOLS", str(tmp_path))
    monkeypatch.setattr(test, "use_route", lambda: "x64")
    monkeypatch.setattr(test.tree, "ARCHES", ("x86", "x64"))

    def write(name, body):
        script = tmp_path / name
        script.write_text("#!/bin/sh\n" + body + "\n")
        script.chmod(0o755)
    return write


def wait_for(path):
    for _ in range(200):
        if path.exists() and path.read_text().strip():
            return path.read_text()
        time.sleep(0.05)
    raise AssertionError("%s never written" % path)


def test_a_held_part_says_nothing_until_its_turn_then_all_it_said_and_its_code(fake_tools, capfd):
    fake_tools("build", 'echo "$ARCH $*"; echo warning: kept >&2; exit 3')
    early = test.Held([os.path.join(test.tree.TOOLS, "build"), "--target", "all"], dict(os.environ, ARCH="x64"))
    early.start()
    early.process.wait(10)
    assert capfd.readouterr().out == ""
    assert early.result(10) == 3
    assert capfd.readouterr().out == "x64 --target all\nwarning: kept\n"
    early.close()


def test_the_rest_runs_beside_the_routes_tests_lower_and_is_told_after_them(fake_tools, tmp_path, monkeypatch, capfd):
    fake_tools("build", "sleep 0.3")  # what would start beside the build would start meanwhile
    # Each part says what it ran and at which priority; the x86 part fails.
    fake_tools("test", 'echo "beside $* at $(cut -d" " -f19 /proc/$$/stat)"; echo "$*" >>%s/started; '
               '[ "$1" != --arch ]' % tmp_path)
    started = tmp_path / "started"

    def route_suite(width, route, argv, early, testing):
        assert early.result(10) == 0
        assert not started.exists()
        testing()
        if argv:  # the whole suite's
            wait_for(started)
        print("the x64 suite", flush=True)
        return 0

    monkeypatch.setattr(test, "suite", route_suite)
    assert test.main(["-R", "Name"]) == 1
    out = capfd.readouterr().out.splitlines()
    assert out[0] == "=== the unit tests and the x86 part: beside the x64 suite, told once it ends ==="
    assert out[1:] == ["the x64 suite", "beside --unit at %d" % test.BESIDE_NICE,
                       "beside --arch x86 -R Name at %d" % test.BESIDE_NICE], out
    # One width alone: that width's suite only, nothing beside it.
    started.unlink()
    assert test.main(["--arch", "x64"]) == 0
    assert not started.exists() and capfd.readouterr().out == "the x64 suite\n"


def test_a_suite_that_ends_early_ends_what_it_started(fake_tools, tmp_path, monkeypatch):
    fake_tools("build", "echo $$ >%s/build.pid; exec sleep 60" % tmp_path)
    fake_tools("test", "echo $$ >%s/unit.pid; exec sleep 60" % tmp_path)
    pids = []

    def interrupted(width, route, argv, early, testing):  # Ctrl+C once the unit tests run
        testing()
        pids.extend(int(wait_for(tmp_path / name)) for name in ("build.pid", "unit.pid"))
        raise Interrupted(signal.SIGINT)

    monkeypatch.setattr(test, "suite", interrupted)
    with pytest.raises(Interrupted):
        test.main([])
    try:
        for pid in pids:
            with pytest.raises(ProcessLookupError):
                os.kill(pid, 0)
    finally:  # what a failure leaves
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
