// The least the platform allows for the tutorial's job, for the benchmark to measure ours
// against: the same window, pixel format and projection, written straight on Win32 and WGL,
// with a PeekMessage loop that swaps whenever the queue is empty.
#include <windows.h>

#include <GL/gl.h>

namespace
{

const PIXELFORMATDESCRIPTOR PixelFormat = {
    sizeof(PIXELFORMATDESCRIPTOR),
    1,
    PFD_DOUBLEBUFFER | PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL,
    PFD_TYPE_RGBA,
    24,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    32,
    0,
    0,
    PFD_MAIN_PLANE,
    0,
    0,
    0,
    0,
};

void Resize(HWND Window)
{
    RECT Client;
    ::GetClientRect(Window, &Client);
    const int W = Client.right > 1 ? Client.right : 1;
    const int H = Client.bottom > 1 ? Client.bottom : 1;
    ::glViewport(0, 0, Client.right, Client.bottom);
    ::glMatrixMode(GL_PROJECTION);
    ::glLoadIdentity();
    if (W > H)
    {
        const double A = static_cast<double>(3.0f * static_cast<float>(W)) / H;
        ::glOrtho(-A, A, -3, 3, -3, 3);
    }
    else
    {
        const double A = static_cast<double>(3.0f * static_cast<float>(H)) / W;
        ::glOrtho(-3, 3, -A, A, -3, 3);
    }
    ::glMatrixMode(GL_MODELVIEW);
    ::glLoadIdentity();
}

LRESULT CALLBACK WindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam)
{
    switch (Msg)
    {
        case WM_SIZE:
            Resize(Window);
            return 0;
        case WM_KEYDOWN:
            if (WParam == VK_ESCAPE)
                ::PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            ::PostQuitMessage(0);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            ::ValidateRect(Window, nullptr);
            return 0;
    }
    return ::DefWindowProcW(Window, Msg, WParam, LParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int)
{
    WNDCLASSEXW Class{};
    Class.cbSize = sizeof Class;
    Class.style = CS_OWNDC;
    Class.lpfnWndProc = WindowProc;
    Class.hInstance = Instance;
    Class.hIcon = ::LoadIconW(Instance, L"MAINICON");
    Class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    Class.lpszClassName = L"Baseline";
    ::RegisterClassExW(&Class);

    RECT Work;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
    const HWND Window = ::CreateWindowExW(0, L"Baseline", L"Zorv OpenGL Tutorial Exercise",
                                          WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                          Work.left + (Work.right - Work.left - 800) / 2,
                                          Work.top + (Work.bottom - Work.top - 600) / 2, 800, 600,
                                          nullptr, nullptr, Instance, nullptr);
    const HDC Dc = ::GetDC(Window);
    PIXELFORMATDESCRIPTOR Descriptor = PixelFormat;
    ::SetPixelFormat(Dc, ::ChoosePixelFormat(Dc, &Descriptor), &Descriptor);
    const HGLRC Context = ::wglCreateContext(Dc);
    ::wglMakeCurrent(Dc, Context);
    ::glClearColor(0, 0, 0, 0);
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glFlush();
    ::ShowWindow(Window, SW_SHOW);
    Resize(Window);

    MSG Msg;
    for (;;)
    {
        if (::PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE))
        {
            if (Msg.message == WM_QUIT)
                break;
            ::TranslateMessage(&Msg);
            ::DispatchMessageW(&Msg);
        }
        else
        {
            ::SwapBuffers(Dc);
        }
    }

    ::ReleaseDC(Window, Dc);
    ::wglMakeCurrent(nullptr, nullptr);
    ::wglDeleteContext(Context);
    ::DestroyWindow(Window);
    return 0;
}
