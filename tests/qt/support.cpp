// SPDX-License-Identifier: GPL-3.0-or-later
#include "support.h"

#include <QElapsedTimer>

#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "platform/qt/qt_platform.h"

TestWindowLog testLog;

namespace {

LRESULT TestWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    testLog.messages.push_back({window, message, wParam, lParam});
    switch (message) {
    case WM_CREATE:
        return testLog.createResult;
    case WM_PAINT:
        if (testLog.paintFills) {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            testLog.lastPaint = paint.rcPaint;
            HBRUSH brush = CreateSolidBrush(testLog.paintColour);
            RECT all{0, 0, 10000, 10000};
            FillRect(dc, &all, brush);
            DeleteObject(brush);
            EndPaint(window, &paint);
            return 1;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

void UsePrivateRuntimeFolder()
{
    if (std::getenv("CRADLECOM_SYSTEM_ROOT") != nullptr) {
        return;
    }
    static std::string folder;
    char pattern[] = "/tmp/cc-qt-runtime-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    std::string runtime = folder + "/runtime";
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    setenv("CRADLECOM_SYSTEM_ROOT", folder.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    std::atexit([] { std::filesystem::remove_all(folder); });
}

void StartTestPlatform()
{
    static bool started = false;
    if (started) {
        return;
    }
    started = true;
    UsePrivateRuntimeFolder();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "qt_platform_test";
    static char* argv[] = {name, nullptr};
    QtPlatformInit(&argc, argv);
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = TestWndProc;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = testClass;
    RegisterClassW(&windowClass);
}

HWND CreateTestWindow()
{
    StartTestPlatform();
    // The design's own size, so that the window shows at 1:1 on any screen.
    return CreateWindowExW(0, testClass, u"Test", WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                           240, 268, nullptr, nullptr, nullptr, nullptr);
}

void RunLoopFor(int milliseconds)
{
    QTimer::singleShot(milliseconds, [] { PostQuitMessage(7); });
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) != 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool RunLoopUntil(const std::function<bool()>& done, int timeoutMs)
{
    bool held = done();
    if (held)
        return true;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        held = done();
        if (held || clock.elapsed() > timeoutMs)
            PostQuitMessage(7);
    });
    poll.start(10);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) != 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return held;
}

void WhenTrue(std::function<bool()> done, std::function<void()> action, int timeoutMs)
{
    auto* poll = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::timeout, [poll, clock, done, action, timeoutMs] {
        if (!done() && clock->elapsed() <= timeoutMs)
            return;
        poll->stop();
        poll->deleteLater();
        delete clock;
        action();
    });
    poll->start(10);
}

int CountMessages(UINT message, HWND window)
{
    int count = 0;
    for (const LoggedMessage& logged : testLog.messages) {
        if (logged.message == message && (window == nullptr || logged.window == window)) {
            ++count;
        }
    }
    return count;
}

void QtWindowTest::SetUp()
{
    StartTestPlatform();
    testLog = TestWindowLog{};
    window = CreateTestWindow();
    ASSERT_NE(window, nullptr);
}

QString WithoutMnemonic(const QString& text)
{
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i; // "&&" stands for one ampersand
        plain += text[i];
    }
    return plain;
}
