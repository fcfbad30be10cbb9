"""Which build the tools take on this machine."""
import os

import pytest

from tutor import tree


def loader(folder, name, body):
    path = folder / name
    path.write_text("#!/bin/sh\n" + body + "\n")
    path.chmod(0o755)
    return str(path)


@pytest.mark.parametrize("kind, force, route, note", [
    ("refused", "", "x64", "runs no 32-bit code (boot it with ia32_emulation=on"),
    ("starts", "", "x86", None),
    ("missing", "", "x64", "no 32-bit Wine at "),
    ("starts", "1", "x64", "TUTORIAL_FORCE_X64 is set"),
])
def test_the_route_follows_the_32bit_loader_unless_forced(tmp_path, monkeypatch, capsys, kind, force, route, note):
    bodies = {"refused": 'echo "Exec format error" >&2; exit 126', "starts": "echo wine-8.0"}
    path = loader(tmp_path, kind, bodies[kind]) if kind in bodies else str(tmp_path / kind)
    monkeypatch.delenv("TUTORIAL_ROUTE", raising=False)
    monkeypatch.setenv("TUTORIAL_FORCE_X64", force)
    monkeypatch.setenv("TUTORIAL_WINE32_LOADER", path)
    assert tree.choose_route() == route
    said = capsys.readouterr().err
    if note:
        assert said.startswith("note: ") and note in said and said.count("\n") == 1
    else:
        assert said == ""
    # Passed on to every tool the command calls, which takes it as it is.
    assert os.environ["TUTORIAL_ROUTE"] == route



def test_a_relative_build_dir_is_taken_from_where_the_tool_was_started(tmp_path, monkeypatch):
    # The sandboxes mount the build's files at their own paths: a relative one once sent the
    # grader round the path's parents for ever.
    monkeypatch.chdir(tmp_path)
    monkeypatch.setenv("BUILD_DIR", "build-x64")
    assert tree.build_dir() == str(tmp_path / "build-x64")
