// SPDX-License-Identifier: GPL-3.0-or-later
// The main screen scaled to a bigger window keeps its layout: at 2 and 3
// times, every flat part (background, bars, frames, the pictures' flat
// areas) has the colour it has at 1:1, scaled, and each line of text has its
// ink where the 1:1 line has it, drawn finer than the 1:1 pixels.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/platform.h"
#include "platform/qt/qt_platform.h"
#include "resources/ids.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/layout.h"
#include "ui/ui.h"

struct PlatformInstance {
    int unused;
};

namespace {

PlatformInstance instance;

LRESULT ScreenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PaintMainScreen(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The whole screen at `scale`: background and pictures, bars, clock, status.
QImage ScreenAt(HWND window, int scale)
{
    QtSetWindowScale(window, scale);
    QElapsedTimer waited;
    waited.start();
    while (QtWindowSurface(window).width() != 240 * scale && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    UpdateWindow(window);
    monitor.clockRedraw = 1;
    PaintMeters(window);
    PaintStatus(window);
    return QtWindowSurface(window);
}

bool Dark(QRgb pixel)
{
    return qRed(pixel) + qGreen(pixel) + qBlue(pixel) < 3 * 128;
}

bool Near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 &&
           std::abs(qBlue(a) - qBlue(b)) <= 2;
}

// The ink's columns between the bars in rows top to bottom (excluded) of
// `image`, drawn at `scale`; false when there is none.
bool InkColumns(const QImage& image, int scale, int top, int bottom, int* left, int* right)
{
    const ScreenLayout& at = screenLayout;
    *left = image.width();
    *right = -1;
    for (int y = top; y < bottom; ++y) {
        for (int x = at.statusLeft * scale; x < image.width() - at.statusFromRight * scale; ++x) {
            if (Dark(image.pixel(x, y))) {
                *left = std::min(*left, x);
                *right = std::max(*right, x);
            }
        }
    }
    return *left <= *right;
}

TEST(QtScale, TwiceAndThreeTimesShowTheSameLayout)
{
    shell.appInstance = &instance;
    const UINT pictures[screenBitmapCount] = {bmpDummy,     bmpBottle, bmpAlarmClock,
                                              bmpTelephone, bmpStop,   bmpPlay};
    for (int slot = 0; slot < screenBitmapCount; ++slot)
        shell.screenBitmaps[slot] = LoadBitmapW(&instance, pictures[slot]);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ScreenProc;
    windowClass.hInstance = &instance;
    windowClass.lpszClassName = u"Scaled";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, u"Scaled", u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, nullptr, nullptr, &instance, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(CreateMainMenuBar(window), 0);
    ShowWindow(window, SW_SHOW);
    capture.level = 0.6;
    limits.volLimit = 0.5;
    monitor.cryMeter = 0.3;
    limits.cryLimit = 0.7;
    settings.Language = 1;
    const QImage design = ScreenAt(window, 1);
    ASSERT_EQ(design.size(), QSize(240, 268));
    const ScreenLayout& at = screenLayout;

    for (int scale : {2, 3}) {
        const QImage scaled = ScreenAt(window, scale);
        ASSERT_EQ(scaled.size(), design.size() * scale);
        long flat = 0;
        long wrong = 0;
        for (int y = 1; y + 1 < design.height(); ++y) {
            for (int x = 1; x + 1 < design.width(); ++x) {
                const QRgb colour = design.pixel(x, y);
                bool uniform = true;
                for (int dy = -1; dy <= 1 && uniform; ++dy)
                    for (int dx = -1; dx <= 1 && uniform; ++dx)
                        uniform = design.pixel(x + dx, y + dy) == colour;
                if (!uniform)
                    continue;
                ++flat;
                const QRgb shown = scaled.pixel(x * scale + scale / 2, y * scale + scale / 2);
                if (!Near(shown, colour) && ++wrong <= 5)
                    ADD_FAILURE() << scale << "x: " << x << "," << y << " is " << std::hex << shown
                                  << ", 1:1 " << colour;
            }
        }
        EXPECT_GT(flat, 240 * 268 / 2) << "most of the screen is flat";
        EXPECT_EQ(wrong, 0) << scale << "x";

        // The clock and the status lines: ink where 1:1 has it, scaled.
        std::vector<std::pair<int, int>> rows = {{at.clockTop, at.clockBottom}};
        for (int line = 0; line < at.statusLineCount; ++line) {
            const int top = at.statusTop + at.statusLineHeight * line;
            rows.emplace_back(top, top + at.statusLineHeight);
        }
        for (const auto& [top, bottom] : rows) {
            int left = 0, right = 0, scaledLeft = 0, scaledRight = 0;
            if (!InkColumns(design, 1, top, bottom, &left, &right))
                continue;
            ASSERT_TRUE(
                InkColumns(scaled, scale, top * scale, bottom * scale, &scaledLeft, &scaledRight))
                << scale << "x: no text in rows " << top << " to " << bottom;
            EXPECT_NEAR(scaledLeft, left * scale, 2 * scale) << scale << "x, row " << top;
            EXPECT_NEAR(scaledRight, (right + 1) * scale - 1, 2 * scale)
                << scale << "x, row " << top;
            // Drawn at the device's resolution, not as blocks of a 1:1 picture.
            int finer = 0;
            for (int y = top * scale; y < bottom * scale; ++y)
                for (int x = scaledLeft; x <= scaledRight; ++x)
                    finer += scaled.pixel(x, y) != scaled.pixel(x - x % scale, y - y % scale);
            EXPECT_GT(finer, 0) << scale << "x, row " << top;
        }
    }
    DestroyWindow(window);
    for (HBITMAP& bitmap : shell.screenBitmaps)
        DeleteObject(bitmap);
    ClearCaptureState();
    monitor = MonitorState{};
    settings = SettingsRecord{};
}

} // namespace
