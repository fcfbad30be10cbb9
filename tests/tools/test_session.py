"""The Wine session and what runs in it, with stand-ins for Wine and its server: begun once, ended,
each outside call bounded. (route_test.sh starts one that fails and one that is interrupted.)"""
import os
import signal
import subprocess
import sys
import time

import pytest

from tutor import outside, session

# A loader whose wineboot succeeds and whose desktop runs on.
LOADER = """#!/bin/sh
case "$1" in
  wineboot|reg) echo booted ;;
  explorer.exe) exec %s -c "import time; time.sleep(30)" explorer.exe /desktop ;;
esac
"""


@pytest.fixture
def stand_ins(tmp_path, monkeypatch):
    """A Wine server that logs its orders, a display said to be there and the loader above; the
    environment as it was afterwards."""
    saved = dict(os.environ)
    (tmp_path / "bin").mkdir()
    server = tmp_path / "bin" / "wineserver"
    server.write_text('#!/bin/sh\necho "$*" >>"%s/server.log"\n' % tmp_path)
    server.chmod(0o755)
    monkeypatch.setenv("PATH", "%s:%s" % (tmp_path / "bin", os.environ["PATH"]))
    for name in ("TUTORIAL_WINE_SESSION", "WINEDEBUG", "BUILD_DIR"):
        monkeypatch.delenv(name, raising=False)
    monkeypatch.setenv("DISPLAY", ":no-such-display")
    monkeypatch.setenv("ARCH", "x64")
    loader = tmp_path / "wine"
    loader.write_text(LOADER % sys.executable)
    loader.chmod(0o755)
    monkeypatch.setenv("TUTORIAL_WINE", str(loader))
    yield tmp_path
    session.end_jobs()
    os.environ.clear()
    os.environ.update(saved)


def eventually(check, seconds=10):
    """Whether CHECK comes true within SECONDS: a process read from /proc while it execs shows
    no command line for a moment."""
    deadline = time.monotonic() + seconds
    while not check():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def orders(folder):
    return (folder / "server.log").read_text().split("\n")[:-1]


def test_a_session_boots_its_prefix_once_exports_it_and_ends_it(stand_ins, capsys):
    folder = stand_ins
    build = folder / "build"
    for first in (True, False):
        with session.Session(str(build)):
            assert os.environ["WINEPREFIX"] == str(build / "wine") and os.environ["WINEARCH"] == "win64"
            assert os.environ["WINELOADER"] == "/usr/lib/wine/wine64" and os.environ["WINEDEBUG"] == "-all"
            assert os.environ["HOME"] == str(build / "home") and os.environ["TUTORIAL_WINE_SESSION"] == "1"
            assert os.environ["DISPLAY"] == ":no-such-display"
            assert eventually(lambda: session.desktop_running(str(build / "wine")))
            assert orders(folder)[-1] == "-p"
        assert ("Preparing the Wine prefix" in capsys.readouterr().err) == first
        # Nothing of it runs on: its server is ended, and the desktop it started.
        assert orders(folder)[-1] == "-k" and not session.desktop_running(str(build / "wine"))
        # Nested in it, a tool's session is that one.
        with session.Session(str(folder / "other")):
            assert not (folder / "other").exists()
        del os.environ["TUTORIAL_WINE_SESSION"]
    assert orders(folder) == ["-p", "-k", "-p", "-k", "-p", "-k"]
    assert (build / "wine" / ".booted").exists()


def test_sessions_of_one_prefix_share_its_server_and_the_last_out_ends_it(stand_ins):
    # A server as Wine's: -p refuses (2) while one runs, -k ends it. Boots are counted.
    folder = stand_ins
    server = folder / "bin" / "wineserver"
    server.write_text('#!/bin/sh\necho "$*" >>"{0}/server.log"\ncase "$1" in\n'
                      '  -p) [ -e "{0}/running" ] && exit 2; touch "{0}/running" ;;\n'
                      '  -k) rm -f "{0}/running" ;;\nesac\n'.format(folder))
    loader = folder / "wine"
    loader.write_text(loader.read_text().replace("echo booted", 'echo "$1" >>"%s/boots.log"' % folder))
    build = str(folder / "build")
    boots = lambda: (folder / "boots.log").read_text().count("wineboot")
    with session.Session(build):
        pass  # the prefix prepared
    first = boots()
    # A watch loop open while the student runs another tool in the same build: neither
    # ends the other's programs, and the server is booted once.
    del os.environ["TUTORIAL_WINE_SESSION"]
    outer = session.Session(build)
    outer.__enter__()
    del os.environ["TUTORIAL_WINE_SESSION"]
    with session.Session(build):
        assert (folder / "running").exists()
    assert (folder / "running").exists() and boots() == first + 1
    outer.__exit__(None, None, None)
    assert not (folder / "running").exists()
    # A server a killed tool left is joined, not refused, and ended with the session.
    del os.environ["TUTORIAL_WINE_SESSION"]
    (folder / "running").touch()
    with session.Session(build):
        pass
    assert not (folder / "running").exists() and boots() == first + 1


def test_a_driver_says_in_one_line_why_it_failed(stand_ins):
    folder = stand_ins
    script = folder / "driver"
    script.write_text('#!/bin/sh\nprintf "%s" "$1" >&2\n[ "${2:-0}" = 0 ] || exec sleep "$2"\nexit ${3:-0}\n')
    script.chmod(0o755)
    os.environ["WINE"] = "sh"
    assert session.driver_run(10, [str(script), "starting\n"]) == (0, None)
    assert session.driver_run(10, [str(script), "crash: access violation\r\ncrash: later\r\n", "0", "11"]) == \
        (11, "crash: later")
    assert session.driver_run(10, [str(script), "nothing to report\n", "0", "3"]) == (3, "exit code 3")
    started = time.monotonic()
    assert session.driver_run(1, [str(script), "", "300"]) == (124, "still running after 1 s")
    assert time.monotonic() - started < 1 + outside.GRACE


def test_calls_are_bounded_and_waits_end_with_the_writer(tmp_path):
    assert outside.call(["sh", "-c", "exit 7"], 5) == 7
    assert outside.call(["sh", "-c", "kill -TERM $$"], 5) == 128 + signal.SIGTERM
    assert outside.call(["sleep", "30"], 0.2) == 124
    assert outside.call([str(tmp_path / "none")], 5) == 127
    assert outside.call_output(["sh", "-c", "echo said; exit 3"], 5) == (3, "said\n")
    writer = subprocess.Popen(["sh", "-c", "sleep 0.3; touch %s/a.png" % tmp_path])
    assert session.wait_file(str(tmp_path), "*.png", lambda: writer.poll() is None, 10)
    quitter = subprocess.Popen(["true"])
    started = time.monotonic()
    assert not session.wait_file(str(tmp_path), "*.bmp", lambda: quitter.poll() is None, 10)
    assert time.monotonic() - started < 5
    assert session.wait_exit(quitter, 1) == 0 and session.wait_exit(subprocess.Popen(["sleep", "5"]), 0.2) == 255
