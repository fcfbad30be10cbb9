#include "MainWindow.h"

#include <chrono>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

// A way the user ends the program, as the window receives it.
struct TEnding
{
    const char* Name;
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
};

class Ending : public MainWindow, public testing::WithParamInterface<TEnding>
{
};

// Counted in frames, not seconds: a clock fails on a loaded machine, and a loop that never ends
// is the test's time limit.
TEST_P(Ending, EndsRunWithinTwoFramesWhileFramesSpin)
{
    RunFrames(
        [&](int Frame)
        {
            if (Frame == 2)
                ::PostMessageW(Window, GetParam().Msg, GetParam().WParam, GetParam().LParam);
        });
    EXPECT_LE(Frames, 4);
    EXPECT_TRUE(::IsWindow(Window)) << "the window goes with the form, after Run";
}

INSTANTIATE_TEST_SUITE_P(Keys, Ending,
                         testing::Values(TEnding{"Escape", WM_KEYDOWN, VK_ESCAPE, 1},
                                         TEnding{"CloseButton", WM_SYSCOMMAND, SC_CLOSE, 0},
                                         // bit 29: Alt is held
                                         TEnding{"AltF4", WM_SYSKEYDOWN, VK_F4, 0x20000001}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MainWindow, FramesKeepComingWithNoInputAndEveryOtherKeyDoesNothing)
{
    const WORD Keys[] = {'A', '0', VK_RETURN, VK_SPACE, VK_LEFT, VK_F2, VK_F12, VK_SHIFT};
    bool BoxSeen = false;
    const auto Start = Clock::now();
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
            if (Clock::now() - Start >= std::chrono::seconds(1))
                Form1->Close();
        });
    EXPECT_GE(Clock::now() - Start, std::chrono::seconds(1)) << "a key ended the loop";
    // Software rendering on a shared machine: far fewer than a real card, far more than a timer.
    EXPECT_GE(Frames, 30) << "frames presented in one second";
    EXPECT_FALSE(BoxSeen);
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

} // namespace
