// SPDX-License-Identifier: GPL-3.0-or-later
// Messages, the timer, painting, closing and the message box's nested loop.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/qt/qt_platform.h"
#include "support.h"

namespace {

class QtWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartTestPlatform();
        testLog = TestWindowLog{};
    }
};

TEST_F(QtWindowTest, CreationSendsWmCreateAndMinusOneFailsIt)
{
    HWND window = CreateTestWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(testLog.messages.empty());
    EXPECT_EQ(testLog.messages.front().message, WM_CREATE);
    EXPECT_EQ(testLog.messages.front().window, window);
    RECT client{};
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 240);
    EXPECT_EQ(client.bottom, 268);
    DestroyWindow(window);

    testLog = TestWindowLog{};
    testLog.createResult = -1;
    EXPECT_EQ(CreateTestWindow(), nullptr);
    EXPECT_EQ(CountMessages(WM_CREATE), 1);
    EXPECT_EQ(CountMessages(WM_DESTROY), 1);
}

TEST_F(QtWindowTest, PostedMessagesComeInOrderThenTheQuitCode)
{
    HWND window = CreateTestWindow();
    PostMessageW(window, WM_COMMAND, 500, 0);
    PostMessageW(window, WM_COMMAND, 900, 3);
    PostQuitMessage(42);
    MSG msg{};
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, WM_COMMAND);
    EXPECT_EQ(msg.wParam, 500u);
    EXPECT_EQ(msg.hwnd, window);
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.wParam, 900u);
    EXPECT_EQ(msg.lParam, 3);
    EXPECT_EQ(DispatchMessageW(&msg), 0);
    EXPECT_EQ(CountMessages(WM_COMMAND), 1);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 42u);
    DestroyWindow(window);
}

// The ticks keep coming, each with its identifier, until the timer is
// killed; how often they come is the live-cost benchmark's business.
TEST_F(QtWindowTest, TimerTicksWithItsIdentifierUntilKilled)
{
    HWND window = CreateTestWindow();
    ASSERT_EQ(SetTimer(window, 100, 100, nullptr), 100u);
    ASSERT_TRUE(RunLoopUntil([&] { return CountMessages(WM_TIMER, window) >= 3; }));
    for (const LoggedMessage& logged : testLog.messages) {
        if (logged.message == WM_TIMER) {
            EXPECT_EQ(logged.wParam, 100u);
        }
    }
    ASSERT_TRUE(KillTimer(window, 100));
    int ticks = CountMessages(WM_TIMER, window);
    RunLoopFor(350);
    EXPECT_EQ(CountMessages(WM_TIMER, window), ticks);
    DestroyWindow(window);
}

TEST_F(QtWindowTest, UndeliveredTicksCoalesceIntoOne)
{
    HWND window = CreateTestWindow();
    SetTimer(window, 5, 50, nullptr);
    QElapsedTimer clock;
    clock.start();
    // Qt events run, but nobody takes messages from the queue.
    while (clock.elapsed() < 500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    KillTimer(window, 6); // another id: changes nothing
    PostQuitMessage(0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) != 0) {
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(CountMessages(WM_TIMER, window), 1);
    DestroyWindow(window);
}

TEST_F(QtWindowTest, WindowManagerCloseReachesProcedureAndDestroys)
{
    HWND window = CreateTestWindow();
    ShowWindow(window, SW_SHOW);
    QWidget* frame = QtWindowWidget(window);
    ASSERT_NE(frame, nullptr);
    frame->close();
    ASSERT_EQ(CountMessages(WM_CLOSE, window), 1);
    EXPECT_EQ(CountMessages(WM_DESTROY, window), 1);
    EXPECT_EQ(QtWindowWidget(window), nullptr);
    EXPECT_EQ(PostMessageW(window, WM_COMMAND, 1, 0), FALSE);
}

TEST_F(QtWindowTest, PaintComesForInvalidPartsOnly)
{
    HWND window = CreateTestWindow();
    EXPECT_EQ(CountMessages(WM_PAINT), 0);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    ASSERT_EQ(CountMessages(WM_PAINT, window), 1);
    EXPECT_EQ(testLog.lastPaint.right, 240);
    EXPECT_EQ(testLog.lastPaint.bottom, 268);
    EXPECT_EQ(QtWindowSurface(window).pixel(239, 267), qRgb(0, 0, 255));
    RunLoopFor(200);
    EXPECT_EQ(CountMessages(WM_PAINT, window), 1); // validated: no repeat

    testLog.paintColour = RGB(0, 255, 0);
    RECT part{10, 20, 30, 40};
    InvalidateRect(window, &part, FALSE);
    RunLoopFor(100);
    ASSERT_EQ(CountMessages(WM_PAINT, window), 2);
    EXPECT_EQ(testLog.lastPaint.left, 10);
    EXPECT_EQ(testLog.lastPaint.bottom, 40);
    QImage surface = QtWindowSurface(window);
    EXPECT_EQ(surface.pixel(10, 20), qRgb(0, 255, 0));
    EXPECT_EQ(surface.pixel(29, 39), qRgb(0, 255, 0));
    EXPECT_EQ(surface.pixel(30, 39), qRgb(0, 0, 255)); // clipped to the invalid part
    EXPECT_EQ(surface.pixel(9, 20), qRgb(0, 0, 255));

    // Drawing through GetDC invalidates nothing.
    HDC dc = GetDC(window);
    SetPixel(dc, 0, 0, RGB(255, 0, 0));
    ReleaseDC(window, dc);
    RunLoopFor(100);
    EXPECT_EQ(CountMessages(WM_PAINT, window), 2);
    EXPECT_EQ(QtWindowSurface(window).pixel(0, 0), qRgb(255, 0, 0));

    // A resize scales the design: a new surface, all of it invalid, and
    // the client keeps its designed size.
    QtWindowWidget(window)->resize(300, 400);
    RunLoopFor(100);
    EXPECT_EQ(CountMessages(WM_PAINT, window), 3);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 240);
    EXPECT_EQ(testLog.lastPaint.right, 240);
    EXPECT_EQ(QtWindowSurface(window).size(), QSize(300, 335));
    DestroyWindow(window);
}

TEST_F(QtWindowTest, MessageBoxWaitsWhileTimerKeepsTicking)
{
    HWND window = CreateTestWindow();
    SetTimer(window, 100, 100, nullptr);
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    // Answered once the timer has ticked a few times while the box was open.
    WhenTrue([&] { return CountMessages(WM_TIMER, window) >= 3; },
             [&] {
                 auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                 ASSERT_NE(box, nullptr);
                 title = box->windowTitle();
                 text = box->text();
                 icon = box->icon();
                 box->button(QMessageBox::Yes)->click();
             });
    int answer =
        MessageBoxW(window, u"Wirklich beenden?", u"Cradlecom", MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(answer, IDYES);
    EXPECT_EQ(title, QStringLiteral("Cradlecom"));
    EXPECT_EQ(text, QStringLiteral("Wirklich beenden?"));
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_GE(CountMessages(WM_TIMER, window), 3);

    QTimer::singleShot(100, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        icon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(MessageBoxW(window, u"?", u"Cradlecom", MB_YESNO | MB_ICONEXCLAMATION), IDNO);
    EXPECT_EQ(icon, QMessageBox::Warning);

    QTimer::singleShot(100, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        icon = box->icon();
        EXPECT_EQ(box->button(QMessageBox::Yes), nullptr);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(MessageBoxW(window, u"!", u"Cradlecom", MB_OK | MB_ICONHAND), IDOK);
    EXPECT_EQ(icon, QMessageBox::Critical);
    DestroyWindow(window);
}

} // namespace
