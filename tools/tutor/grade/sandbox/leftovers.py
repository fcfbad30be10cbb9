"""A run's id and what a killed run leaves. Every control group and work folder of a run carries
its id (its process id and start time: "4242.81234"), and the run holds a lock file of that id
while it runs; so does every process of its sandboxes (bwrap.RUN_VARIABLE), its X servers among
them. A run removes only the leftovers of runs that are gone: their lock is free (the kernel lets
go of it when a process ends, SIGKILL included) and their process is not the one named, so that a
run never touches another that is still running, even one in another process namespace."""
import ctypes
import fcntl
import os
import re
import signal

from tutor.grade.sandbox.disk import remove_mounted
from tutor.grade.sandbox.limits import GROUP_PREFIX, HIERARCHIES, remove_group

LOCKS = "/run/tutorial-grade"  # a lock file a run, held while it runs: ID.lock
# A run's id; a run of an earlier version named its groups and folder by its process id alone.
RUN_ID = r"\d+(?:\.\d+)?"


def started(pid):
    """When the process PID started (clock ticks after boot), as /proc tells it, or None."""
    try:
        with open("/proc/%d/stat" % pid, "rb") as f:
            stat = f.read()
    except OSError:
        return None
    fields = stat[stat.rfind(b")") + 2:].split()
    return int(fields[19]) if len(fields) > 19 else None


def running(run):
    """Whether the process of the run RUN ("PID.START", or a bare PID) still runs as that run."""
    pid, _, start = run.partition(".")
    when = started(int(pid))
    return when is not None and (not start or when == int(start))


class RunLock:
    """This run's id, and the lock of it held until close(). NOTE: a lock file that another
    run's clean-up removed before it was locked is made again."""

    def __init__(self, folder=LOCKS):
        self.id = "%d.%d" % (os.getpid(), started(os.getpid()))
        os.makedirs(folder, mode=0o700, exist_ok=True)
        self.path = os.path.join(folder, self.id + ".lock")
        while True:
            self.fd = os.open(self.path, os.O_RDWR | os.O_CREAT | os.O_NOFOLLOW | os.O_CLOEXEC, 0o600)
            fcntl.flock(self.fd, fcntl.LOCK_EX)
            try:
                if os.stat(self.path).st_ino == os.fstat(self.fd).st_ino:
                    return
            except FileNotFoundError:
                pass
            os.close(self.fd)

    def close(self):
        let_go(self.path, self.fd)


class Gone:
    """The lock of a run found gone, held while its leftovers are removed, so that no other run's
    clean-up takes it for one to make; None (falsy) when it runs."""

    @staticmethod
    def of(run, folder):
        """A Gone for the run RUN, locked, or None while RUN still runs."""
        if running(run):
            return None
        path = os.path.join(folder, run + ".lock")
        try:
            fd = os.open(path, os.O_RDWR | os.O_NOFOLLOW | os.O_CLOEXEC)
        except FileNotFoundError:
            return Gone(path, None)
        except OSError:
            return None
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError:
            os.close(fd)
            return None
        return Gone(path, fd)

    def __init__(self, path, fd):
        self.path, self.fd = path, fd

    def close(self):
        if self.fd is not None:
            let_go(self.path, self.fd)


def let_go(path, fd):
    """Removes the lock file at PATH, then lets go of its lock (held on FD): a run that finds it
    free then finds no file to take it for its own."""
    try:
        os.unlink(path)
    except OSError:
        pass
    os.close(fd)


def remove_leftovers(work_root, own, locks=LOCKS, hierarchies=HIERARCHIES):
    """Removes what runs that are gone left: their control groups (in each of HIERARCHIES) and
    their work folders under WORK_ROOT (a folder a run, named by its id), with whatever is still
    mounted there, and their lock files in LOCKS; OWN is this run's id. Returns what was removed
    of each run, in words: [("4242.81234", "2 control groups, 1 work folder")]."""
    groups, folders = {}, {}
    for base in hierarchies:
        for name in listing(base):
            m = re.fullmatch(re.escape(GROUP_PREFIX) + "(%s)-\\d+" % RUN_ID, name)
            if m:
                groups.setdefault(m.group(1), []).append(os.path.join(base, name))
    for name in listing(work_root):
        if re.fullmatch(RUN_ID, name):
            folders[name] = os.path.join(work_root, name)
    for name in listing(locks):
        if name.endswith(".lock") and re.fullmatch(RUN_ID, name[:-5]):
            groups.setdefault(name[:-5], [])
    removed = []
    for run in sorted(set(groups) | set(folders)):
        gone = Gone.of(run, locks) if run != own else None
        if not gone:
            continue
        try:
            names = {os.path.basename(path) for path in groups.get(run, []) if remove_group(path)}
            if run in folders:
                remove_mounted(folders[run])
        finally:
            gone.close()
        words = ["%d control group%s" % (len(names), "s" if len(names) > 1 else "")] if names else []
        words += ["1 work folder"] if run in folders else []
        if words:
            removed.append((run, ", ".join(words)))
    return removed


def listing(folder):
    try:
        return os.listdir(folder)
    except OSError:
        return []


def die_with_parent():
    """SIGTERM when the process that started this one ends, even by SIGKILL: the grader then ends
    its sandboxes as on Ctrl+C. False where it cannot be set."""
    libc = ctypes.CDLL(None, use_errno=True)
    parent = os.getppid()
    if libc.prctl(1, signal.SIGTERM, 0, 0, 0) != 0:  # PR_SET_PDEATHSIG
        return False
    if os.getppid() != parent:  # it ended before the line above
        os.kill(os.getpid(), signal.SIGTERM)
    return True
