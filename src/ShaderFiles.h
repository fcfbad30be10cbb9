// What LoadProgram does that needs neither Windows nor OpenGL: where a scene's shader file is,
// reading it within a bound, and a driver's compile log turned into compiler-style lines at the
// file's own lines. Plain C++, so that tests/unit runs it natively.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace ShaderFiles
{

// A shader file larger than this is refused rather than read: no scene needs one, and a
// mistaken name (a video, a device) must not hang or exhaust the program.
constexpr std::size_t SizeLimit = 1024 * 1024;

// The folder part of a source file's path exactly as spelled: everything up to and including
// its last '/' or '\'; empty for a bare file name.
std::string FolderOf(const std::string& From);

// Where Name is, as the scene's source file spells it: From's folder followed by Name, or Name
// alone when it is absolute already ("/x", "\x", "C:...").
std::string PathOf(const std::string& Name, const std::string& From);

enum class TRead
{
    Read,
    TooLarge,
    Failed,
};

// Reads File to its end into Text, reading no more than SizeLimit + 1 bytes in all.
TRead ReadBounded(std::FILE* File, std::string& Text);

// The driver's info log as lines "PATH:LINE: KIND: TEXT" (KIND "error" or "warning"), each
// ending in '\n'. Understood: Mesa's "0:5(2): error: ...", NVIDIA's "0(5) : error C0000: ...",
// and "ERROR: 0:5: ..." (AMD, Intel, the reference compiler). A line that names no line of the
// file is kept as "PATH: error: TEXT" (its own "warning" kept where it says so); none is lost.
std::string MapLog(const std::string& Log, const std::string& Path);

// One line with no line number: "PATH: error: TEXT\n".
std::string ErrorLine(const std::string& Path, const std::string& Text);

} // namespace ShaderFiles
