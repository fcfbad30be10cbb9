"""The sandboxes a run grades in: a slot a job, each running one step at a time with a time limit
and a bound on its output, every limit proved before the first submission runs, and all of them
ended at once when the run is stopped."""
import os
import select
import subprocess
import threading
import time

from tutor.grade import syscalls
from tutor.grade.sandbox import bwrap
from tutor.grade.sandbox.disk import TOOL_TIMEOUT, DISK_LIMIT, Disk
from tutor.grade.sandbox.limits import FILE_SIZE_LIMIT, GROUP_PREFIX, TMP_LIMIT, Limits
from tutor.hostile import Output, size_in_words
from tutor.outside import run_limited

OUTPUT_CAP = 64 << 20  # bytes of output past which a step is ended
SYSCALL_FILTER = "syscalls.bpf"  # the compiled filter, in each slot's work folder
# What a program inside tells of its sandbox: the sizes of /tmp and its disk, its file size
# limit, whether a filter is loaded and whether it may make a user namespace.
# NOTE: unshare -U would work for the sandbox's user but for the filter.
PROBE = ("df -k --output=size /tmp /scratch | tail -n 2; ulimit -f; "
         "sed -n 's/^Seccomp:[[:space:]]*//p' /proc/self/status; "
         "unshare -U true 2>&1 | grep -q 'Operation not permitted' && echo refused || echo made")


class Stopped(Exception):
    """The run is being ended: no sandbox starts any more."""


class Flooded(Exception):
    """A step wrote more than OUTPUT_CAP bytes and was ended."""

    def __init__(self, output):
        super().__init__("more than %s of output" % size_in_words(OUTPUT_CAP))
        self.output = output


class Slot:
    """One sandbox at a time, with its disk and limits (its control group named by the run's id
    RUN); each submission in it gets a user of its own and an X display that its sandbox starts
    and ends."""

    def __init__(self, index, work, cores, users, prefix, run):
        self.index, self.work, self.users = index, work, users
        os.makedirs(work, exist_ok=True)
        self.disk = Disk(os.path.join(work, "disk"), prefix)
        self.limits = Limits("%s%s-%d" % (GROUP_PREFIX, run, index), cores)
        self.uid = users.take()
        self.filter = None  # the compiled system call filter, once proved to load

    def next_user(self):
        """A user that no earlier submission had: nothing of one carries over to the next."""
        self.uid = self.users.take()

    def close(self):
        self.disk.clear()
        self.limits.close()


class Sandboxes:
    """Runs commands in the slots' sandboxes, each for at most TIMEOUT seconds, and ends those
    running when the run is stopped. FILES are the build's files a sandbox sees, read-only; HIDDEN
    are the files and folders the run reads and writes (the checkout, the build, the class, the
    reference, the report), which no sandbox sees even where they lie among the system's folders.
    RUN is the run's id, which every process of its sandboxes carries."""

    def __init__(self, files, timeout, hidden=(), run=""):
        self.files, self.timeout, self.hidden, self.run_id = files, timeout, list(hidden), run
        self.wine = os.environ.get("WINE", "wine")
        # The sandboxes running now, so that an interrupted run can end them.
        self.running, self.lock, self.stopping = set(), threading.Lock(), threading.Event()
        self.why_not = {}  # a limit that could not be set: why

    def command(self, slot, scratch, argv, cwd="/scratch", display=False):
        return bwrap.command(slot, scratch, argv, files=self.files, hidden=self.hidden, wine=self.wine,
                             run=self.run_id, cwd=cwd, display=display)

    def prove(self, slot):
        """Each limit of the slot's sandbox that holds, in words, keyed by its name, as read back:
        the control groups' files, and the sizes, limits and refused system calls a program inside
        sees."""
        held = slot.limits.in_force()
        if not slot.limits.working:
            self.why_not["control groups"] = "none could be made under /sys/fs/cgroup"
        held["time"] = "%g s a step" % self.timeout
        self.compile_filter(slot)
        try:
            scratch = slot.disk.make()
        except OSError as error:
            self.why_not["disk"] = str(error)
            slot.disk.limited = False
            scratch = slot.disk.make()
        os.chown(scratch, slot.uid, slot.uid)
        code, said = self.run(slot, scratch, ["sh", "-c", PROBE])
        slot.disk.clear()
        words = said.split()
        if code == 0 and len(words) == 5 and all(word.isdigit() for word in words[:4]):
            held.update(self.told(slot, *words))
        else:
            self.why_not["sandbox"] = "a program in it said: %s" % (" ".join(said.split())[:300] or "exit code %s" % code)
        return held

    def compile_filter(self, slot):
        """The slot's system call filter, compiled into its work folder, or why it could not be."""
        compiled = os.path.join(slot.work, SYSCALL_FILTER)
        made = run_limited([syscalls.DEBIAN_PYTHON, syscalls.__file__, compiled], TOOL_TIMEOUT)
        if made.returncode == 0:
            slot.filter = compiled
        else:
            said = made.stderr.strip().splitlines()
            self.why_not["system call filter"] = "not compiled: %s" % (
                said[-1] if said else "exit code %d" % made.returncode)

    def told(self, slot, tmp, disk, blocks, mode, namespace):
        """The limits that PROBE's words show to hold."""
        held = {}
        tmp, disk, blocks, mode = int(tmp), int(disk), int(blocks), int(mode)
        if tmp << 10 == TMP_LIMIT:
            held["/tmp"] = "/tmp %d MiB" % (TMP_LIMIT >> 20)
        if disk << 10 == DISK_LIMIT and slot.disk.limited:
            held["disk"] = "disk %d MiB" % (DISK_LIMIT >> 20)
        if blocks * 512 == FILE_SIZE_LIMIT:
            held["files"] = "files %d MiB each" % (FILE_SIZE_LIMIT >> 20)
        if slot.filter and mode == 2 and namespace == "refused":  # 2: a filter is loaded
            held["system call filter"] = "namespaces, mounts, ptrace, BPF and io_uring refused"
        elif slot.filter:
            self.why_not["system call filter"] = "a program in it was not refused a user namespace"
        return held

    def run(self, slot, scratch, argv, cwd="/scratch", display=False, timeout=None):
        """Runs argv in the sandbox for at most TIMEOUT seconds (--timeout's by default); returns
        (exit code or None when the limit ended it, output). Its output is read as it comes and held to Output's bound;
        past OUTPUT_CAP bytes the sandbox is ended and Flooded raised."""
        with self.lock:
            if self.stopping.is_set():
                raise Stopped()
            # NOTE: a session of its own: a Ctrl+C in the teacher's terminal reaches the grader,
            # which ends the sandboxes itself, not the students' programs.
            process = subprocess.Popen(self.command(slot, scratch, argv, cwd=cwd, display=display),
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.STDOUT, start_new_session=True)
            self.running.add(process)
        try:
            deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
            output, chunks = Output(), read_until(process.stdout, deadline)
            for chunk in chunks:
                output.add(chunk)
                if output.total > OUTPUT_CAP:
                    end_sandbox(process)
                    raise Flooded(output)
            try:
                # Its output ends with it, but a process may close its output and go on.
                return process.wait(timeout=0 if chunks.timed_out else max(0, deadline - time.monotonic())), \
                    output.text()
            except subprocess.TimeoutExpired:
                end_sandbox(process)
                return None, output.text()
        finally:
            process.stdout.close()
            with self.lock:
                self.running.discard(process)

    def stop(self):
        """Ends every sandbox now running and starts no more."""
        with self.lock:
            self.stopping.set()
            running = list(self.running)
        for process in running:
            end_sandbox(process)


class read_until:
    """The chunks a pipe gives until its end or DEADLINE (then timed_out is set)."""

    def __init__(self, pipe, deadline):
        self.fd, self.deadline, self.timed_out = pipe.fileno(), deadline, False

    def __iter__(self):
        while True:
            left = self.deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                self.timed_out = True
                return
            chunk = os.read(self.fd, 1 << 16)
            if not chunk:
                return
            yield chunk


def end_sandbox(process):
    """Ends everything in the sandbox: its first process is the namespace's init, and with it go
    all the others. bwrap then reaps it and ends too."""
    try:
        with open("/proc/%d/task/%d/children" % (process.pid, process.pid)) as f:
            for child in f.read().split():
                os.kill(int(child), 9)
    except OSError:
        pass
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
