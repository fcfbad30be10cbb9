#include "TestSupport.h"

#include <chrono>
#include <thread>

namespace
{

struct TSearch
{
    DWORD Process;
    const char* Class;
    const char* Caption;
    HWND Found;
};

BOOL CALLBACK MatchWindow(HWND Window, LPARAM Param)
{
    auto* Search = reinterpret_cast<TSearch*>(Param);
    DWORD Process = 0;
    char Class[64] = {};
    char Caption[256] = {};
    ::GetWindowThreadProcessId(Window, &Process);
    ::GetClassNameA(Window, Class, sizeof Class);
    ::GetWindowTextA(Window, Caption, sizeof Caption);
    if (Process == Search->Process && std::string(Class) == Search->Class &&
        (!Search->Caption || std::string(Caption) == Search->Caption))
    {
        Search->Found = Window;
        return FALSE;
    }
    return TRUE;
}

HWND FindMessageBox(const char* Caption)
{
    return FindWindowOf(::GetCurrentProcessId(), "#32770", Caption);
}

} // namespace

std::future<TMessageBoxSeen> AnswerMessageBox(const char* Caption, std::function<void()> During,
                                              DWORD TimeoutMs)
{
    return std::async(std::launch::async,
                      [Caption, During, TimeoutMs]
                      {
                          TMessageBoxSeen Seen;
                          const auto Deadline = std::chrono::steady_clock::now() +
                                                std::chrono::milliseconds(TimeoutMs);
                          HWND Box = nullptr;
                          while (!(Box = FindMessageBox(Caption)) &&
                                 std::chrono::steady_clock::now() < Deadline)
                              std::this_thread::sleep_for(std::chrono::milliseconds(10));
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
                      });
}

HWND FindWindowOf(DWORD Process, const char* Class, const char* Caption)
{
    TSearch Search{Process, Class, Caption, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&Search));
    return Search.Found;
}

HWND WaitForWindowOf(DWORD Process, const char* Class, DWORD TimeoutMs)
{
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    for (;;)
    {
        // A window counts once it is shown: a message box's text is set by then.
        const HWND Window = FindWindowOf(Process, Class);
        if (Window && ::IsWindowVisible(Window))
            return Window;
        if (std::chrono::steady_clock::now() >= Deadline)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool MessageBoxShown()
{
    return FindMessageBox(nullptr) != nullptr;
}
