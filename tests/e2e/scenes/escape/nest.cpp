// Reaches for the kernel by raw system calls, as a Windows program under Wine can: a raw clone
// gives a single-threaded child (a Wine process has many threads, and unshare wants one), which
// tries a user namespace of its own, a network namespace and io_uring.
#include "Syscall.h"

#include <string>

#if defined(__x86_64__)
constexpr std::intptr_t SysClone = 56, SysWait4 = 61, SysExitGroup = 231, SysUnshare = 272;
#else
constexpr std::intptr_t SysClone = 120, SysWait4 = 114, SysExitGroup = 252, SysUnshare = 310;
#endif
constexpr std::intptr_t SysIoUringSetup = 425, CloneNewUser = 0x10000000, CloneNewNet = 0x40000000;
constexpr std::intptr_t WaitAll = 0x40000000; // __WALL: a child that signals nothing at its end
constexpr std::intptr_t Interrupted = -4;
constexpr int Ran = 0x40; // in the child's exit code: it got this far
constexpr int MadeUser = 1, MadeNet = 2, MadeRing = 4;

// What the child made, or that it could not tell (then nothing is proved).
std::string Nest()
{
    // NOTE: no exit signal, so that however Wine handles SIGCHLD the child waits to be reaped.
    const std::intptr_t Child = Sys(SysClone, 0, 0, 0, 0);
    if (Child == 0)
    {
        // The child: only raw system calls from here, on its copy of this thread's stack.
        int Made = 0;
        if (Sys(SysUnshare, CloneNewUser) == 0)
            Made |= MadeUser;
        if (Sys(SysUnshare, CloneNewNet) == 0)
            Made |= MadeNet;
        unsigned char Params[120] = {}; // struct io_uring_params
        if (Sys(SysIoUringSetup, 1, std::intptr_t(Params)) >= 0)
            Made |= MadeRing;
        for (;;)
            Sys(SysExitGroup, Ran | Made);
    }
    if (Child < 0)
        return "no child was cloned, so nothing was proved; ";
    int Status = 0;
    std::intptr_t Waited;
    do
        Waited = Sys(SysWait4, Child, std::intptr_t(&Status), WaitAll, 0);
    while (Waited == Interrupted);
    const int Code = (Status >> 8) & 0xff;
    if (Waited != Child || (Status & 0x7f) != 0 || (Code & Ran) == 0)
        return "the child did not tell what it made, so nothing was proved; ";
    std::string Out;
    if (Code & MadeUser)
        Out += "made a user namespace; ";
    if (Code & MadeNet)
        Out += "made a network namespace; ";
    if (Code & MadeRing)
        Out += "set up io_uring; ";
    return Out;
}
