#include "TestSupport.h"

#include <chrono>
#include <thread>

std::future<TMessageBoxSeen> AnswerMessageBox(const char* Caption, std::function<void()> During,
                                              DWORD TimeoutMs)
{
    const auto Answer = [Caption, During, TimeoutMs]
    {
        TMessageBoxSeen Seen;
        const HWND Box = WaitForWindowOf(::GetCurrentProcessId(), "#32770", TimeoutMs, Caption);
        if (!Box)
            return Seen;
        Seen.Found = true;
        char Text[512] = {};
        ::GetDlgItemTextA(Box, 0xFFFF, Text, sizeof Text);
        Seen.Text = Text;
        Seen.OkOnly = ::GetDlgItem(Box, IDOK) && !::GetDlgItem(Box, IDCANCEL) &&
                      !::GetDlgItem(Box, IDYES) && !::GetDlgItem(Box, IDNO);
        if (During)
            During();
        // NOTE: WM_CLOSE would make the box return IDCANCEL on Wine.
        ::PostMessageA(Box, WM_COMMAND, IDOK, 0);
        return Seen;
    };
    return std::async(std::launch::async, Answer);
}

HWND FindWindowOf(DWORD Process, const char* Class, const char* Caption)
{
    for (HWND Window = nullptr; (Window = ::FindWindowExA(nullptr, Window, Class, Caption));)
    {
        DWORD Owner = 0;
        ::GetWindowThreadProcessId(Window, &Owner);
        if (Owner == Process)
            return Window;
    }
    return nullptr;
}

HWND WaitForWindowOf(DWORD Process, const char* Class, DWORD TimeoutMs, const char* Caption)
{
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    for (;;)
    {
        // A window counts once it is shown: a message box's text is set by then.
        const HWND Window = FindWindowOf(Process, Class, Caption);
        if (Window && ::IsWindowVisible(Window))
            return Window;
        if (std::chrono::steady_clock::now() >= Deadline)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool MessageBoxShown()
{
    return FindWindowOf(::GetCurrentProcessId(), "#32770") != nullptr;
}
