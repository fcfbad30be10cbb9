"""tools/build: one build of a folder at a time, whichever tools ask for it."""
import fcntl
import importlib
import threading

build = importlib.import_module("tutor.commands.build")  # the package's build() has the name


def test_a_second_build_of_a_folder_waits_for_the_first(tmp_path, monkeypatch, capsys):
    monkeypatch.setattr(build.tree, "build_dir", lambda width=None: str(tmp_path))
    monkeypatch.setattr(build.tree, "toolchain", lambda width=None: "cc")
    monkeypatch.setattr(build, "setup", lambda: 0)
    built = []
    monkeypatch.setattr(build, "configure_and_build", lambda *args: built.append(args) or 0)
    with open(tmp_path / ".build.lock", "w") as held:  # a build under way
        fcntl.flock(held, fcntl.LOCK_EX)
        second = threading.Thread(target=build.main, args=([],))
        second.start()
        second.join(1.0)
        assert second.is_alive() and not built
    second.join(10)
    assert len(built) == 1 and "waiting for another build of %s" % tmp_path in capsys.readouterr().err
