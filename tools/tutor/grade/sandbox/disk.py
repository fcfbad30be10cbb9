"""A slot's own disk and the run's private mounts: a tmpfs a submission, with the prepared Wine
prefix under an overlay, mounted in a namespace of the grader's own."""
import ctypes
import os
import re
import shutil

from tutor.outside import run_limited

DISK_LIMIT = 256 << 20  # its own disk: its scene, its program, what it changes in its Wine prefix
TOOL_TIMEOUT = 60  # seconds for one call of a tool outside the sandbox (mount, the filter's compiler, ...)


class Disk:
    """A slot's own disk, made anew for each submission: a tmpfs of DISK_LIMIT bytes holding the
    submission's folder, with the prepared Wine prefix under an overlay whose changes land on the
    same tmpfs. A submission that fills its disk fills this, nothing of the host's. Unlimited (a
    host folder, each file limited alone, the prefix copied as hard links) where mounts fail."""

    def __init__(self, path, prefix):
        self.path, self.prefix, self.limited = path, prefix, True
        self.scratch = os.path.join(path, "scratch")

    def make(self):
        """The submission's empty folder with its own Wine prefix in it. Raises OSError, saying
        why, when a limited disk cannot be made."""
        self.clear()
        os.makedirs(self.path)
        merged = os.path.join(self.scratch, "prefix")
        if not self.limited:
            os.makedirs(self.scratch)
            if run_limited(["cp", "-al", self.prefix, merged], 120).returncode != 0:
                shutil.copytree(self.prefix, merged, symlinks=True)
            return self.scratch
        mount("tmpfs", self.path, "size=%d,mode=0755,nosuid,nodev" % DISK_LIMIT)
        for folder in ("upper", "over", "scratch/prefix"):
            os.makedirs(os.path.join(self.path, folder))
        # NOTE: the option string splits at commas and colons; a path's own are escaped.
        escape = lambda path: re.sub(r"([,:\\])", r"\\\1", path)
        mount("overlay", merged, "lowerdir=%s,upperdir=%s,workdir=%s,nosuid,nodev" % (
            escape(self.prefix), escape(os.path.join(self.path, "upper")), escape(os.path.join(self.path, "over"))))
        return self.scratch

    def clear(self):
        """Unmounts and removes it all; whatever a dying sandbox still holds goes when it ends."""
        remove_mounted(self.path)


def mount(kind, point, options):
    result = run_limited(["mount", "-t", kind, "-o", options, kind, point], TOOL_TIMEOUT)
    if result.returncode != 0:
        raise OSError("%s at %s: %s" % (kind, point, " ".join(result.stderr.split()) or "exit code %d" % result.returncode))


def remove_mounted(path):
    """Removes a folder with whatever is mounted in it, the deepest mount first."""
    for point in sorted(mounts_under(path), key=len, reverse=True):
        run_limited(["umount", "--lazy", point], TOOL_TIMEOUT)
    shutil.rmtree(path, ignore_errors=True)


def mounts_under(path):
    """The mount points at path or under it, as the kernel lists them (octal escapes undone)."""
    points = []
    with open("/proc/self/mounts") as f:
        for line in f:
            point = re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)), line.split()[1])
            if point == path or point.startswith(path.rstrip("/") + "/"):
                points.append(point)
    return points


def private_mounts():
    """Gives this process a mount namespace of its own, where the sandboxes' disks are mounted:
    they go when its last process ends, even if the grader is killed. False where it cannot be
    (not root); the disks then stay until the next run removes them. NOTE: before any thread
    starts; the kernel refuses it to a process with more than one."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(0x00020000) != 0:  # CLONE_NEWNS
        return False
    # Nothing mounted here reaches the host's namespace.
    return libc.mount(b"none", b"/", None, 0x4000 | 0x40000, None) == 0  # MS_REC | MS_PRIVATE
