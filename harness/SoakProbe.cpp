// A helper for tools/soak, run under Wine beside the program: it reads the main window's process
// from outside (kernel handles, windows, GDI objects) and resizes its window.
//   soak_probe counts | selftest | resize COUNT
// NOTE: Wine 8's GetGuiResources is a stub that returns 0, so GDI objects are counted in the
// process's GDI handle table (the PEB's GdiSharedHandleTable), read with ReadProcessMemory;
// USER objects are counted as the windows the process owns.
#include "Contract.h"

#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

// One entry of the GDI handle table, as Wine lays it out.
struct TGdiEntry
{
    unsigned long long Object;
    unsigned long Owner;
    unsigned short Unique;
    unsigned char Type; // 0: free
    unsigned char Flags;
    unsigned long long UserPointer;
};
static_assert(sizeof(TGdiEntry) == 24, "the layout of Wine's GDI_HANDLE_ENTRY");
constexpr std::size_t GdiHandleCount = 0x10000;

// The PEB's GdiSharedHandleTable: at 0x94 in a 32-bit PEB, 0xF8 in a 64-bit one.
constexpr std::size_t GdiTableOffset = sizeof(void*) == 4 ? 0x94 : 0xF8;

long CountGdiObjects(HANDLE Process)
{
    PROCESS_BASIC_INFORMATION Basic{};
    if (::NtQueryInformationProcess(Process, ProcessBasicInformation, &Basic, sizeof Basic,
                                    nullptr) != 0)
        return -1;
    void* Table = nullptr;
    SIZE_T Read = 0;
    if (!::ReadProcessMemory(Process,
                             reinterpret_cast<const char*>(Basic.PebBaseAddress) + GdiTableOffset,
                             &Table, sizeof Table, &Read) ||
        !Table)
        return -1;
    std::vector<TGdiEntry> Entries(GdiHandleCount);
    if (!::ReadProcessMemory(Process, Table, Entries.data(), Entries.size() * sizeof(TGdiEntry),
                             &Read))
        return -1;
    long Used = 0;
    for (const TGdiEntry& Entry : Entries)
        Used += Entry.Type != 0;
    return Used;
}

struct TWindowCount
{
    DWORD Process;
    long Count;
};

BOOL CALLBACK CountChild(HWND, LPARAM Param)
{
    ++reinterpret_cast<TWindowCount*>(Param)->Count;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND Window, LPARAM Param)
{
    auto* Count = reinterpret_cast<TWindowCount*>(Param);
    DWORD Owner = 0;
    ::GetWindowThreadProcessId(Window, &Owner);
    if (Owner == Count->Process)
    {
        ++Count->Count;
        ::EnumChildWindows(Window, CountChild, Param);
    }
    return TRUE;
}

long CountWindows(DWORD Process)
{
    TWindowCount Count{Process, 0};
    ::EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&Count));
    // Message-only windows (IME, OLE) are USER objects too.
    HWND Child = nullptr;
    while ((Child = ::FindWindowExW(HWND_MESSAGE, Child, nullptr, nullptr)))
        CountTopLevel(Child, reinterpret_cast<LPARAM>(&Count));
    return Count.Count;
}

HWND MainWindow()
{
    const HWND Window = ::FindWindowA("TForm1", Contract::Caption);
    if (!Window)
        std::fprintf(stderr, "soak_probe: no window of class TForm1 captioned as the program's\n");
    return Window;
}

int Counts()
{
    const HWND Window = MainWindow();
    if (!Window)
        return 1;
    DWORD Id = 0;
    ::GetWindowThreadProcessId(Window, &Id);
    const HANDLE Process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, Id);
    if (!Process)
    {
        std::fprintf(stderr, "soak_probe: cannot open the process (error %lu)\n", ::GetLastError());
        return 1;
    }
    DWORD Handles = 0;
    ::GetProcessHandleCount(Process, &Handles);
    std::printf("handles %lu windows %ld gdi %ld\n", Handles, CountWindows(Id),
                CountGdiObjects(Process));
    ::CloseHandle(Process);
    return 0;
}

// Checks the GDI count on this very process: 64 brushes more, then as before.
int SelfTest()
{
    const HANDLE Self = ::GetCurrentProcess();
    const long Before = CountGdiObjects(Self);
    HBRUSH Brushes[64];
    for (HBRUSH& Brush : Brushes)
        Brush = ::CreateSolidBrush(RGB(1, 2, 3));
    const long During = CountGdiObjects(Self);
    for (HBRUSH Brush : Brushes)
        ::DeleteObject(Brush);
    const long After = CountGdiObjects(Self);
    std::printf("gdi %ld, with 64 brushes %ld, after %ld\n", Before, During, After);
    return Before >= 0 && During == Before + 64 && After == Before ? 0 : 1;
}

void WaitFor(HWND Window, bool Minimised)
{
    for (int I = 0; I < 200 && (::IsIconic(Window) != FALSE) != Minimised; ++I)
        ::Sleep(10);
    ::Sleep(50);
}

// Resizes the window COUNT times through sizes that include the smallest the frame allows, a
// zero-high client area, and minimise and restore.
int Resize(long Count)
{
    const HWND Window = MainWindow();
    if (!Window)
        return 1;
    static const SIZE Outer[] = {{800, 600}, {1000, 333}, {333, 1000}, {1, 600},  {600, 1},
                                 {0, 0},     {640, 480},  {1280, 40},  {123, 457}};
    for (long I = 0; I < Count; ++I)
    {
        if (I % 10 == 9)
        {
            // NOTE: the window manager takes its part of each change later; wait for it, or
            // a late "iconified" from it can undo the restore.
            ::ShowWindow(Window, SW_MINIMIZE);
            WaitFor(Window, true);
            ::ShowWindow(Window, SW_RESTORE);
            WaitFor(Window, false);
            continue;
        }
        const SIZE Size = Outer[I % (sizeof Outer / sizeof Outer[0])];
        ::SetWindowPos(Window, nullptr, 0, 0, Size.cx, Size.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (!::IsWindow(Window))
        {
            std::fprintf(stderr, "soak_probe: the window went away at resize %ld\n", I);
            return 1;
        }
    }
    ::SetWindowPos(Window, nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "counts") == 0)
        return Counts();
    if (argc == 2 && std::strcmp(argv[1], "selftest") == 0)
        return SelfTest();
    if (argc == 3 && std::strcmp(argv[1], "resize") == 0)
        return Resize(std::strtol(argv[2], nullptr, 10));
    std::fprintf(stderr, "usage: soak_probe counts | selftest | resize COUNT\n");
    return 2;
}
