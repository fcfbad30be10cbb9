"""The command line that runs a step in a sandbox: bubblewrap, as the slot's user, seeing the
system read-only, the kit read-only, its scratch folder and nothing else; no network; the slot's
system call filter loaded."""
import glob
import os

from tutor.grade.sandbox.display import with_display
from tutor.grade.sandbox.limits import TMP_LIMIT, rlimits
from tutor.session import DLL_OVERRIDES

# What a sandbox sees of /usr: the system's programs, libraries and data, and the cross compilers'
# own folders; never /usr/local or /usr/src, where a teacher may keep anything.
USR_FOLDERS = ["bin", "sbin", "lib", "lib32", "lib64", "libx32", "libexec", "share", "*-w64-mingw32"]
SYSTEM_FOLDERS = ["/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"]
SYSTEM_FILES = ("/etc/alternatives", "/etc/ld.so.cache", "/etc/fonts")
FILTER_FD = 3  # where bwrap reads the system call filter
RUN_VARIABLE = "TUTORIAL_GRADE_RUN"  # the run's id, which every process of its sandboxes carries


def command(slot, scratch, argv, *, files, hidden, wine, run, cwd="/scratch", display=False):
    """The command that runs ARGV in SLOT's sandbox with SCRATCH as /scratch. FILES are the
    build's files it sees read-only; HIDDEN the run's own, which it never sees, even where they
    lie among the system's folders; WINE the Wine it runs; RUN the run's id. With DISPLAY, ARGV
    runs on an X server of the sandbox's own."""
    box = ["bwrap", "--unshare-ipc", "--unshare-pid", "--unshare-net", "--unshare-uts",
           "--unshare-cgroup-try", "--die-with-parent", "--new-session",
           "--cap-add", "CAP_SETUID", "--cap-add", "CAP_SETGID",
           "--proc", "/proc", "--dev", "/dev",
           "--perms", "1777", "--size", str(TMP_LIMIT), "--tmpfs", "/tmp",
           "--perms", "1777", "--dir", "/tmp/.X11-unix"]
    if slot.filter:
        box += ["--seccomp", str(FILTER_FD)]
    box += folders(sorted(files), scratch, hidden)
    box += ["--clearenv"]
    for key, value in environment(wine, run).items():
        box += ["--setenv", key, value]
    box += ["--chdir", cwd, "--",
            "setpriv", "--reuid=%d" % slot.uid, "--regid=%d" % slot.uid, "--clear-groups",
            "--inh-caps=-all", "--bounding-set=-all", "--"] + rlimits()
    if display:
        box += with_display()
    # bwrap reads the filter from a descriptor, opened here for each sandbox.
    opened = ["sh", "-c", 'exec "$@" %d<"$0"' % FILTER_FD, slot.filter] if slot.filter else []
    return slot.limits.prefix() + opened + box + argv


def system():
    """bwrap's arguments for the host's system folders and files, and the paths it shows."""
    made, shown = [], []
    for top in SYSTEM_FOLDERS + sorted(p for pattern in USR_FOLDERS for p in glob.glob(os.path.join("/usr", pattern))):
        if os.path.islink(top):
            made += ["--symlink", os.readlink(top), top]
        elif os.path.isdir(top):
            made += ["--ro-bind", top, top]
            shown.append(top)
    for path in SYSTEM_FILES:
        if os.path.exists(path):
            made += ["--ro-bind", path, path]
            shown.append(path)
    return made, shown


def masks(hidden, shown):
    """What the run reads and writes, where a folder it sees would show it: a folder under an
    empty one, a file (one straight in a system folder) under an empty file. bwrap's arguments,
    and the folders emptied."""
    made, masked = [], []
    for path in sorted({os.path.realpath(p) for p in hidden}, key=len):
        folder = path if os.path.isdir(path) else os.path.dirname(path)
        if not os.path.exists(path) or any(within(path, m) for m in masked):
            continue
        if any(within(folder, top) and folder != top for top in shown):
            made += ["--tmpfs", folder]
            masked.append(folder)
        elif os.path.isfile(path) and any(within(path, top) for top in shown):
            made += ["--ro-bind", "/dev/null", path]
    return made, masked


def folders(files, scratch, hidden):
    """bwrap's arguments for every folder and file the sandbox sees: the system, the masks over
    the run's own, FILES read-only and SCRATCH."""
    made, shown = system()
    hiding, masked = masks(hidden, shown)
    binds = [(path, path) for path in files] + [(scratch, "/scratch")]
    # NOTE: bwrap makes the folders above a mount point for root alone (0700): make them
    # first, open to all, or the sandbox's user could not reach what is mounted there. Those
    # in a mask are made once it is there.
    above = {"/etc", "/usr"}
    for _, target in binds:
        if not os.path.isabs(target):
            raise ValueError("a sandbox mounts only absolute paths: %s" % target)
        parent = os.path.dirname(target)
        while parent not in ("/", "/tmp") and not (any(within(parent, top) for top in shown) and
                                                   not any(within(parent, m) for m in masked)):
            above.add(parent)
            parent = os.path.dirname(parent)
    opened = lambda folders: [arg for folder in sorted(folders, key=lambda p: p.count("/"))
                              for arg in ("--perms", "0755", "--dir", folder)]
    box = opened(f for f in above if not any(within(f, m) for m in masked)) + made + hiding
    box += opened(f for f in above if any(within(f, m) for m in masked))
    for source, target in binds:
        box += ["--bind" if target == "/scratch" else "--ro-bind", source, target]
    return box


# The session's, and without Wine's device services (drives' volumes, network, game controllers,
# plug and play): they serve no scene, and starting them took 0.8 s of processor in every
# sandboxed run, two fifths of Wine's start.
OVERRIDES = DLL_OVERRIDES + ";winedevice.exe,plugplay.exe=d"


def environment(wine, run):
    """The variables a sandbox's programs get, and no others."""
    env = {"PATH": "/usr/bin:/bin", "HOME": "/scratch/home", "XDG_CACHE_HOME": "/scratch/home/.cache",
           "WINEPREFIX": "/scratch/prefix", "WINEDEBUG": "-all", "WINE": wine,
           "WINEDLLOVERRIDES": OVERRIDES, "LANG": "C.UTF-8", RUN_VARIABLE: run}
    for key in ("WINEARCH", "WINELOADER"):
        if key in os.environ:
            env[key] = os.environ[key]
    return env


def within(path, folder):
    """Whether PATH is FOLDER or lies under it."""
    return path == folder or path.startswith(folder.rstrip("/") + "/")
