// SPDX-License-Identifier: GPL-3.0-or-later
// A test window class whose procedure records what reaches it, and a way to
// run the real message loop for a while.
#pragma once

#include <functional>

#include <QString>
#include <gtest/gtest.h>
#include <vector>

#include "platform/platform.h"

struct LoggedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct TestWindowLog {
    std::vector<LoggedMessage> messages;
    LRESULT createResult = 0;
    bool paintFills = true; // WM_PAINT fills the invalid part with paintColour
    COLORREF paintColour = RGB(0, 0, 255);
    RECT lastPaint{};
};
extern TestWindowLog testLog;

constexpr LPCWSTR testClass = u"QtTestWindow";

// Points the lock and the windows' sockets at a private folder of this test
// run, removed when the process ends (once; a child copy started by a test
// keeps its parent's).
void UsePrivateRuntimeFolder();

// Makes the application on the offscreen display (once) and registers the
// test class (once), in a private runtime folder.
void StartTestPlatform();
HWND CreateTestWindow();

// A test with a fresh test window and an empty log; the window goes after.
class QtWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { DestroyWindow(window); }

    HWND window = nullptr;
};
// Runs GetMessageW/DispatchMessageW for about `milliseconds`.
void RunLoopFor(int milliseconds);
// Runs GetMessageW/DispatchMessageW until `done` holds, or at most
// `timeoutMs`; whether it held.
bool RunLoopUntil(const std::function<bool()>& done, int timeoutMs = 10000);
// Polls `done` from Qt's event loop (in any message loop, a modal one too)
// and runs `action` once it holds, or after `timeoutMs` all the same.
void WhenTrue(std::function<bool()> done, std::function<void()> action, int timeoutMs = 10000);
int CountMessages(UINT message, HWND window = nullptr);

// A button's text as read, without the mark of its mnemonic.
QString WithoutMnemonic(const QString& text);
