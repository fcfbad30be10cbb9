// A helper for tools/grade, run under Wine beside a program being graded: prints the caption and
// the text of every message box on the desktop, one box a line as "caption: text", in UTF-8.
// Exits with 1 when there is none.
#include <windows.h>

#include <cstdio>
#include <string>

namespace
{

std::string Utf8(const wchar_t* Text)
{
    const int Size = ::WideCharToMultiByte(CP_UTF8, 0, Text, -1, nullptr, 0, nullptr, nullptr);
    std::string Result(Size > 0 ? Size - 1 : 0, '\0');
    if (Size > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, Text, -1, &Result[0], Size, nullptr, nullptr);
    // One box a line: the text's own line breaks become spaces.
    for (char& C : Result)
        if (C == '\r' || C == '\n')
            C = ' ';
    return Result;
}

BOOL CALLBACK PrintBox(HWND Window, LPARAM Found)
{
    wchar_t Class[16] = {};
    ::GetClassNameW(Window, Class, 16);
    if (!::IsWindowVisible(Window) || std::wstring(Class) != L"#32770")
        return TRUE;
    wchar_t Caption[256] = {};
    ::GetWindowTextW(Window, Caption, 256);
    // NOTE: a message box's text is the static control with the id 0xFFFF.
    wchar_t Text[4096] = {};
    ::GetDlgItemTextW(Window, 0xFFFF, Text, 4096);
    std::printf("%s: %s\n", Utf8(Caption).c_str(), Utf8(Text).c_str());
    *reinterpret_cast<bool*>(Found) = true;
    return TRUE;
}

} // namespace

int main()
{
    bool Found = false;
    ::EnumWindows(PrintBox, reinterpret_cast<LPARAM>(&Found));
    return Found ? 0 : 1;
}
