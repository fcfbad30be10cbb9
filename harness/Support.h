// What the tools' entries into an exercise share (Driver.cpp, which pictures it, and
// WatchHost.cpp, which reloads its scene): one-line reports, crash texts, and frames read back
// and written whole.
#pragma once

#include "Contract.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// One line on the standard error, written at once.
void Say(const std::string& Line);

// Ends the process at once, its window left to the system. NOTE: destroying a window on a
// display with no window manager makes Wine wait about 2 s for one.
[[noreturn]] void Finish(int Code);

// A structured exception in words: "access violation (0xC0000005) writing address 0x00000000".
std::string DescribeCrash(const EXCEPTION_RECORD& Record);

// From here on, a structured exception that nothing handles is one line, "crash: TEXT", and
// ends the process with Contract::ExitCrash. NOTE: the system's crash handler may wait for a click.
void ReportCrashes();

// The current context's back buffer, Width x Height pixels of 3 bytes, the top row first; the
// read state is put back as it was. Empty when it cannot be read.
std::vector<std::uint8_t> ReadBackBuffer(int Width, int Height);

// Writes through a file of another name first, so that a reader never sees half of it; false
// when it cannot.
bool WriteWhole(const std::wstring& Path, const std::vector<std::uint8_t>& Bytes);
