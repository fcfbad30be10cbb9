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
