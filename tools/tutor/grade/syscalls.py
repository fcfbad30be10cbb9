"""The system calls a sandbox refuses, as a seccomp filter that bubblewrap loads (--seccomp FD).
Any Windows program under Wine can make raw Linux system calls, and a raw fork gives it the
single-threaded child that unshare wants: without the filter a scene could make a user namespace
of its own (root in it) and reach whatever kernel code that opens to root, as root's grader runs
it. Refused: new namespaces, mounts, tracing, BPF, perf events, the kernel's key store,
userfaultfd, io_uring, loading kernels and modules; for 64-bit, 32-bit and x32 programs alike.

Run as `syscalls.py OUT` by Debian's Python, which has libseccomp's module (python3-seccomp):
it writes the compiled filter to OUT.
"""
import errno
import sys

DEBIAN_PYTHON = "/usr/bin/python3"  # the interpreter that finds python3-seccomp

REFUSED = ["unshare", "setns", "mount", "umount", "umount2", "pivot_root",
           # the newer mount calls, which a namespace of its own would let it use
           "fsopen", "fsconfig", "fsmount", "fspick", "move_mount", "open_tree", "mount_setattr",
           "ptrace", "bpf", "perf_event_open", "keyctl", "add_key", "request_key", "userfaultfd",
           "io_uring_setup", "io_uring_enter", "io_uring_register",
           "kexec_load", "kexec_file_load", "init_module", "finit_module", "delete_module"]

# clone's flags that make a namespace; refused in any combination.
NAMESPACE_FLAGS = {"CLONE_NEWTIME": 0x00000080, "CLONE_NEWNS": 0x00020000, "CLONE_NEWCGROUP": 0x02000000,
                   "CLONE_NEWUTS": 0x04000000, "CLONE_NEWIPC": 0x08000000, "CLONE_NEWUSER": 0x10000000,
                   "CLONE_NEWPID": 0x20000000, "CLONE_NEWNET": 0x40000000}

ARCHES = ["X86_64", "X86", "X32"]  # libseccomp's names; a call of any other width is killed


def build():
    """The filter, as libseccomp's object."""
    import seccomp
    refuse = seccomp.ERRNO(errno.EPERM)
    rules = seccomp.SyscallFilter(seccomp.ALLOW)
    for name in ARCHES:
        arch = getattr(seccomp.Arch, name)
        if not rules.exist_arch(arch):
            rules.add_arch(arch)
    for name in REFUSED:
        rules.add_rule(refuse, name)
    for flag in NAMESPACE_FLAGS.values():
        rules.add_rule(refuse, "clone", seccomp.Arg(0, seccomp.MASKED_EQ, flag, flag))
    # NOTE: clone3 passes its flags in memory, where a filter cannot read them; without it libc
    # falls back to clone, whose flags are checked above.
    rules.add_rule(seccomp.ERRNO(errno.ENOSYS), "clone3")
    return rules


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        build().export_bpf(out)
