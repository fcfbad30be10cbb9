#include "MainWindow.h"

#include <GL/gl.h>

#include <chrono>
#include <thread>
#include <vector>

namespace
{

TEST_F(MainWindow, TheContextIsCurrentOnTheGuiThreadOnTheWindowsOwnDeviceContext)
{
    ASSERT_NE(Form1->RenderContext, nullptr);
    EXPECT_EQ(::wglGetCurrentContext(), Form1->RenderContext);
    EXPECT_EQ(::wglGetCurrentDC(), Form1->DeviceContext);
    EXPECT_EQ(::WindowFromDC(Form1->DeviceContext), Window);
}

TEST_F(MainWindow, ThePixelFormatIsDoubleBufferedRgbaWithDepth)
{
    ASSERT_GT(Form1->PixelFormatIndex, 0);
    EXPECT_EQ(::GetPixelFormat(Form1->DeviceContext), Form1->PixelFormatIndex);

    PIXELFORMATDESCRIPTOR Granted{};
    ASSERT_TRUE(::DescribePixelFormat(Form1->DeviceContext, Form1->PixelFormatIndex, sizeof Granted,
                                      &Granted));
    const DWORD Needed = PFD_DOUBLEBUFFER | PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    EXPECT_EQ(Granted.dwFlags & Needed, Needed);
    EXPECT_EQ(Granted.iPixelType, PFD_TYPE_RGBA);
    EXPECT_GE(Granted.cColorBits, 24);
    EXPECT_GT(Granted.cDepthBits, 0);
}

TEST_F(MainWindow, TheFirstPresentedFrameIsBlack)
{
    RunFrames(
        [&](int Frame)
        {
            if (Frame != 1)
                return;
            // What the first swap presented: the colour buffer cleared at creation.
            RECT Client{};
            ::GetClientRect(Window, &Client);
            std::vector<unsigned char> Pixels(static_cast<size_t>(Client.right) * Client.bottom * 4,
                                              0xAB);
            ::glReadBuffer(GL_FRONT);
            ::glReadPixels(0, 0, Client.right, Client.bottom, GL_RGBA, GL_UNSIGNED_BYTE,
                           Pixels.data());
            EXPECT_EQ(::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            size_t Lit = 0;
            for (size_t I = 0; I < Pixels.size(); I += 4)
                Lit += Pixels[I] || Pixels[I + 1] || Pixels[I + 2];
            EXPECT_EQ(Lit, 0u) << "of " << Pixels.size() / 4 << " pixels";
            Form1->Close();
        });
}

// Scenes animate by the scene's time: 0 at the first frame, then the real time since it; a tool
// that pictures the scene pins it.
TEST_F(MainWindow, TheSceneClockStartsAtTheFirstFrameAndCanBePinned)
{
    double Last = 0;
    RunFrames(
        [&](int Frame)
        {
            const double Now = Form1->SceneTime();
            if (Frame == 1)
            {
                EXPECT_EQ(Now, 0.0);
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
            else if (Frame == 2)
                EXPECT_GE(Now, 0.03);
            else if (Frame == 3)
            {
                EXPECT_GE(Now, Last);
                Form1->Clock.Pin(12.5);
            }
            else
            {
                EXPECT_EQ(Now, 12.5);
                Form1->Close();
            }
            Last = Now;
        });
}

TEST_F(MainWindow, TheDestroyEventUnbindsAndDeletesTheContext)
{
    const HGLRC Context = Form1->RenderContext;
    Form1->FormDestroy(Form1);
    EXPECT_EQ(::wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(::wglMakeCurrent(Form1->DeviceContext, Context)) << "the context still exists";
}

} // namespace
