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

TEST_F(MainWindow, IsAResizableCaptionedWindowThatPaintsNoBackground)
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
}

TEST_F(MainWindow, CarriesTheSixteenColourIconMainicon)
{
    const HICON Icon = ::LoadIconW(::GetModuleHandleW(nullptr), L"MAINICON");
    ASSERT_NE(Icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(::GetClassLongPtrW(Window, GCLP_HICON)), Icon);

#pragma pack(push, 2)
    struct TGroupEntry
    {
        BYTE Width, Height, ColorCount, Reserved;
        WORD Planes, BitCount;
        DWORD BytesInRes;
        WORD Id;
    };
    struct TGroup
    {
        WORD Reserved, Type, Count;
        TGroupEntry Entries[1];
    };
#pragma pack(pop)
    const HRSRC Info = ::FindResourceW(nullptr, L"MAINICON", MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    ASSERT_NE(Info, nullptr);
    const auto* Group = static_cast<const TGroup*>(::LockResource(::LoadResource(nullptr, Info)));
    ASSERT_EQ(Group->Count, 1);
    EXPECT_EQ(Group->Entries[0].Width, 32);
    EXPECT_EQ(Group->Entries[0].Height, 32);
    EXPECT_EQ(Group->Entries[0].ColorCount, 16);
    EXPECT_EQ(Group->Entries[0].BitCount, 4);
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
