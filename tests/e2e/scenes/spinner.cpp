// Keeps a thread spinning on each processor for as long as it runs, and draws the expected
// square: more than its sandbox's share of the processors, which the other sandboxes must not
// feel. (Twice as many threads as processors starved its own frames past a step's time on a
// loaded machine, and proved no more.)
#include "Tutorial.h"

#include <GL/gl.h>

static DWORD WINAPI Spin(void*)
{
    for (volatile unsigned Counter = 0;; ++Counter)
        ;
}

void TForm1::DrawScene()
{
    static const bool Started = []
    {
        SYSTEM_INFO System;
        ::GetSystemInfo(&System);
        for (DWORD Thread = 0; Thread < System.dwNumberOfProcessors; ++Thread)
            ::CreateThread(nullptr, 0, Spin, nullptr, 0, nullptr);
        return true;
    }();
    (void)Started;
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
