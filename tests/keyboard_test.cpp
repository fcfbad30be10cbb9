#include "MainWindow.h"

#include <chrono>
#include <thread>

namespace
{

TEST_F(MainWindow, EscapeEndsRunWhateverModifiersAreHeld)
{
    WORD Key = VK_ESCAPE;
    Form1->FormKeyDown(Form1, Key, ssShift | ssCtrl | ssAlt);
    EXPECT_EQ(Key, VK_ESCAPE) << "the key is left as it was";
    Application->Run(); // returns, or the test times out
    EXPECT_TRUE(::IsWindow(Window));
}

TEST_F(MainWindow, EscapeFromTheQueueEndsRun)
{
    RunFrames(
        [&](int Frame)
        {
            if (Frame == 1)
                PostKey(VK_ESCAPE);
        });
    EXPECT_LE(Frames, 3);
}

TEST_F(MainWindow, TheCloseButtonEndsRun)
{
    RunFrames(
        [&](int Frame)
        {
            if (Frame == 1)
                ::PostMessageW(Window, WM_SYSCOMMAND, SC_CLOSE, 0);
        });
}

TEST_F(MainWindow, AltF4EndsRun)
{
    RunFrames(
        [&](int Frame)
        {
            if (Frame == 1) // bit 29: Alt is held
                ::PostMessageW(Window, WM_SYSKEYDOWN, VK_F4, 0x20000001);
        });
}

TEST_F(MainWindow, F1ShowsTheNoticeWhileFramesPauseAndTheWindowGoesOnAfterOk)
{
    int FramesWhenShown = 0;
    int FramesLater = 0;
    auto Box = AnswerMessageBox("Error",
                                [&]
                                {
                                    FramesWhenShown = Frames;
                                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                                    FramesLater = Frames;
                                });
    int FramesAtOk = -1;
    RunFrames(
        [&](int Frame)
        {
            if (Frame == 1)
                PostKey(VK_F1);
            if (FramesAtOk < 0 &&
                Box.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
                FramesAtOk = Frame;
            if (FramesAtOk > 0 && Frame == FramesAtOk + 20)
                PostKey(VK_ESCAPE);
            if (Frame > 100000)
                Form1->Close(); // the box never came
        });
    const TMessageBoxSeen Seen = Box.get();
    ASSERT_TRUE(Seen.Found);
    EXPECT_EQ(Seen.Text, "Currently F1 not config'ed");
    EXPECT_TRUE(Seen.OkOnly);
    EXPECT_EQ(FramesLater, FramesWhenShown) << "frames were presented while the box was up";
    EXPECT_GE(Frames, FramesAtOk + 20) << "frames did not resume after OK";
}

TEST_F(MainWindow, EveryOtherKeyDoesNothing)
{
    const WORD Keys[] = {'A',   'Z',    '0',    VK_RETURN, VK_SPACE,   VK_TAB,    VK_BACK, VK_LEFT,
                         VK_F2, VK_F10, VK_F12, VK_SHIFT,  VK_CONTROL, VK_DELETE, VK_HOME};
    bool BoxSeen = false;
    RunFrames(
        [&](int Frame)
        {
            if (Frame == 1)
            {
                for (const WORD Key : Keys)
                    PostKey(Key);
                // F10 comes as a system key, down and up.
                ::PostMessageW(Window, WM_SYSKEYDOWN, VK_F10, 1);
                ::PostMessageW(Window, WM_SYSKEYUP, VK_F10, 0xC0000001);
            }
            BoxSeen = BoxSeen || MessageBoxShown();
            if (Frame == 50)
                Form1->Close();
        });
    EXPECT_EQ(Frames, 50) << "a key ended the loop";
    EXPECT_FALSE(BoxSeen);
}

} // namespace
