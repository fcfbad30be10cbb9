#include "TestSupport.h"

#include <gtest/gtest.h>

namespace
{

struct TChild
{
    PROCESS_INFORMATION Info{};

    explicit TChild(const std::wstring& Exe, const std::wstring& Arguments = L"")
    {
        std::wstring CommandLine = L"\"" + Exe + L"\" " + Arguments;
        STARTUPINFOW Startup{};
        Startup.cb = sizeof Startup;
        EXPECT_TRUE(::CreateProcessW(Exe.c_str(), CommandLine.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, nullptr, &Startup, &Info))
            << "cannot start the program";
    }
    ~TChild()
    {
        if (::WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT)
            ::TerminateProcess(Info.hProcess, 99);
        ::CloseHandle(Info.hThread);
        ::CloseHandle(Info.hProcess);
    }

    DWORD ExitCode(DWORD TimeoutMs = 20000) const
    {
        if (::WaitForSingleObject(Info.hProcess, TimeoutMs) != WAIT_OBJECT_0)
            return 1000; // still running
        DWORD Code = 0;
        ::GetExitCodeProcess(Info.hProcess, &Code);
        return Code;
    }
};

TEST(Entry, AnExceptionFromTheMainWindowsCreationIsShownAndTheExitCodeIsZero)
{
    TChild Child(BesideThisExecutable(L"" THROWING_ENTRY));
    const DWORD Process = Child.Info.dwProcessId;

    // The box belongs to the child: find it by class, caption and process.
    const HWND Box = WaitForWindowOf(Process, "#32770");
    ASSERT_NE(Box, nullptr) << "no error box";
    char Caption[64] = {}, Text[256] = {};
    ::GetWindowTextA(Box, Caption, sizeof Caption);
    ::GetDlgItemTextA(Box, 0xFFFF, Text, sizeof Text);
    EXPECT_STREQ(Caption, "throwing_entry");
    EXPECT_STREQ(Text, "FormCreate failed on purpose");
    EXPECT_EQ(FindWindowOf(Process, "TForm1"), nullptr) << "a half-built window is left";

    ::PostMessageA(Box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Child.ExitCode(), 0u);
}

TEST(Entry, TheCommandLineIsIgnoredAndClosingExitsWithZero)
{
    TChild Child(BesideThisExecutable(L"..\\" TUTORIAL_EXE), L"--help /? \"quoted arg\" %s%s%n");
    const HWND Window = WaitForWindowOf(Child.Info.dwProcessId, "TForm1");
    ASSERT_NE(Window, nullptr);
    ::PostMessageW(Window, WM_CLOSE, 0, 0);
    EXPECT_EQ(Child.ExitCode(), 0u);
}

} // namespace
