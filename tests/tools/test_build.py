"""One build of a folder at a time, whichever tools ask for it: tools/build, and the watch loop
building its kit."""
import fcntl
import importlib
import threading

import pytest

from tutor.watch.build import SceneBuild

build = importlib.import_module("tutor.commands.build")  # the package's build() has the name


def tools_build(folder, monkeypatch, built):
    monkeypatch.setattr(build.tree, "build_dir", lambda width=None: str(folder))
    monkeypatch.setattr(build.tree, "toolchain", lambda width=None: "cc")
    monkeypatch.setattr(build, "setup", lambda: 0)
    monkeypatch.setattr(build, "configure_and_build", lambda *args: built.append(args) or 0)
    return lambda: build.main([])


def watch_kit(folder, monkeypatch, built):
    scenes = SceneBuild(str(folder))
    monkeypatch.setattr(scenes, "step", lambda argv: built.append(argv) and None)
    return scenes.update


@pytest.mark.parametrize("builder", [tools_build, watch_kit])
def test_a_second_build_of_a_folder_waits_for_the_first(tmp_path, monkeypatch, capsys, builder):
    built = []
    start = builder(tmp_path, monkeypatch, built)
    with open(tmp_path / ".build.lock", "w") as held:  # a build under way
        fcntl.flock(held, fcntl.LOCK_EX)
        second = threading.Thread(target=start)
        second.start()
        second.join(1.0)
        assert second.is_alive() and not built
    second.join(10)
    assert len(built) == 1 and "waiting for another build of %s" % tmp_path in capsys.readouterr().err
