#include "Tutorial.h"

TForm1* Form1 = nullptr;

namespace
{

// Double-buffered RGBA with 24 colour bits and a 32-bit depth buffer; nothing else asked for.
const PIXELFORMATDESCRIPTOR PixelFormatTemplate = {
    sizeof(PIXELFORMATDESCRIPTOR),                              // nSize
    1,                                                          // nVersion
    PFD_DOUBLEBUFFER | PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL, // dwFlags
    PFD_TYPE_RGBA,                                              // iPixelType
    24,                                                         // cColorBits
    0,
    0,
    0,
    0,
    0,
    0, // red, green, blue bits and shifts
    0,
    0, // cAlphaBits, cAlphaShift
    0,
    0,
    0,
    0,
    0,              // accumulation buffer
    32,             // cDepthBits
    0,              // cStencilBits
    0,              // cAuxBuffers
    PFD_MAIN_PLANE, // iLayerType
    0,              // bReserved
    0,
    0,
    0, // layer, visible, damage masks
};

// Half the side of the square that always fits the window, in world units.
constexpr float HalfExtent = 3.0f;

} // namespace

// Called by TApplication::CreateForm; the base constructor has loaded TFORM1 and bound its events.
TForm1::TForm1(TComponent* Owner) : TForm(Owner, this, Class)
{
    Application->OnIdle = Bind(this, &TForm1::ApplicationIdle);
}

// The creation event: binds an OpenGL context to the window for the window's whole life.
// The platform's results are passed on unchecked on purpose: without a usable context the window
// still opens, closes and answers its keys.
void TForm1::FormCreate(TObject* /*Sender*/)
{
    DeviceContext = ::GetDC(GetHandle());
    SetupPixelFormat();
    RenderContext = ::wglCreateContext(DeviceContext);
    ::wglMakeCurrent(DeviceContext, RenderContext);
    LoadGLEntries();
    InitGLState();
}

// The destroy event, after the message loop has ended. The order is the behaviour: the device
// context goes back first, then the rendering context is unbound and deleted.
void TForm1::FormDestroy(TObject* /*Sender*/)
{
    ::ReleaseDC(GetHandle(), DeviceContext);
    ::wglMakeCurrent(DeviceContext, nullptr); // NOTE: with no context the DC is not used
    ::wglDeleteContext(RenderContext);
}

// Called by FormCreate only: sets the format nearest to the template, whatever was granted.
void TForm1::SetupPixelFormat()
{
    PIXELFORMATDESCRIPTOR Descriptor = PixelFormatTemplate;
    PixelFormatIndex = ::ChoosePixelFormat(DeviceContext, &Descriptor);
    ::SetPixelFormat(DeviceContext, PixelFormatIndex, &Descriptor);
}

// Called by FormCreate only: black once; nothing clears it again.
void TForm1::InitGLState()
{
    ::glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glFlush();
}

// The resize event: the viewport follows the client area and the shorter side spans exactly -3
// to 3, so the square is never distorted. It may come before the creation event has made a
// context current; the GL calls then do nothing.
void TForm1::FormResize(TObject* /*Sender*/)
{
    const int W = GetClientWidth();
    const int H = GetClientHeight();
    ::glViewport(0, 0, W, H);

    ::glMatrixMode(GL_PROJECTION);
    ::glLoadIdentity();
    // A minimised or collapsed window has a zero side: it counts as one pixel, which keeps every
    // bound finite; nothing is visible through the empty viewport anyway.
    const int Wide = W > 1 ? W : 1;
    const int High = H > 1 ? H : 1;
    const double R = HalfExtent;
    // The product with the half-extent is rounded to single precision, the quotient is not.
    if (Wide > High)
    {
        const double Aspect = static_cast<double>(HalfExtent * static_cast<float>(Wide)) / High;
        ::glOrtho(-Aspect, Aspect, -R, R, -R, R);
    }
    else
    {
        const double Aspect = static_cast<double>(HalfExtent * static_cast<float>(High)) / Wide;
        ::glOrtho(-R, R, -Aspect, Aspect, -R, R);
    }

    ::glMatrixMode(GL_MODELVIEW);
    ::glLoadIdentity();
}

// Esc closes the window, which ends the application; F1 shows a notice. Other keys do nothing.
void TForm1::FormKeyDown(TObject* /*Sender*/, WORD& Key, TShiftState /*Shift*/)
{
    if (Key == VK_ESCAPE)
        Close();
    if (Key == VK_F1)
        ::MessageBoxA(nullptr, "Currently F1 not config'ed", "Error", MB_ICONERROR | MB_OK);
}

// The idle handler: one frame each time the message queue is empty, and again at once.
void TForm1::ApplicationIdle(TObject* /*Sender*/, bool& Done)
{
    Done = false;
    DrawScene();
    if (OnFrameDrawn)
        OnFrameDrawn(this);
    ::SwapBuffers(DeviceContext);
}

namespace
{

TMatrix4 CurrentMatrix(GLenum Which)
{
    TMatrix4 Matrix = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    ::glGetFloatv(Which, Matrix.Values);
    return Matrix;
}

} // namespace

TMatrix4 TForm1::ProjectionMatrix() const
{
    return CurrentMatrix(GL_PROJECTION_MATRIX);
}

TMatrix4 TForm1::ModelViewMatrix() const
{
    return CurrentMatrix(GL_MODELVIEW_MATRIX);
}

double TSceneClock::Now() const
{
    if (Pinned)
        return *Pinned;
    const TClock::time_point Now = TClock::now();
    if (!Start)
        Start = Now;
    return std::chrono::duration<double>(Now - *Start).count();
}
