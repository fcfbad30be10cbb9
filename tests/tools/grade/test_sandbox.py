"""The grader's sandbox without running one: the bwrap command, read for what it shows of the host,
and what a killed run left, removed only once that run is gone."""
import os
import signal
import subprocess
import time
import types

from tutor.grade.sandbox import bwrap, leftovers


def mounts(command):
    """What bwrap in COMMAND makes, in its order: (kind, target, host path)."""
    arity = {"--ro-bind": 2, "--bind": 2, "--symlink": 2, "--tmpfs": 1, "--dir": 1, "--proc": 1, "--dev": 1,
             "--setenv": 2, "--perms": 1, "--size": 1, "--chdir": 1, "--cap-add": 1, "--seccomp": 1}
    argv = command[command.index("bwrap") + 1:]
    made, i = [], 0
    while argv[i] != "--":
        option, args = argv[i], argv[i + 1:i + 1 + arity.get(argv[i], 0)]
        i += 1 + len(args)
        if option in ("--ro-bind", "--bind"):
            made.append(("bind", args[1], args[0]))
        elif option in ("--tmpfs", "--dir"):
            made.append((option[2:], args[0], None))
    return made


def shows(made, path):
    """What the sandbox sees at PATH: the host's file or folder, "empty", or None (nothing). A
    folder made with --dir hides nothing where one is already."""
    for kind, target, source in reversed(made):
        if kind != "dir" and bwrap.within(path, target):
            return source + path[len(target):] if source else "empty" if path == target else None
    return None


def test_only_the_systems_folders_show_one_the_run_uses_among_them_is_empty_and_bwrap_is_told_the_filter(
        tmp_path):
    checkout = str(tmp_path / "checkout")
    os.makedirs(os.path.join(checkout, "src"))
    kit = ["/usr/share/doc/kit/compile.rsp", os.path.join(checkout, "src", "Tutorial.h")]
    shown_by = os.path.join(str(tmp_path), "link-to-doc")
    os.symlink("/usr/share/doc", shown_by)
    (tmp_path / "syscalls.bpf").write_bytes(b"the filter")
    slot = types.SimpleNamespace(uid=64000, filter=str(tmp_path / "syscalls.bpf"),
                                 limits=types.SimpleNamespace(prefix=lambda: []))
    command = bwrap.command(slot, str(tmp_path / "scratch"), ["true"], files=set(kit), wine="wine", run="1.2",
                            hidden=[shown_by, "/usr/bin/env", checkout])
    made = mounts(command)
    for path in ("/usr/bin/sh", "/usr/lib/x86_64-linux-gnu", "/usr/share/fonts", "/etc/ld.so.cache"):
        assert shows(made, path) == path
    for path in ("/usr/local/bin", "/usr/src", "/usr/games", "/usr/share/doc/bash", "/etc/passwd",
                 os.path.join(checkout, "README.md")):
        assert shows(made, path) is None, path
    assert shows(made, "/usr/bin/env") == "/dev/null"
    # The folders above them open to the sandbox's user: every grade script builds in one with the kit.
    for path in kit:
        assert shows(made, path) == path
    # What runs in bwrap's place reads the filter from the descriptor bwrap is told.
    fd = command[command.index("--seccomp") + 1]
    check = command[:command.index("bwrap")] + ["sh", "-c", 'cmp -s /proc/self/fd/%s "$0"' % fd, slot.filter]
    assert subprocess.run(check, timeout=30).returncode == 0


def test_a_killed_runs_groups_and_work_folder_are_removed_and_a_running_ones_never(tmp_path):
    locks, work, groups = (tmp_path / name for name in ("locks", "work", "cgroup"))
    for folder in (work, groups):
        folder.mkdir()
    lock = leftovers.RunLock(str(locks))
    # A run in another process namespace: its process is not to be seen here, its lock is held.
    hidden = subprocess.Popen(["flock", "--close", str(locks / "1.1.lock"), "sleep", "60"], stdin=subprocess.DEVNULL,
                              start_new_session=True)
    try:
        killed = "%d.1" % os.getpid()  # this process, started at another time: that run's process is gone
        runs = [lock.id, "1.1", killed]
        for run in runs:
            (work / run / "slot0").mkdir(parents=True)
            for slot in (0, 1):
                (groups / ("tutorial-grade-%s-%d" % (run, slot))).mkdir()
        (locks / (killed + ".lock")).touch()
        deadline = time.monotonic() + 30
        while subprocess.run(["flock", "-n", str(locks / "1.1.lock"), "true"], timeout=10).returncode == 0:
            assert time.monotonic() < deadline, "flock never took the lock"
            time.sleep(0.01)
        removed = leftovers.remove_leftovers(str(work), lock.id, locks=str(locks), hierarchies=[str(groups)])
        assert removed == [(killed, "2 control groups, 1 work folder")]
        assert sorted(os.listdir(work)) == sorted(runs[:2]) and len(os.listdir(groups)) == 4
        assert sorted(os.listdir(locks)) == ["1.1.lock", lock.id + ".lock"]
        # Another run's clean-up leaves this one's as it is, its lock too.
        assert leftovers.remove_leftovers(str(work), "0.0", locks=str(locks), hierarchies=[str(groups)]) == []
    finally:
        # flock and its sleep, which holds the lock too until it has closed it (late on a loaded machine).
        os.killpg(hidden.pid, signal.SIGKILL)
        hidden.wait(timeout=10)
        lock.close()
    deadline = time.monotonic() + 30
    while subprocess.run(["flock", "-n", str(locks / "1.1.lock"), "true"], timeout=10).returncode != 0:
        assert time.monotonic() < deadline, "the lock outlived its holders"
        time.sleep(0.01)
    # Once that run has ended, what it left goes; this one's stays while its process runs.
    assert leftovers.remove_leftovers(str(work), "0.0", locks=str(locks), hierarchies=[str(groups)]) == [
        ("1.1", "2 control groups, 1 work folder")]
    assert os.listdir(work) == [lock.id] and len(os.listdir(groups)) == 2 and os.listdir(locks) == []
