// A Linux system call of up to four arguments, as a Windows program under Wine can make one.
#pragma once

#include <cstdint>

inline std::intptr_t Sys(std::intptr_t Number, std::intptr_t A = 0, std::intptr_t B = 0,
                         std::intptr_t C = 0, std::intptr_t D = 0)
{
    std::intptr_t Result;
#if defined(__x86_64__)
    register std::intptr_t R10 asm("r10") = D;
    asm volatile("syscall"
                 : "=a"(Result)
                 : "a"(Number), "D"(A), "S"(B), "d"(C), "r"(R10)
                 : "rcx", "r11", "memory");
#else
    asm volatile("int $0x80"
                 : "=a"(Result)
                 : "a"(Number), "b"(A), "c"(B), "d"(C), "S"(D)
                 : "memory");
#endif
    return Result;
}
