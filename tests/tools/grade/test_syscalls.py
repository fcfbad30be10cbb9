"""The sandbox's system call filter, run by a BPF interpreter for each width and loaded for real
into a child. (The grade scripts run real sandboxes end to end.)"""
import struct
import subprocess

import pytest

from tutor.grade import syscalls

ALLOW, EPERM, ENOSYS, KILL = 0x7FFF0000, 0x00050001, 0x00050026, 0
# Each width's numbers as the kernel's tables give them: (audit arch, number bit, {call: number}).
WIDTHS = {
    "x86_64": (0xC000003E, 0, dict(
        read=0, write=1, fork=57, futex=202, clone=56, clone3=435, unshare=272, setns=308, mount=165, umount2=166,
        pivot_root=155, ptrace=101, bpf=321, perf_event_open=298, keyctl=250, add_key=248, request_key=249,
        userfaultfd=323, io_uring_setup=425, io_uring_enter=426, io_uring_register=427, kexec_load=246,
        kexec_file_load=320, init_module=175, finit_module=313, delete_module=176)),
    # The other widths: their own numbers for the same list, and i386's old umount.
    "i386": (0x40000003, 0, dict(
        read=3, write=4, fork=2, futex=240, clone=120, clone3=435, unshare=310, setns=346, mount=21, umount=22,
        umount2=52, ptrace=26, bpf=357, io_uring_setup=425)),
    "x32": (0xC000003E, 0x40000000, dict(read=0, write=1, clone=56, clone3=435, unshare=272, ptrace=521)),
}
ALLOWED = {"read", "write", "fork", "futex"}
NAMESPACES = {"time": 0x80, "mount": 0x20000, "cgroup": 0x2000000, "uts": 0x4000000, "ipc": 0x8000000,
              "user": 0x10000000, "pid": 0x20000000, "net": 0x40000000}  # clone's CLONE_NEW* flags
THREAD = 0x003D0F00  # the flags of glibc's pthread_create
SIGCHLD = 17


@pytest.fixture(scope="module")
def compiled(tmp_path_factory):
    """The filter as the grader compiles it."""
    path = str(tmp_path_factory.mktemp("filter") / "syscalls.bpf")
    subprocess.run([syscalls.DEBIAN_PYTHON, syscalls.__file__, path], check=True, timeout=60)
    with open(path, "rb") as f:
        return f.read()


def verdict(program, arch, number, args=()):
    """What the classic BPF PROGRAM returns for a call, as the kernel would run it. libseccomp
    writes loads of the call's words, ANDs, jumps on a constant and returns; anything else fails."""
    data = struct.pack("<iIQ6Q", number, arch, 0, *(list(args) + [0] * 6)[:6])
    a = pc = 0
    while True:
        op, jt, jf, k = struct.unpack_from("<HBBI", program, 8 * pc)
        pc += 1
        if op == 0x20:  # A = a word of the call's data
            a = struct.unpack_from("<I", data, k)[0]
        elif op == 0x54:
            a &= k
        elif op == 0x06:
            return k
        else:  # a jump on A against K: equal, greater, at least, any bit in common
            pc += jt if {0x15: a == k, 0x25: a > k, 0x35: a >= k, 0x45: a & k != 0}[op] else jf


@pytest.mark.parametrize("width", sorted(WIDTHS))
def test_each_width_is_refused_new_namespaces_and_the_risky_calls_and_keeps_the_rest(compiled, width):
    arch, bit, numbers = WIDTHS[width]
    for name, number in numbers.items():
        expected = ALLOW if name in ALLOWED or name == "clone" else ENOSYS if name == "clone3" else EPERM
        assert verdict(compiled, arch, bit | number) == expected, name
    clone = bit | numbers["clone"]
    assert verdict(compiled, arch, clone, [SIGCHLD]) == ALLOW
    assert verdict(compiled, arch, clone, [THREAD]) == ALLOW
    for name, flag in NAMESPACES.items():
        assert verdict(compiled, arch, clone, [THREAD | flag]) == EPERM, name
        assert verdict(compiled, arch, clone, [SIGCHLD | flag]) == EPERM, name
    assert verdict(compiled, 0xC00000B7, 0) == KILL  # another machine's calls


def test_loaded_for_real_it_refuses_a_user_namespace_and_io_uring_and_threads_and_forks_still_start(
        compiled, tmp_path):
    child = """
import ctypes, errno, os, sys, threading
libc = ctypes.CDLL(None, use_errno=True)
program = open(sys.argv[1], "rb").read()
class Prog(ctypes.Structure):
    _fields_ = [("len", ctypes.c_ushort), ("filter", ctypes.c_char_p)]
assert libc.prctl(38, 1, 0, 0, 0) == 0  # PR_SET_NO_NEW_PRIVS
assert libc.prctl(22, 2, ctypes.byref(Prog(len(program) // 8, program)), 0, 0) == 0, ctypes.get_errno()
said = []
def call(*args):
    said.append(errno.errorcode.get(ctypes.get_errno(), "0") if libc.syscall(*args) < 0 else "worked")
call(272, 0x10000000)  # unshare(CLONE_NEWUSER)
call(425, 1, ctypes.create_string_buffer(120))  # io_uring_setup
threading.Thread(target=said.append, args=("thread",)).start()
pid = os.fork()
if pid == 0:
    os._exit(7)
said.append("fork %d" % os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
print(" ".join(said))
"""
    path = tmp_path / "syscalls.bpf"
    path.write_bytes(compiled)
    said = subprocess.run([syscalls.DEBIAN_PYTHON, "-c", child, str(path)], capture_output=True, text=True,
                          timeout=60)
    assert said.stdout.split() == ["EPERM", "EPERM", "thread", "fork", "7"], said.stderr
