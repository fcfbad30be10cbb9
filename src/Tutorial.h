// The main window of the tutorial frame: an OpenGL surface that keeps the square from -3 to 3
// undistorted at any window shape and presents frames from the application's idle loop.
#pragma once

#include "GLEntries.h"

#include <Forms.h>

#include <windows.h>

#include <chrono>
#include <optional>

// The scene's clock: seconds since the scene first read it, which for a scene that moves is its
// first frame. The frame loop itself keeps no time; a tool that pictures the scene pins the clock
// to the moment it wants.
class TSceneClock
{
public:
    double Now() const;
    void Pin(double Seconds) { Pinned = Seconds; }

private:
    using TClock = std::chrono::steady_clock;
    mutable std::optional<TClock::time_point> Start;
    std::optional<double> Pinned;
};

// A 4x4 matrix as GL keeps it, column by column. It passes wherever GL takes a const GLfloat*:
// glUniformMatrix4fv(Location, 1, GL_FALSE, ProjectionMatrix()). (The pointer lives as long as
// the matrix: keep the matrix, not the pointer, in a variable.)
struct TMatrix4
{
    GLfloat Values[16];
    operator const GLfloat*() const { return Values; }
};

class TForm1 : public TForm
{
public: // published: the form definition binds its events to these by name
    void FormCreate(TObject* Sender);
    void FormDestroy(TObject* Sender);
    void FormResize(TObject* Sender);
    void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);

public:
    explicit TForm1(TComponent* Owner);

    void ApplicationIdle(TObject* Sender, bool& Done);
    // The exercise's drawing, once per frame before the buffers are swapped.
    void DrawScene();
    // The scene's time in seconds: 0 at the first frame that reads it. Scenes that move animate
    // by it, so that a picture of them can be taken at a chosen moment.
    double SceneTime() const { return Clock.Now(); }
    // The frame's current matrices, for shaders that have no built-in ones (#version 330 core):
    // the projection the frame keeps for the window's shape, and the model-view matrix as the
    // scene has left it. Identity while no context is current.
    TMatrix4 ProjectionMatrix() const;
    TMatrix4 ModelViewMatrix() const;

    TSceneClock Clock;
    // Raised after DrawScene, before the swap, while the frame is still in the back buffer.
    TNotifyEvent OnFrameDrawn;

    HDC DeviceContext = nullptr;
    HGLRC RenderContext = nullptr;
    int PixelFormatIndex = 0;

    static const TFormClass<TForm1> Class;

private:
    void SetupPixelFormat();
    void InitGLState();
};

// What the form definition may bind its events to, by name.
inline const TFormClass<TForm1> TForm1::Class = {
    "TForm1",
    {
        {"FormCreate", &TForm1::FormCreate},
        {"FormDestroy", &TForm1::FormDestroy},
        {"FormResize", &TForm1::FormResize},
        {"FormKeyDown", &TForm1::FormKeyDown},
    },
};

// The one main window; exported from the executable as _Form1.
extern "C" TForm1* Form1;

#if TUTORIAL_MODERN_GL
// A program of a scene's vertex and fragment shader files, named relative to the folder of the
// scene's own source file (From, the path its compiler was given), compiled and linked. Every
// failure raises Exception, one line a message in the compiler's form at the file's line:
// "FOLDER/Mine.frag:5: error: syntax error, ..." (a message with no line: "PATH: error: ...").
// Nothing half made is left behind. A shader file over 1 MiB is refused.
GLuint LoadProgram(const char* VertexFile, const char* FragmentFile,
                   const char* From = __builtin_FILE());
#endif
