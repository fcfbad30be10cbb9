// Helpers for tests that drive real windows under Wine.
#pragma once

#include <windows.h>

#include <functional>
#include <future>
#include <string>

struct TMessageBoxSeen
{
    bool Found = false;
    std::string Text;
    bool OkOnly = false; // an OK button and no other
};

// From a watcher thread: waits for a message box of this process with the caption, reads its
// text and buttons, runs During while the box is up, and presses OK.
std::future<TMessageBoxSeen>
AnswerMessageBox(const char* Caption, std::function<void()> During = {}, DWORD TimeoutMs = 15000);

// A top-level window of the process with the class (and the caption, if given), now; or, when
// waiting, once it is visible. Null if there is none.
HWND FindWindowOf(DWORD Process, const char* Class, const char* Caption = nullptr);
HWND WaitForWindowOf(DWORD Process, const char* Class, DWORD TimeoutMs = 15000,
                     const char* Caption = nullptr);

// Any message box of this process, at this moment.
bool MessageBoxShown();
