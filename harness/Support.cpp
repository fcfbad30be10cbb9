#include "Support.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

void Say(const std::string& Line)
{
    const std::string Text = Line + "\n";
    DWORD Written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), Text.data(), static_cast<DWORD>(Text.size()),
                &Written, nullptr);
}

void Finish(int Code)
{
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(Code));
    ::ExitProcess(static_cast<UINT>(Code));
}

std::string DescribeCrash(const EXCEPTION_RECORD& Record)
{
    char Text[160];
    const auto Code = static_cast<unsigned long>(Record.ExceptionCode);
    if (Record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && Record.NumberParameters >= 2)
    {
        const ULONG_PTR Kind = Record.ExceptionInformation[0];
        std::snprintf(Text, sizeof Text, "access violation (0x%08lX) %s address 0x%p", Code,
                      Kind == 1   ? "writing"
                      : Kind == 8 ? "executing"
                                  : "reading",
                      reinterpret_cast<void*>(Record.ExceptionInformation[1]));
    }
    else
    {
        const char* Name =
            Record.ExceptionCode == EXCEPTION_STACK_OVERFLOW        ? "stack overflow"
            : Record.ExceptionCode == EXCEPTION_INT_DIVIDE_BY_ZERO  ? "integer division by zero"
            : Record.ExceptionCode == EXCEPTION_ILLEGAL_INSTRUCTION ? "illegal instruction"
                                                                    : "exception";
        std::snprintf(Text, sizeof Text, "%s (0x%08lX) at %p", Name, Code, Record.ExceptionAddress);
    }
    return Text;
}

namespace
{

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* Info)
{
    Say(Contract::ReportLine(Contract::TLine::Crash, DescribeCrash(*Info->ExceptionRecord)));
    Finish(Contract::ExitCrash);
}

} // namespace

void ReportCrashes()
{
    ::SetUnhandledExceptionFilter(ReportCrash);
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
}

std::vector<std::uint8_t> ReadBackBuffer(int Width, int Height)
{
    if (Width <= 0 || Height <= 0)
        return {};
    // Errors the scene raised and never read are not the read's: GL keeps them until read.
    for (int I = 0; I < 16 && ::glGetError() != GL_NO_ERROR; ++I)
    {
    }
    std::vector<std::uint8_t> Pixels(static_cast<std::size_t>(Width) * Height * 3);
    GLint Alignment = 4, ReadBuffer = GL_BACK;
    ::glGetIntegerv(GL_PACK_ALIGNMENT, &Alignment);
    ::glGetIntegerv(GL_READ_BUFFER, &ReadBuffer);
    ::glPixelStorei(GL_PACK_ALIGNMENT, 1);
    ::glReadBuffer(GL_BACK);
    ::glReadPixels(0, 0, Width, Height, GL_RGB, GL_UNSIGNED_BYTE, Pixels.data());
    ::glReadBuffer(static_cast<GLenum>(ReadBuffer));
    ::glPixelStorei(GL_PACK_ALIGNMENT, Alignment);
    if (::glGetError() != GL_NO_ERROR)
        return {};
    // OpenGL's rows run bottom up, a picture's top down.
    const std::size_t Row = static_cast<std::size_t>(Width) * 3;
    for (int Y = 0; Y < Height / 2; ++Y)
        std::swap_ranges(Pixels.begin() + Y * Row, Pixels.begin() + (Y + 1) * Row,
                         Pixels.begin() + (Height - 1 - Y) * Row);
    return Pixels;
}

bool WriteWhole(const std::wstring& Path, const std::vector<std::uint8_t>& Bytes)
{
    const std::wstring Part = Path + L".part";
    FILE* File = ::_wfopen(Part.c_str(), L"wb");
    const bool Written = File && std::fwrite(Bytes.data(), 1, Bytes.size(), File) == Bytes.size();
    const bool Closed = File && std::fclose(File) == 0;
    return Written && Closed &&
           ::MoveFileExW(Part.c_str(), Path.c_str(), MOVEFILE_REPLACE_EXISTING);
}
