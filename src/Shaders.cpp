// LoadProgram: a scene's shader files, found beside its source wherever a tool built it, compiled
// and linked, or an Exception in the compiler's own form at the files' lines.
#include "Tutorial.h"

#if TUTORIAL_MODERN_GL

#include "ShaderFiles.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace
{

// The file at Path as the compiler spelled it. Built on Linux and run under Wine, that is a
// Linux path: Wine's kernel32 translates it, and its drive Z: is Linux's root. Otherwise it is
// Windows' own, or relative to the current folder.
std::FILE* Open(const std::string& Path)
{
    std::FILE* File = nullptr;
    if (!Path.empty() && Path[0] == '/')
    {
        using TDosName = WCHAR*(CDECL*)(LPCSTR);
        const HMODULE Kernel = ::GetModuleHandleW(L"kernel32.dll");
        const auto DosName = Kernel ? reinterpret_cast<TDosName>(reinterpret_cast<void (*)()>(
                                          ::GetProcAddress(Kernel, "wine_get_dos_file_name")))
                                    : nullptr;
        if (WCHAR* Dos = DosName ? DosName(Path.c_str()) : nullptr)
        {
            File = ::_wfopen(Dos, L"rb");
            ::HeapFree(::GetProcessHeap(), 0, Dos);
        }
        if (!File)
            File = ::_wfopen((L"Z:" + Widen(Path)).c_str(), L"rb");
    }
    if (!File)
        File = ::_wfopen(Widen(Path).c_str(), L"rb");
    return File;
}

// The file's text, or an empty result and the error line in Errors.
bool Read(const std::string& Path, std::string& Text, std::string& Errors)
{
    std::FILE* File = Open(Path);
    if (!File)
    {
        Errors +=
            ShaderFiles::ErrorLine(Path, std::string("cannot be read: ") + std::strerror(errno));
        return false;
    }
    const ShaderFiles::TRead Result = ShaderFiles::ReadBounded(File, Text);
    std::fclose(File);
    if (Result == ShaderFiles::TRead::TooLarge)
        Errors += ShaderFiles::ErrorLine(Path, "is larger than 1 MiB, more than any shader needs");
    else if (Result == ShaderFiles::TRead::Failed)
        Errors += ShaderFiles::ErrorLine(Path, "cannot be read to its end");
    return Result == ShaderFiles::TRead::Read;
}

// A shader or program deleted when the scope ends, unless handed on; nothing half made is left
// in the context, whatever fails.
class TGLObject
{
public:
    TGLObject(GLuint Id, bool Program) : Id(Id), Program(Program) {}
    TGLObject(const TGLObject&) = delete;
    TGLObject& operator=(const TGLObject&) = delete;
    ~TGLObject()
    {
        // A destructor must not throw, and a missing entry raises.
        try
        {
            if (Id)
                Program ? glDeleteProgram(Id) : glDeleteShader(Id);
        }
        catch (...)
        {
        }
    }
    GLuint Get() const { return Id; }
    GLuint Release()
    {
        const GLuint Result = Id;
        Id = 0;
        return Result;
    }

private:
    GLuint Id;
    bool Program;
};

std::string InfoLog(GLuint Id, bool Program)
{
    GLint Length = 0;
    Program ? glGetProgramiv(Id, GL_INFO_LOG_LENGTH, &Length)
            : glGetShaderiv(Id, GL_INFO_LOG_LENGTH, &Length);
    if (Length <= 0)
        return {};
    std::string Log(static_cast<std::size_t>(Length), '\0');
    GLsizei Written = 0;
    Program ? glGetProgramInfoLog(Id, Length, &Written, Log.data())
            : glGetShaderInfoLog(Id, Length, &Written, Log.data());
    Log.resize(Written > 0 && Written < Length ? static_cast<std::size_t>(Written) : 0);
    return Log;
}

// Compiles the file's text as a shader of Type; 0 and the messages in Errors if it fails.
GLuint Compile(GLenum Type, const std::string& Path, const std::string& Text, std::string& Errors)
{
    TGLObject Shader(glCreateShader(Type), false);
    if (!Shader.Get())
    {
        Errors += ShaderFiles::ErrorLine(Path, "the driver made no shader: no OpenGL context is "
                                               "current, or it is not 2.0 or later");
        return 0;
    }
    const GLchar* Source = Text.data();
    const GLint Length = static_cast<GLint>(Text.size());
    glShaderSource(Shader.Get(), 1, &Source, &Length);
    glCompileShader(Shader.Get());
    GLint Compiled = GL_FALSE;
    glGetShaderiv(Shader.Get(), GL_COMPILE_STATUS, &Compiled);
    if (Compiled)
        return Shader.Release();
    const std::string Mapped = ShaderFiles::MapLog(InfoLog(Shader.Get(), false), Path);
    Errors += Mapped.empty()
                  ? ShaderFiles::ErrorLine(Path, "does not compile; the driver says nothing of why")
                  : Mapped;
    return 0;
}

[[noreturn]] void Raise(std::string Errors)
{
    if (!Errors.empty() && Errors.back() == '\n')
        Errors.pop_back();
    throw Exception(Errors);
}

} // namespace

GLuint LoadProgram(const char* VertexFile, const char* FragmentFile, const char* From)
{
    const std::string Origin = From ? From : "";
    const std::string VertexPath = ShaderFiles::PathOf(VertexFile ? VertexFile : "", Origin);
    const std::string FragmentPath = ShaderFiles::PathOf(FragmentFile ? FragmentFile : "", Origin);

    // Both files are read and compiled before anything is reported: a student sees every
    // message at once.
    std::string Errors, VertexText, FragmentText;
    const bool VertexRead = Read(VertexPath, VertexText, Errors);
    const bool FragmentRead = Read(FragmentPath, FragmentText, Errors);
    TGLObject Vertex(VertexRead ? Compile(GL_VERTEX_SHADER, VertexPath, VertexText, Errors) : 0,
                     false);
    TGLObject Fragment(
        FragmentRead ? Compile(GL_FRAGMENT_SHADER, FragmentPath, FragmentText, Errors) : 0, false);
    if (!Errors.empty())
        Raise(Errors);

    TGLObject Program(glCreateProgram(), true);
    if (!Program.Get())
        Raise(ShaderFiles::ErrorLine(FragmentPath, "the driver made no program"));
    glAttachShader(Program.Get(), Vertex.Get());
    glAttachShader(Program.Get(), Fragment.Get());
    glLinkProgram(Program.Get());
    // The linked program keeps what it needs; the shaders go with the scope.
    glDetachShader(Program.Get(), Vertex.Get());
    glDetachShader(Program.Get(), Fragment.Get());
    GLint Linked = GL_FALSE;
    glGetProgramiv(Program.Get(), GL_LINK_STATUS, &Linked);
    if (!Linked)
    {
        // A link error belongs to no one line; it is told at the last stage's file.
        const std::string Mapped = ShaderFiles::MapLog(InfoLog(Program.Get(), true), FragmentPath);
        Raise(Mapped.empty() ? ShaderFiles::ErrorLine(
                                   FragmentPath, "the shaders do not link; the driver says nothing "
                                                 "of why")
                             : Mapped);
    }
    return Program.Release();
}

#endif
