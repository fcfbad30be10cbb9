// Takes memory without end, 64 MiB at a time, by Linux's mmap with MAP_POPULATE, which no Windows
// call could stop: the kernel fills each block at once, so it reaches the limit after the least
// work (touching page after page took seconds of processor, past a step's time on a loaded
// machine).
#include "Tutorial.h"

static void TakeBlock()
{
    const long Size = 64 << 20, Prot = 3 /* read, write */,
               Flags = 0x8022 /* private, anonymous, populate */;
#if defined(__x86_64__)
    // NOTE: long is 32 bits on 64-bit Windows; the registers take all 64.
    long long Result;
    register long long R10 asm("r10") = Flags;
    register long long R8 asm("r8") = -1;
    register long long R9 asm("r9") = 0;
    asm volatile("syscall"
                 : "=a"(Result)
                 : "a"(9LL), "D"(0LL), "S"((long long)Size), "d"((long long)Prot), "r"(R10),
                   "r"(R8), "r"(R9)
                 : "rcx", "r11", "memory");
#else
    // The old mmap of i386 takes its six arguments from memory.
    const long Args[6] = {0, Size, Prot, Flags, -1, 0};
    long Result;
    asm volatile("int $0x80" : "=a"(Result) : "a"(90L), "b"(Args) : "memory");
#endif
}

void TForm1::DrawScene()
{
    for (;;)
        TakeBlock();
}
