// The host of tools/run --watch: the program's window, form and loop as always, with the scene
// in a module (a DLL) that is swapped for a newer one between two frames. The window, its place
// and size and the scene clock carry on; each scene draws in an OpenGL context of its own, as
// each program does. Never part of the shipped program.
//
//   WatchHost.exe --next FILE --screenshot PNG
//       FILE holds the Windows path of the scene module to show, replaced whole (by a rename)
//       for each build; it is looked at every 50 ms. Each module is one that was never loaded
//       before: a module of the same path would be the one already loaded. The first frame of
//       each scene is examined (Examine.h): what its GL calls proved goes beside the module, its
//       name ending in .txt for .dll, before the frame is shown. Then that frame goes to PNG and
//       a line to the standard error:
//           shown NAME in MS ms (load MS ms)   its first frame is on the screen
//           crash NAME: TEXT                   it faulted: the last scene that worked is back
//           exception NAME: TEXT               it threw: the same
//           failed NAME: TEXT                  it could not be loaded
#include "Examine.h"
#include "Png.h"
#include "Support.h"

#include <Tutorial.h>

#include <GL/gl.h>
#include <shellapi.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

namespace
{

using TClock = std::chrono::steady_clock;
// The module's entry: one frame; non-zero with the exception's text when the scene threw.
using TSceneEntry = int (*)(TForm1* Form, char* Message, int Size);

struct TScene
{
    HMODULE Module = nullptr;
    TSceneEntry Draw = nullptr;
    std::string Name;
    HGLRC Context = nullptr;
};

// --- the guard around a scene's frame -----------------------------------------------------
// MinGW has no __try: a vectored handler takes a fault in the scene's frame, and the thread
// resumes at Land, which jumps back to where the frame was called from.
void* Landing[5];
volatile bool InScene = false;
DWORD SceneThread = 0;
std::uintptr_t SafeStack = 0;
std::string Fault;

[[noreturn]] void Land()
{
    InScene = false;
    __builtin_longjmp(Landing, 1);
}

bool IsFault(DWORD Code)
{
    switch (Code)
    {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_STACK_OVERFLOW:
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_PRIV_INSTRUCTION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
            return true;
        default:
            return false;
    }
}

LONG CALLBACK CatchSceneFault(EXCEPTION_POINTERS* Info)
{
    if (!InScene || ::GetCurrentThreadId() != SceneThread ||
        !IsFault(Info->ExceptionRecord->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    Fault = DescribeCrash(*Info->ExceptionRecord);
    // Land runs on the stack below the guarded call: valid even after a stack overflow.
#if defined(__x86_64__)
    Info->ContextRecord->Rsp = (SafeStack & ~std::uintptr_t(15)) - 8;
    Info->ContextRecord->Rip = reinterpret_cast<DWORD64>(&Land);
#else
    Info->ContextRecord->Esp = SafeStack & ~std::uintptr_t(15);
    Info->ContextRecord->Eip = reinterpret_cast<DWORD>(&Land);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

// One frame of Scene; empty, or what went wrong ("crash: ...", "exception: ...").
__attribute__((noinline)) std::string DrawGuarded(TForm1& Form, const TScene& Scene)
{
    // Room for a shader's log of many lines; outside the frame, so the landing stack below
    // stays clear of it. Scenes draw on one thread.
    static char Message[8192];
    Message[0] = '\0';
    volatile char Here = 0;
    SafeStack = reinterpret_cast<std::uintptr_t>(&Here) - 1024;
    SceneThread = ::GetCurrentThreadId();
    if (__builtin_setjmp(Landing))
        return Contract::WatchLine(Contract::TLine::Crash, Scene.Name, Fault);
    InScene = true;
    const int Threw = Scene.Draw(&Form, Message, sizeof Message);
    InScene = false;
    return Threw ? Contract::WatchLine(Contract::TLine::Exception, Scene.Name, Message)
                 : std::string();
}

// What a frame cut short may leave: a primitive begun, errors, matrices half set.
void RecoverGL(TForm1& Form)
{
    ::glEnd();
    while (::glGetError() != GL_NO_ERROR)
        ;
    Form.FormResize(&Form);
}

std::wstring ReadSmallFile(const std::wstring& Path)
{
    const HANDLE File = ::CreateFileW(Path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (File == INVALID_HANDLE_VALUE)
        return {};
    char Bytes[2048];
    DWORD Read = 0;
    ::ReadFile(File, Bytes, sizeof Bytes, &Read, nullptr);
    ::CloseHandle(File);
    std::string Text(Bytes, Read);
    while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r'))
        Text.pop_back();
    std::wstring Wide(Text.size(), L'\0');
    Wide.resize(::MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()),
                                      Wide.data(), static_cast<int>(Wide.size())));
    return Wide;
}

class THost
{
public:
    THost(TForm1& Form, std::wstring Next, std::wstring Screenshot)
        : Form(Form), Next(std::move(Next)), Screenshot(std::move(Screenshot))
    {
        Frame = std::move(Application->OnIdle);
        Application->OnIdle = Bind(this, &THost::Idle);
        Form.OnFrameDrawn = Bind(this, &THost::FrameDrawn);
        Current.Context = Good.Context = Form.RenderContext; // black, until a scene works
    }

    // The form's DrawScene: the current scene's frame, or black while none works.
    void Draw()
    {
        if (Current.Draw)
        {
            const std::wstring Findings = std::exchange(Examine, std::wstring());
            if (!Findings.empty())
                TutorialRecorder::Start();
            const std::string Trouble = DrawGuarded(Form, Current);
            if (!Findings.empty())
            {
                // Stopped even after a fault: the frames after it are not examined.
                const std::string Text = Contract::FindingsText(TutorialRecorder::Stop());
                if (Trouble.empty())
                    WriteWhole(Findings, std::vector<std::uint8_t>(Text.begin(), Text.end()));
            }
            if (Trouble.empty())
                return;
            Say(Trouble);
            RecoverGL(Form); // the last good scene's own context may be the one it broke
            Pending = false; // this frame is not the new scene's
            // NOTE: a module that failed stays loaded: unloading it runs its code again.
            Switch(Good);
            if (Current.Draw && DrawGuarded(Form, Current).empty())
                return;
            RecoverGL(Form);
            Current = Good = {nullptr, nullptr, {}, Good.Context};
        }
        ::glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        ::glClear(GL_COLOR_BUFFER_BIT);
    }

private:
    void Idle(TObject* Sender, bool& Done)
    {
        const TClock::time_point Now = TClock::now();
        if (Now - Looked >= std::chrono::milliseconds(50))
        {
            Looked = Now;
            LoadNext();
        }
        // No more frames than a screen shows, a new scene's first at once: drawn flat out, as
        // where nothing waits for the screen (Xvfb), a scene took a processor from the compiler of
        // the next save.
        if (!Pending && Now - Drawn < FramePace)
        {
            const auto Left =
                std::chrono::ceil<std::chrono::milliseconds>(FramePace - (Now - Drawn));
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(Left.count()),
                                        QS_ALLINPUT);
            Done = false;
            return;
        }
        Drawn = Now;
        Frame(Sender, Done);
        if (!Pixels.empty())
            Shown();
    }

    void LoadNext()
    {
        const std::wstring Path = ReadSmallFile(Next);
        if (Path.empty() || Path == Loaded)
            return;
        Loaded = Path;
        const std::string Name = Narrow(Path.substr(Path.find_last_of(L"\\/") + 1));
        const TClock::time_point Started = TClock::now();
        const HMODULE Module = ::LoadLibraryW(Path.c_str());
        const auto Entry = Module ? reinterpret_cast<TSceneEntry>(reinterpret_cast<void (*)()>(
                                        ::GetProcAddress(Module, "DrawWatchedScene")))
                                  : nullptr;
        if (!Entry)
        {
            Say(Contract::WatchLine(Contract::TLine::Failed, Name,
                                    "cannot load it (error " + std::to_string(::GetLastError()) +
                                        ")"));
            return;
        }
        const HGLRC Context = ::wglCreateContext(Form.DeviceContext);
        if (!Context)
        {
            Say(Contract::WatchLine(Contract::TLine::Failed, Name,
                                    "no OpenGL context for it (error " +
                                        std::to_string(::GetLastError()) + ")"));
            return;
        }
        Switch({Module, Entry, Name, Context});
        Examine = Path.substr(0, Path.find_last_of(L'.')) + L".txt";
        Swapped = Started;
        LoadTime = TClock::now() - Started;
        Pending = true;
    }

    // Before the swap: the first frame of a new scene is kept.
    void FrameDrawn(TObject* /*Sender*/)
    {
        if (Pending)
        {
            Pending = false;
            Pixels = ReadBackBuffer(Form.GetClientWidth(), Form.GetClientHeight());
        }
    }

    // After the swap: the new scene worked, and the one before it can go.
    void Shown()
    {
        const auto Ms = [](TClock::duration D)
        {
            return static_cast<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(D).count());
        };
        const long long Took = Ms(TClock::now() - Swapped);
        // (No message is handled between the read and here: the size is the frame's.)
        WriteWhole(Screenshot, EncodePng(Form.GetClientWidth(), Form.GetClientHeight(), Pixels));
        Pixels.clear();
        if (Good.Context != Current.Context)
            ::wglDeleteContext(Good.Context);
        if (Good.Module && Good.Module != Current.Module)
            ::FreeLibrary(Good.Module);
        Good = Current;
        Say(Contract::ShownLine(Current.Name, Took, Ms(LoadTime)));
    }

    // Draws Scene from the next frame on, in its own context, which the form deletes if it is
    // current when the window goes; the scene drawing until now goes unless it is the last good
    // one. Each context starts as a program's does: nothing set but the viewport and projection
    // that the window's size gives, so what one save leaves set (a clear colour, a program, a
    // matrix) never reaches the next.
    void Switch(const TScene& Scene)
    {
        const HGLRC Before = Current.Context;
        Current = Scene;
        ::wglMakeCurrent(Form.DeviceContext, Current.Context);
        Form.RenderContext = Current.Context;
        Form.FormResize(&Form);
        if (Before != Current.Context && Before != Good.Context)
            ::wglDeleteContext(Before);
    }

    TForm1& Form;
    const std::wstring Next, Screenshot;
    TIdleEvent Frame;
    TScene Current, Good; // the scene drawing now, and the last that drew a frame
    std::wstring Loaded;
    static constexpr std::chrono::milliseconds FramePace{16};
    TClock::time_point Looked, Swapped, Drawn;
    TClock::duration LoadTime{};
    bool Pending = false; // the frame being drawn is a new scene's first
    std::wstring Examine; // where the findings of the new scene's first frame go, until drawn
    std::vector<std::uint8_t> Pixels;
};

THost* Host = nullptr;

} // namespace

void TForm1::DrawScene()
{
    if (Host)
        Host->Draw();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ReportCrashes();
    ::AddVectoredExceptionHandler(1, CatchSceneFault);
    int Count = 0;
    wchar_t** Args = ::CommandLineToArgvW(::GetCommandLineW(), &Count);
    if (Count != 5 || std::wstring(Args[1]) != L"--next" ||
        std::wstring(Args[3]) != L"--screenshot")
    {
        Say(Contract::ReportLine(Contract::TLine::Usage,
                                 "WatchHost.exe --next FILE --screenshot PNG"));
        return Contract::ExitUsage;
    }
    try
    {
        Application->Initialize();
        Application->CreateForm(&Form1);
        THost Watching(*Form1, Args[2], Args[4]);
        Host = &Watching;
        Application->Run();
        Host = nullptr;
    }
    catch (const Exception& E)
    {
        Say(Contract::ReportLine(Contract::TLine::Exception, E.Message()));
        Finish(Contract::ExitException);
    }
    return 0;
}
