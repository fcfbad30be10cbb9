#include "ProbeForm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using testing::Contains;
using testing::ElementsAre;

namespace
{

class Loop : public testing::Test
{
protected:
    void SetUp() override
    {
        TProbeForm::Log().clear();
        App.CreateForm(&Form);
        Window = Form->GetHandle();
    }

    TApplication App;
    TProbeForm* Form = nullptr;
    HWND Window = nullptr;
    int IdleCalls = 0;
};

TEST_F(Loop, WaitingMessagesAreHandledBeforeTheNextIdleCall)
{
    App.OnIdle = [&](TObject*, bool& Done)
    {
        Done = false;
        ++IdleCalls;
        if (IdleCalls == 1)
        {
            ::PostMessageW(Window, WM_KEYDOWN, 'B', 0);
            ::PostMessageW(Window, WM_KEYDOWN, 'C', 0);
        }
        else if (IdleCalls == 2)
        {
            EXPECT_THAT(Form->Events, testing::IsSupersetOf({"KeyDown 66", "KeyDown 67"}));
            Form->Close();
        }
    };
    App.Run();
    EXPECT_EQ(IdleCalls, 2);
}

TEST_F(Loop, WhenDoneTheLoopWaitsForTheNextMessage)
{
    std::thread Poster(
        [this]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::PostMessageW(Window, WM_KEYDOWN, 'D', 0);
        });
    const auto Start = std::chrono::steady_clock::now();
    App.OnIdle = [&](TObject*, bool& Done)
    {
        ++IdleCalls;
        Done =
            std::find(Form->Events.begin(), Form->Events.end(), "KeyDown 68") == Form->Events.end();
        if (!Done)
            Form->Close();
    };
    App.Run();
    Poster.join();
    // A loop that spun instead of waiting would call the handler thousands of times.
    EXPECT_LT(IdleCalls, 20);
    EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(250));
}

TEST_F(Loop, RunShowsTheMainFormWithAResizeBeforeTheFirstIdleCall)
{
    App.OnIdle = [&](TObject*, bool& Done)
    {
        Done = false;
        EXPECT_TRUE(::IsWindowVisible(Window));
        EXPECT_THAT(Form->Events, ElementsAre("Create", "Resize"));
        Form->Close();
    };
    App.Run();
}

TEST(Shutdown, CloseEndsRunAndTheFormIsDestroyedAfterwardsWithItsWindow)
{
    TProbeForm::Log().clear();
    HWND Window = nullptr;
    {
        TApplication App;
        TProbeForm* Form = nullptr;
        App.CreateForm(&Form);
        Window = Form->GetHandle();
        Form->OnDestroy = [&](TObject*)
        {
            // The destroy event still sees the window it was created with.
            EXPECT_EQ(Form->GetHandle(), Window);
            EXPECT_TRUE(::IsWindow(Window));
            TProbeForm::Log().push_back("Destroy");
        };
        App.OnIdle = [&](TObject*, bool& Done)
        {
            Done = false;
            Form->Close();
        };
        App.Run();
        EXPECT_TRUE(::IsWindow(Window)) << "Close must not destroy the window";
        EXPECT_THAT(TProbeForm::Log(), testing::Not(Contains("Destroy")));
    }
    EXPECT_FALSE(::IsWindow(Window));
    EXPECT_EQ(TProbeForm::Log().back(), "Destroy");
}

TEST_F(Loop, AnExceptionInAHandlerLeavesRunForItsCaller)
{
    Form->OnKeyDown = [](TObject*, WORD&, TShiftState)
    {
        throw Exception("key failed");
    };
    App.OnIdle = [&](TObject*, bool& Done)
    {
        Done = false;
        if (++IdleCalls == 1)
            ::PostMessageW(Window, WM_KEYDOWN, 'E', 0);
    };
    EXPECT_EQ(ThrownBy([&] { App.Run(); }), "key failed");
}

class TFailsInCreateMessage : public TProbeForm
{
public:
    using TProbeForm::TProbeForm;

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override
    {
        if (Msg == WM_CREATE)
            throw Exception("WM_CREATE failed");
        return TProbeForm::WndProc(Msg, WParam, LParam);
    }
};

TEST(Creation, AnExceptionInsideCreateWindowReachesTheCallerAndLeavesNoWindow)
{
    TApplication App;
    TFailsInCreateMessage* Form = nullptr;
    App.CreateForm(&Form);
    ASSERT_FALSE(Form->HandleAllocated());
    EXPECT_EQ(ThrownBy([&] { Form->GetHandle(); }), "WM_CREATE failed");
    EXPECT_FALSE(Form->HandleAllocated());
    EXPECT_EQ(::FindWindowW(L"TProbeForm", nullptr), nullptr);
}

} // namespace
