#include "MainWindow.h"

namespace
{

TEST_F(MainWindow, IsEightHundredBySixHundredCentredOnTheWorkArea)
{
    RECT Outer{}, Work{};
    ::GetWindowRect(Window, &Outer);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
    EXPECT_EQ(Outer.right - Outer.left, 800);
    EXPECT_EQ(Outer.bottom - Outer.top, 600);
    EXPECT_EQ(Outer.left - Work.left, Work.right - Outer.right);
    EXPECT_EQ(Outer.top - Work.top, Work.bottom - Outer.bottom);
    EXPECT_NE(Outer.left, 194) << "Left and Top give way to the centring";
}

TEST_F(MainWindow, IsAResizableCaptionedWindowWithItsIconThatPaintsNoBackground)
{
    wchar_t Caption[64] = {};
    ::GetWindowTextW(Window, Caption, 64);
    EXPECT_STREQ(Caption, L"Zorv OpenGL Tutorial Exercise");

    const auto Style = static_cast<DWORD>(::GetWindowLongPtrW(Window, GWL_STYLE));
    for (const DWORD Bit : {WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX,
                            WS_CLIPCHILDREN, WS_CLIPSIBLINGS})
        EXPECT_EQ(Style & Bit, Bit) << std::hex << Bit;
    EXPECT_EQ(::GetParent(Window), nullptr);

    EXPECT_EQ(::GetClassLongPtrW(Window, GCL_STYLE) & CS_OWNDC, static_cast<ULONG_PTR>(CS_OWNDC));
    EXPECT_EQ(::GetClassLongPtrW(Window, GCLP_HBRBACKGROUND), 0u);
    // The icon's sizes and colours are checked in the executable's resources.
    EXPECT_EQ(reinterpret_cast<HICON>(::GetClassLongPtrW(Window, GCLP_HICON)),
              ::LoadIconW(::GetModuleHandleW(nullptr), L"MAINICON"));
    EXPECT_NE(::GetClassLongPtrW(Window, GCLP_HICON), 0u);
}

TEST_F(MainWindow, ValidatesPaintMessagesSoIdleTimeKeepsComing)
{
    RunFrames(
        [&](int Frame)
        {
            if (Frame == 1)
                ::InvalidateRect(Window, nullptr, TRUE);
            if (Frame == 5)
            {
                EXPECT_FALSE(::GetUpdateRect(Window, nullptr, FALSE));
                Form1->Close();
            }
        });
}

} // namespace
