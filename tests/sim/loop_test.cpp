// SPDX-License-Identifier: GPL-3.0-or-later
// The message loop on the virtual clock: order of messages, timers, the end
// of a run, nested message boxes, the named lock and the search for another
// copy's window.
#include <algorithm>

#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "platform/sim/sim_window.h"
#include "platform/system.h"

namespace {

struct Seen {
    SimTime time;
    UINT message;
    WPARAM wParam;
};

std::vector<Seen> seen;
bool ignoreClose = false;
LRESULT createResult = 0;
int boxAnswer = 0;

LRESULT TestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    seen.push_back(Seen{SimNow(), message, wParam});
    switch (message) {
    case WM_CREATE:
        return createResult;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_COMMAND:
        if (wParam == 900)
            boxAnswer = MessageBoxW(window, u"Exit?", u"Cradlecom", MB_YESNO | MB_ICONQUESTION);
        return 1;
    case WM_CLOSE:
        if (ignoreClose)
            return 0;
        break;
    case WM_DESTROY:
        PostQuitMessage(7);
        return 1;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class LoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimReset();
        seen.clear();
        ignoreClose = false;
        createResult = 0;
        boxAnswer = 0;
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = TestProc;
        windowClass.lpszClassName = u"Test";
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        ASSERT_NE(RegisterClassW(&windowClass), 0);
    }
    void TearDown() override { SimReset(); }

    static HWND Create()
    {
        return CreateWindowExW(0, u"Test", u"Title", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, nullptr, nullptr, SimInstance(), nullptr);
    }

    static int RunLoop()
    {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return static_cast<int>(msg.wParam);
    }

    static std::vector<UINT> Messages()
    {
        std::vector<UINT> messages;
        for (const Seen& s : seen)
            messages.push_back(s.message);
        return messages;
    }
};

TEST_F(LoopTest, MessagesComeInOrderOnTheClockAndTheRunEndClosesTheWindow)
{
    HWND window = Create();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(Messages(), std::vector<UINT>{WM_CREATE}); // inside creation
    EXPECT_EQ(SimMainWindow(), window);
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 240);
    EXPECT_EQ(client.bottom, 268);

    SetTimer(window, 100, 100, nullptr);
    ShowWindow(window, SW_SHOW);
    PostMessageW(window, WM_COMMAND, 1, 0);
    SimAt(15000, [&] { InvalidateRect(window, nullptr, TRUE); });
    SimSetEndTime(3 * 11025 + 5);

    EXPECT_EQ(RunLoop(), 7);
    std::vector<UINT> expected{WM_CREATE, WM_COMMAND, WM_PAINT, WM_TIMER,  WM_PAINT,
                               WM_TIMER,  WM_TIMER,   WM_CLOSE, WM_DESTROY};
    ASSERT_EQ(Messages(), expected);
    EXPECT_EQ(seen[1].time, 0);
    EXPECT_EQ(seen[2].time, 0);
    EXPECT_EQ(seen[3].time, 11025);
    EXPECT_EQ(seen[3].wParam, 100u);
    EXPECT_EQ(seen[4].time, 15000);
    EXPECT_EQ(seen[5].time, 22050);
    EXPECT_EQ(seen[6].time, 33075);
    EXPECT_FALSE(SimWindowAlive(window));
    EXPECT_FALSE(SimHasTimer(window, 100));
    EXPECT_EQ(SimFaults(), 0);
}

TEST_F(LoopTest, TicksWaitingInTheQueueAreCoalescedAndKillTimerStopsThem)
{
    HWND window = Create();
    SetTimer(window, 5, 100, nullptr);
    SimRunUntil(3 * 11025); // three ticks, no loop to take them
    EXPECT_TRUE(SimPumpMessages(3 * 11025));
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                            [](const Seen& s) { return s.message == WM_TIMER; }),
              1);

    seen.clear();
    EXPECT_TRUE(SimPumpMessages(5 * 11025));
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_TRUE(KillTimer(window, 5));
    EXPECT_FALSE(KillTimer(window, 5));
    seen.clear();
    EXPECT_TRUE(SimPumpMessages(10 * 11025));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(SimNow(), 10 * 11025);
}

TEST_F(LoopTest, CreateAnsweredWithMinusOneDestroysTheWindow)
{
    createResult = -1;
    EXPECT_EQ(Create(), nullptr);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
    EXPECT_EQ(SimMainWindow(), nullptr);
}

TEST_F(LoopTest, AWindowThatRefusesToCloseEndsTheRunWithAFault)
{
    ignoreClose = true;
    HWND window = Create();
    SimSetEndTime(1000);
    EXPECT_EQ(RunLoop(), 0);
    EXPECT_TRUE(SimWindowAlive(window));
    EXPECT_EQ(SimFaults(), 1);
}

TEST_F(LoopTest, TimersKeepTickingWhileAMessageBoxWaits)
{
    HWND window = Create();
    SetTimer(window, 100, 100, nullptr);
    int ticksInBox = 0;
    SimOnMessageBox([&](const SimMessageBox& box) {
        EXPECT_EQ(box.text, u"Exit?");
        EXPECT_EQ(box.caption, u"Cradlecom");
        EXPECT_EQ(box.type, MB_YESNO | MB_ICONQUESTION);
        std::size_t before = seen.size();
        EXPECT_TRUE(SimPumpMessages(SimNow() + 3 * 11025));
        for (std::size_t i = before; i < seen.size(); ++i)
            ticksInBox += seen[i].message == WM_TIMER ? 1 : 0;
        return IDYES;
    });
    SimAt(11025 + 1, [&] { PostMessageW(window, WM_COMMAND, 900, 0); });
    EXPECT_TRUE(SimPumpMessages(11025 * 10));
    EXPECT_EQ(ticksInBox, 3);
    EXPECT_EQ(boxAnswer, IDYES);
    ASSERT_EQ(SimMessageBoxes().size(), 1u);
    EXPECT_EQ(SimMessageBoxes()[0].time, 11026);

    SimOnMessageBox(nullptr);
    EXPECT_EQ(MessageBoxW(window, u"?", u"", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxW(window, u"!", u"", MB_OK | MB_ICONHAND), IDOK);
}

TEST_F(LoopTest, NamedLockTellsWhetherAnotherHolderHasIt)
{
    HANDLE first = CreateMutexW(nullptr, FALSE, u"CradleCom");
    ASSERT_NE(first, nullptr);
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    HANDLE second = CreateMutexW(nullptr, FALSE, u"CradleCom");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(SimLockHandles(u"CradleCom"), 2);
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_FALSE(CloseHandle(first));
    CreateMutexW(nullptr, FALSE, u"CradleCom");
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    SimHoldForeignLock(u"Other", 2);
    CloseHandle(CreateMutexW(nullptr, FALSE, u"Other"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    Sleep(500);
    CloseHandle(CreateMutexW(nullptr, FALSE, u"Other"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    Sleep(500);
    CreateMutexW(nullptr, FALSE, u"Other");
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(SimSleeps(), (std::vector<DWORD>{500, 500}));
    EXPECT_EQ(SimNow(), 0); // sleeping never moves the clock
}

TEST_F(LoopTest, ForeignWindowIsFoundAfterSleepsByClassAndTitle)
{
    HWND foreign = SimDeclareForeignWindow(u"CradleCom", u"Cradlecom", 2);
    EXPECT_EQ(FindWindowW(u"CradleCom", u"Cradlecom"), nullptr);
    Sleep(500);
    EXPECT_EQ(FindWindowW(u"CradleCom", u"Cradlecom"), nullptr);
    Sleep(500);
    EXPECT_EQ(FindWindowW(u"CradleCom", u"Cradlecom"), foreign);
    EXPECT_EQ(FindWindowW(u"CradleCom", u"Other title"), nullptr);

    HWND own = Create();
    EXPECT_EQ(FindWindowW(u"Test", u"Title"), own);
    SetWindowTextW(own, u"Renamed");
    EXPECT_EQ(FindWindowW(u"Test", u"Title"), nullptr);

    auto raised = reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(foreign) | 1);
    EXPECT_TRUE(SetForegroundWindow(raised));
    EXPECT_EQ(SimActivations(), std::vector<HWND>{raised});
}

} // namespace
