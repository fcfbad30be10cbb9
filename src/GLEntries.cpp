#include "GLEntries.h"

#if TUTORIAL_MODERN_GL

#include <SysUtils.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace
{

enum TIndex
{
#define TUTORIAL_GL_ENTRY(Major, Minor, Name, Type) Index_##Name,
#include "GLEntries.inc"
#undef TUTORIAL_GL_ENTRY
    EntryCount
};

struct TEntryName
{
    const char* Name;
    int Major;
    int Minor;
};

const TEntryName Names[EntryCount] = {
#define TUTORIAL_GL_ENTRY(Major, Minor, Name, Type) {#Name, Major, Minor},
#include "GLEntries.inc"
#undef TUTORIAL_GL_ENTRY
};

// The version the context reported when the entries were loaded; empty without a context.
std::string Version;

[[noreturn]] void RaiseMissing(TIndex Index)
{
    const TEntryName& Entry = Names[Index];
    std::string Text = std::string(Entry.Name) + " is not available: it is OpenGL " +
                       std::to_string(Entry.Major) + "." + std::to_string(Entry.Minor) + ", and ";
    Text += Version.empty() ? "no OpenGL context was current when the frame loaded its functions"
                            : "this machine's OpenGL is " + Version;
    throw Exception(Text);
}

// What an entry points at while the driver has no function for it: the same signature and
// calling convention, so the scene's call is well formed, and then the exception.
template <TIndex Index, class TFunction> struct TMissing;
template <TIndex Index, class R, class... TArgs> struct TMissing<Index, R(APIENTRY*)(TArgs...)>
{
    static R APIENTRY Call(TArgs...) { RaiseMissing(Index); }
};

using TAnyFunction = void (*)();

// The driver's function, or null. Some drivers answer 1, 2, 3 or -1 for a name they lack.
TAnyFunction Resolve(TGLResolver Resolver, const char* Name)
{
    const PROC Address = Resolver(Name);
    const auto Value = reinterpret_cast<std::intptr_t>(Address);
    if (Value == 0 || Value == 1 || Value == 2 || Value == 3 || Value == -1)
        return nullptr;
    return reinterpret_cast<TAnyFunction>(Address);
}

} // namespace

#define TUTORIAL_GL_ENTRY(Major, Minor, Name, Type) Type Name = &TMissing<Index_##Name, Type>::Call;
#include "GLEntries.inc"
#undef TUTORIAL_GL_ENTRY

namespace
{

// Each entry's variable and its stub, as a table the loader walks: far smaller than code per
// entry. A function pointer's bytes are the same whatever its type, so the loader stores them
// with memcpy, which is how C++ lets one type's bytes become another's.
struct TSlot
{
    void* Variable;
    TAnyFunction Missing;
};

const TSlot Slots[EntryCount] = {
#define TUTORIAL_GL_ENTRY(Major, Minor, Name, Type)                                                \
    {&Name, reinterpret_cast<TAnyFunction>(&TMissing<Index_##Name, Type>::Call)},
#include "GLEntries.inc"
#undef TUTORIAL_GL_ENTRY
};

} // namespace

void LoadGLEntries()
{
    LoadGLEntries(&::wglGetProcAddress);
}

void LoadGLEntries(TGLResolver Resolver)
{
    const auto* Reported = reinterpret_cast<const char*>(::glGetString(GL_VERSION));
    Version = Reported ? Reported : "";
    for (int Index = 0; Index < EntryCount; ++Index)
    {
        TAnyFunction Function = Reported ? Resolve(Resolver, Names[Index].Name) : nullptr;
        if (!Function)
            Function = Slots[Index].Missing;
        std::memcpy(Slots[Index].Variable, &Function, sizeof Function);
    }
}

#else

void LoadGLEntries() {}

void LoadGLEntries(TGLResolver) {}

#endif
