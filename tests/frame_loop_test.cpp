#include "MainWindow.h"

#include <chrono>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

TEST_F(MainWindow, FramesKeepComingWithNoInput)
{
    const auto Start = Clock::now();
    RunFrames(
        [&](int)
        {
            if (Clock::now() - Start >= std::chrono::seconds(1))
                Form1->Close();
        });
    // Software rendering on a shared machine: far fewer than a real card, far more than a timer.
    EXPECT_GE(Frames, 30) << "frames presented in one second";
}

TEST_F(MainWindow, EscapeEndsTheLoopWithinASecondWhileFramesSpin)
{
    Clock::time_point Posted;
    std::thread Presser(
        [&]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            Posted = Clock::now();
            PostKey(VK_ESCAPE);
        });
    RunFrames([](int) {});
    const auto Ended = Clock::now();
    Presser.join();
    EXPECT_LT(Ended - Posted, std::chrono::seconds(1));
    EXPECT_GT(Frames, 1);
}

} // namespace
