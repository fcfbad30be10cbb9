"""A sandbox's limits: a control group of its own (v2 or v1) for memory, processes and its share
of the processors, and the resource limits that prlimit sets inside it."""
import os
import re
import shlex
import sys
import time

MEMORY_LIMIT = 1 << 30
PROCESS_LIMIT = 256
FILE_SIZE_LIMIT = 256 << 20
TMP_LIMIT = 256 << 20  # the sandbox's /tmp, in memory
CPU_PERIOD = 100000  # microseconds; a sandbox gets the processors divided by the jobs
GROUP_PREFIX = "tutorial-grade-"  # a run's control groups: GROUP_PREFIX + the run's id + "-" + slot
CGROUP = "/sys/fs/cgroup"
# Where a sandbox's groups are: v2's one hierarchy, and v1's of each controller.
HIERARCHIES = [CGROUP] + [os.path.join(CGROUP, kind) for kind in ("memory", "pids", "cpu")]
# What a sandbox is held to; the run stops unless each is proved (or the teacher accepts less).
LIMITS = ["memory", "swap", "processes", "processors", "disk", "/tmp", "files", "system call filter", "time"]
# The control groups' files read back to prove a limit (v2 and v1), and what each holds.
READ_BACK = {"memory.max": "memory", "memory.limit_in_bytes": "memory", "memory.swap.max": "swap",
             "memory.memsw.limit_in_bytes": "memory and swap", "pids.max": "pids", "cpu.max": "cpu",
             "cpu.cfs_quota_us": "cpu"}


def rlimits():
    """The command prefix that sets the limits a process inside the sandbox has of its own."""
    return ["prlimit", "--fsize=%d" % FILE_SIZE_LIMIT, "--core=0", "--"]


class Limits:
    """Memory and process limits for one sandbox, no swap, and its share of the processors (CORES
    of them, a fraction where the sandboxes outnumber the cores), in a control group of its own
    (v2 or v1): a submission that spins cannot slow its neighbour's past the time limit."""

    def __init__(self, name, cores):
        self.files, self.dirs, self.events = [], [], {}
        base = CGROUP
        quota = max(1000, int(cores * CPU_PERIOD))
        if os.path.exists(os.path.join(base, "cgroup.controllers")):
            try:
                with open(os.path.join(base, "cgroup.subtree_control"), "w") as f:
                    f.write("+memory +pids +cpu")
            except OSError:
                pass
            self._make(os.path.join(base, name), {"memory.max": MEMORY_LIMIT, "memory.swap.max": 0,
                                                  "pids.max": PROCESS_LIMIT,
                                                  "cpu.max": "%d %d" % (quota, CPU_PERIOD)})
            self.events = {"oom_kill": os.path.join(base, name, "memory.events"),
                           "max": os.path.join(base, name, "memory.events"),
                           "pids": os.path.join(base, name, "pids.events")}
        elif os.path.isdir(os.path.join(base, "memory")) and os.path.isdir(os.path.join(base, "pids")):
            # NOTE: memory and swap together (memsw) can only be set once memory alone is.
            self._make(os.path.join(base, "memory", name), {"memory.limit_in_bytes": MEMORY_LIMIT,
                                                            "memory.memsw.limit_in_bytes": MEMORY_LIMIT})
            self._make(os.path.join(base, "pids", name), {"pids.max": PROCESS_LIMIT})
            if os.path.isdir(os.path.join(base, "cpu")):
                self._make(os.path.join(base, "cpu", name), {"cpu.cfs_period_us": CPU_PERIOD,
                                                             "cpu.cfs_quota_us": quota})
            self.events = {"oom_kill": os.path.join(base, "memory", name, "memory.oom_control"),
                           "max": os.path.join(base, "memory", name, "memory.failcnt"),
                           "pids": os.path.join(base, "pids", name, "pids.events")}
        self.working = bool(self.dirs) and all(os.path.exists(f) for f in self.files)

    def _make(self, path, settings):
        """A group with what of SETTINGS it takes: in_force reads back what holds."""
        try:
            os.makedirs(path, exist_ok=True)
        except OSError:
            return
        self.dirs.append(path)
        self.files.append(os.path.join(path, "cgroup.procs"))
        for key, value in settings.items():
            try:
                with open(os.path.join(path, key), "w") as f:
                    f.write(str(value))
            except OSError:
                pass

    def prefix(self):
        """A command prefix that moves itself into the groups, then runs the rest."""
        if not self.working:
            # Weaker, but still limits: processes of the slot's own user, memory per process.
            return ["prlimit", "--nproc=%d" % PROCESS_LIMIT, "--data=%d" % MEMORY_LIMIT, "--"]
        return ["sh", "-c", 'for f in %s; do echo $$ > "$f"; done; exec "$@"'
                % " ".join(shlex.quote(f) for f in self.files), "sh"]

    def in_force(self):
        """Each limit that holds, as the control groups read back, in words: {"memory": "memory
        1024 MiB", ...}; without them, what prlimit holds instead. A value that did not take is
        left out. The processors read back are self.cores."""
        self.cores = None
        if not self.working:
            return {"processes": "%d processes of its own user" % PROCESS_LIMIT,
                    "memory of each process": "memory %d MiB a process" % (MEMORY_LIMIT >> 20)}
        found = {}
        for path in self.dirs:
            for key, name in READ_BACK.items():
                text = read(os.path.join(path, key))
                if text and text.split()[0].isdigit():
                    found[name] = int(text.split()[0])
        held = {}
        if found.get("memory") == MEMORY_LIMIT:
            held["memory"] = "memory %d MiB" % (MEMORY_LIMIT >> 20)
        # v2 keeps swap apart (none); v1 counts memory and swap together (no more than memory).
        if found.get("swap") == 0 or found.get("memory and swap") == MEMORY_LIMIT:
            held["swap"] = "no swap"
        if found.get("pids") == PROCESS_LIMIT:
            held["processes"] = "%d processes" % PROCESS_LIMIT
        if found.get("cpu"):
            self.cores = found["cpu"] / CPU_PERIOD
            held["processors"] = "%g processor%s" % (round(self.cores, 2), "" if self.cores == 1 else "s")
        return held

    def counts(self):
        """Times the memory limit killed a process (oom_kill) or was reached (max), and times a
        new process was refused (pids)."""
        found = {}
        for key, path in self.events.items():
            text = open(path).read() if os.path.exists(path) else ""
            m = re.search(r"^(?:%s )?(\d+)$" % ("max" if key == "pids" else key), text, re.M)
            found[key] = int(m.group(1)) if m else 0
        return found

    def close(self):
        for path in self.dirs:
            remove_group(path)


def remove_group(path):
    """Removes a control group, first ending what is still in it: a run that was interrupted may
    leave a sandbox's processes dying, and a group with processes cannot be removed."""
    deadline = time.monotonic() + 5
    while os.path.isdir(path):
        try:
            for pid in (read(os.path.join(path, "cgroup.procs")) or "").split():
                os.kill(int(pid), 9)
            os.rmdir(path)
        except OSError:
            if time.monotonic() > deadline:
                print("grade: cannot remove the control group %s" % path, file=sys.stderr)
                return False
            time.sleep(0.05)
    return True


def read(path, limit=1 << 20):
    """A control group's file, as text, or None."""
    try:
        with open(path, "rb") as f:
            return f.read(limit).decode("utf-8", "replace")
    except OSError:
        return None
