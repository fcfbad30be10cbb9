#include "TestSupport.h"

#include <gtest/gtest.h>

namespace
{

TEST(Entry, AnExceptionFromTheMainWindowsCreationIsShownAndTheExitCodeIsZero)
{
    // The program built from the real entry with a main window whose creation throws, beside us.
    wchar_t Path[MAX_PATH];
    std::wstring Exe(Path, ::GetModuleFileNameW(nullptr, Path, MAX_PATH));
    Exe = Exe.substr(0, Exe.find_last_of(L"\\/") + 1) + L"" THROWING_ENTRY;
    STARTUPINFOW Startup{};
    Startup.cb = sizeof Startup;
    PROCESS_INFORMATION Child{};
    ASSERT_TRUE(::CreateProcessW(Exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &Startup, &Child));

    // The box belongs to the child: find it by class, caption and process.
    const HWND Box = WaitForWindowOf(Child.dwProcessId, "#32770");
    char Caption[64] = {}, Text[256] = {};
    ::GetWindowTextA(Box, Caption, sizeof Caption);
    ::GetDlgItemTextA(Box, 0xFFFF, Text, sizeof Text);
    EXPECT_STREQ(Caption, "throwing_entry");
    EXPECT_STREQ(Text, "FormCreate failed on purpose");
    EXPECT_EQ(FindWindowOf(Child.dwProcessId, "TForm1"), nullptr) << "a half-built window is left";

    ::PostMessageA(Box, WM_COMMAND, IDOK, 0);
    DWORD Code = 1000; // still running
    if (::WaitForSingleObject(Child.hProcess, 20000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(Child.hProcess, &Code);
    else
        ::TerminateProcess(Child.hProcess, 99);
    EXPECT_EQ(Code, 0u);
    ::CloseHandle(Child.hThread);
    ::CloseHandle(Child.hProcess);
}

} // namespace
