// Draws a red window, and at its first frame puts a link where its pictures folder was, to
// @LURE@ in its own /tmp, where the program's pictures then land. A grader that follows the link
// on the host reads the host's folder of that name instead, which the test filled with the
// expected pictures.
#include "Tutorial.h"

#include <GL/gl.h>

#include <cstdint>

// A Linux system call of two arguments, as a Windows program under Wine can make one.
static std::intptr_t Linux(std::intptr_t Number, const char* First, const char* Second = nullptr)
{
    std::intptr_t Result;
#if defined(__x86_64__)
    asm volatile("syscall"
                 : "=a"(Result)
                 : "a"(Number), "D"(First), "S"(Second)
                 : "rcx", "r11", "memory");
#else
    asm volatile("int $0x80" : "=a"(Result) : "a"(Number), "b"(First), "c"(Second) : "memory");
#endif
    return Result;
}

#if defined(__x86_64__)
constexpr std::intptr_t SysMkdir = 83, SysRmdir = 84, SysSymlink = 88;
#else
constexpr std::intptr_t SysMkdir = 39, SysRmdir = 40, SysSymlink = 83;
#endif

void TForm1::DrawScene()
{
    static const bool Linked =
        Linux(SysMkdir, "@LURE@", reinterpret_cast<const char*>(0777)) == 0 &&
        Linux(SysRmdir, "/scratch/pictures") == 0 &&
        Linux(SysSymlink, "@LURE@", "/scratch/pictures") == 0;
    ::glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    if (!Linked)
        throw Exception("the pictures folder could not be replaced by a link");
}
