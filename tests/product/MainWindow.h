// Fixture for tests of the real main window: Form1 created by the global Application, as the
// program's entry creates it; each test case runs in a process of its own.
#pragma once

#include "TestSupport.h"

#include <Tutorial.h>

#include <gtest/gtest.h>

#include <functional>

class MainWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        Application->CreateForm(&Form1);
        ASSERT_NE(Form1, nullptr);
        Window = Form1->GetHandle();
    }

    // Runs the message loop; Step is called after each frame with the count of frames so far.
    void RunFrames(const std::function<void(int Frame)>& Step)
    {
        const TIdleEvent Frame = Application->OnIdle;
        ASSERT_TRUE(Frame) << "TForm1 installs no idle handler";
        Application->OnIdle = [&, Frame](TObject* Sender, bool& Done)
        {
            Frame(Sender, Done);
            Step(++Frames);
        };
        Application->Run();
    }

    void PostKey(WORD Key) { ::PostMessageW(Window, WM_KEYDOWN, Key, 1); }

    HWND Window = nullptr;
    int Frames = 0;
};
