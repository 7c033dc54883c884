// SPDX-License-Identifier: GPL-3.0-or-later
// The real platform draws the bars with the same pixels as the simulated
// one: PaintMeters on a Qt window (offscreen) against the file that the
// simulated run wrote.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "bar_cases.h"
#include "platform/phone/phone_backend.h"
#include "platform/platform.h"
#include "platform/qt/qt_platform.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/layout.h"
#include "ui/ui.h"

struct PlatformInstance {
    int unused;
};
static PlatformInstance instance;
static const char* simPixels = nullptr;

TEST(QtBars, SamePixelsAsTheSimulatedPlatform)
{
    std::FILE* in = std::fopen(simPixels, "rb");
    ASSERT_NE(in, nullptr) << simPixels;
    shell.appInstance = &instance;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = &instance;
    windowClass.lpszClassName = u"Compare";
    RegisterClassW(&windowClass);
    HWND window =
        CreateWindowExW(0, u"Compare", u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, nullptr, nullptr, &instance, nullptr);
    ASSERT_NE(window, nullptr);
    int caseIndex = 0;
    for (const BarCase& c : barCases) {
        capture.level = c.level;
        limits.volLimit = c.volLimit;
        monitor.cryMeter = c.cryMeter;
        limits.cryLimit = c.cryLimit;
        monitor.clockRedraw = 1;
        PaintMeters(window);
        QImage surface = QtWindowSurface(window);
        ASSERT_EQ(surface.width(), compareWidth);
        ASSERT_EQ(surface.height(), compareHeight);
        long differences = 0;
        for (int y = 0; y < compareHeight; ++y) {
            for (int x = 0; x < compareWidth; ++x) {
                if (!InBarArea(x, y))
                    continue;
                COLORREF expected = 0;
                ASSERT_EQ(std::fread(&expected, sizeof expected, 1, in), 1u);
                QRgb rgb = surface.pixel(x, y);
                COLORREF actual = RGB(qRed(rgb), qGreen(rgb), qBlue(rgb));
                if (actual != expected && ++differences <= 5)
                    ADD_FAILURE() << "case " << caseIndex << " pixel " << x << "," << y << ": qt "
                                  << std::hex << actual << " sim " << expected;
            }
        }
        EXPECT_EQ(differences, 0) << "case " << caseIndex;
        ++caseIndex;
    }
    COLORREF extra;
    EXPECT_EQ(std::fread(&extra, sizeof extra, 1, in), 0u); // both drew the same cases
    std::fclose(in);
    DestroyWindow(window);
}

// The longest status lines, in both languages, fit between the bars and
// within their rows on the real platform's font: nothing is cut, nothing
// spills onto the bars or the picture.
TEST(QtStatus, LongestLinesFitBetweenTheBars)
{
    shell.appInstance = &instance;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = &instance;
    windowClass.lpszClassName = u"Status";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, u"Status", u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, nullptr, nullptr, &instance, nullptr);
    ASSERT_NE(window, nullptr);
    microphone.starts = 1;
    microphone.startResult = MMSYSERR_NODRIVER;
    monitor.callsMade = 999;
    settings.PhoneMaxCalls = 999;
    phoneCall.hour = 23;
    phoneCall.minute = 59;
    // Both languages, then both again with the louder lines: the call limit
    // reached, and no way to call (the automatic choice finds no bus here).
    for (std::int32_t pass : {0, 1, 2, 3}) {
        const std::int32_t language = pass % 2;
        const bool loud = pass >= 2;
        ASSERT_TRUE(SetPhoneBackend(loud ? "automatic" : "log", nullptr));
        monitor.monitoring = loud ? 1 : 0;
        phoneCall.routeWarning = loud ? ROUTE_WARNING_GIVEN : ROUTE_WARNING_NONE;
        PhoneGetRoute(); // the first look
        ASSERT_EQ(PhoneGetRoute(), loud ? PHONE_ROUTE_NONE : PHONE_ROUTE_LOG);
        for (std::int32_t outcome : {CALL_LOGGED, CALL_FAILED, CALL_PLACED}) {
            settings.Language = language;
            phoneCall.outcome = outcome;
            HDC dc = GetDC(window);
            RECT client{0, 0, compareWidth, compareHeight};
            HBRUSH background = CreateSolidBrush(backgroundColour);
            FillRect(dc, &client, background);
            DeleteObject(background);
            ReleaseDC(window, dc);
            statusScreen.shown = 0;
            PaintStatus(window);
            QImage surface = QtWindowSurface(window);
            const ScreenLayout& at = screenLayout;
            for (int line = 0; line < at.statusLineCount; ++line) {
                const int top = at.statusTop + at.statusLineHeight * line;
                int left = compareWidth;
                int right = -1;
                for (int y = top; y < top + at.statusLineHeight; ++y) {
                    for (int x = 0; x < compareWidth; ++x) {
                        QRgb rgb = surface.pixel(x, y);
                        if (qRed(rgb) + qGreen(rgb) + qBlue(rgb) > 3 * 128)
                            continue;
                        left = std::min(left, x);
                        right = std::max(right, x);
                        EXPECT_TRUE(y > top && y < top + at.statusLineHeight - 1)
                            << "language " << language << " line " << line << " row " << y;
                    }
                }
                EXPECT_LE(left, right) << "language " << language << " line " << line;
                EXPECT_GT(left, at.statusLeft) << "language " << language << " line " << line;
                EXPECT_LT(right, compareWidth - at.statusFromRight - 1)
                    << "language " << language << " line " << line;
            }
        }
    }
    microphone = MicrophoneState{};
    monitor = MonitorState{};
    phoneCall = CallState{};
    settings = SettingsRecord{};
    DestroyWindow(window);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: qt_bars_test SIM_PIXELS\n");
        return 2;
    }
    simPixels = argv[1];
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The window's socket goes to a folder of this run, never the user's.
    char runtime[] = "/tmp/cc-bars-runtime-XXXXXX";
    if (mkdtemp(runtime) == nullptr)
        return 2;
    setenv("CRADLECOM_SYSTEM_ROOT", runtime, 1);
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/cc-no-bus", 1);
    QtPlatformInit(&argc, argv);
    int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(runtime);
    return result;
}
