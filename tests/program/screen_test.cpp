// SPDX-License-Identifier: GPL-3.0-or-later
// The main screen to the pixel: the two bars, their limit dots, the text
// band's pacing and the pictures, on the simulated surface (240 x 268).
#include <cmath>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/common/bitmap.h"
#include "platform/platform.h"
#include "program_fixture.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/ui.h"

namespace {

constexpr COLORREF red = 0x000000FF;
constexpr COLORREF blue = 0x00FF0000;
constexpr COLORREF black = 0x00000000;

class ScreenTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = SimInstance();
        windowClass.lpszClassName = u"ScreenTest";
        RegisterClassW(&windowClass);
        window =
            CreateWindowExW(0, u"ScreenTest", u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, nullptr, nullptr, SimInstance(), nullptr);
        ASSERT_NE(window, nullptr);
        monitor.clockRedraw = 1; // no band unless a test asks for it
    }

    // The colour of every interior pixel of a row of a bar, or 1 if mixed.
    COLORREF RowColour(LONG left, LONG row)
    {
        COLORREF first = SimPixel(window, left + 1, row);
        for (LONG x = left + 2; x < left + 20; ++x) {
            if (x % 2 == 0 && x - left < 20 && IsDotRow(row))
                continue;
            if (SimPixel(window, x, row) != first)
                return 1;
        }
        return first;
    }

    bool IsDotRow(LONG row) const { return row == dotRow; }

    void Paint(double level, double volLimit)
    {
        capture.level = level;
        limits.volLimit = volLimit;
        dotRow = 258 - static_cast<LONG>(217 * volLimit) + 1;
        PaintMeters(window);
    }

    HWND window = nullptr;
    LONG dotRow = -1;
};

} // namespace

// The worked example: 240 x 268, value 0.5 colours rows 150 to 257; the
// dots of limit 0.5 lie on row 151; nothing is left between the parts.
TEST_F(ScreenTest, BarGeometryOfTheWorkedExample)
{
    Paint(0.5, 0.5);
    EXPECT_EQ(RowColour(10, 257), red);
    EXPECT_EQ(RowColour(10, 150), red);
    EXPECT_EQ(RowColour(10, 149), backgroundColour);
    EXPECT_EQ(RowColour(10, 41), backgroundColour);
    // Outline on columns 10 and 30, rows 40 and 258, corners included.
    for (LONG y = 40; y <= 258; ++y) {
        EXPECT_EQ(SimPixel(window, 10, y), black) << y;
        EXPECT_EQ(SimPixel(window, 30, y), black) << y;
    }
    for (LONG x = 10; x <= 30; ++x) {
        EXPECT_EQ(SimPixel(window, x, 40), black) << x;
        EXPECT_EQ(SimPixel(window, x, 258), black) << x;
    }
    EXPECT_NE(SimPixel(window, 31, 100), black);
    EXPECT_NE(SimPixel(window, 10, 259), black);
    // Ten dots at 10, 12 .. 28 on row 151, on top of the colour.
    for (LONG x = 10; x < 30; ++x)
        EXPECT_EQ(SimPixel(window, x, 151), x % 2 == 0 ? black : red) << x;
    // The cry bar spans columns 207 to 227.
    monitor.cryMeter = 0.0;
    limits.cryLimit = 0.5;
    PaintMeters(window);
    EXPECT_EQ(SimPixel(window, 207, 40), black);
    EXPECT_EQ(SimPixel(window, 227, 258), black);
    EXPECT_EQ(SimPixel(window, 208, 100), backgroundColour);
}

TEST_F(ScreenTest, BarColourAndFillAtTheEnds)
{
    Paint(0.0, 0.5);
    for (LONG y = 41; y <= 257; ++y)
        EXPECT_EQ(RowColour(10, y), backgroundColour) << y;
    EXPECT_EQ(SimPixel(window, 11, 258), black); // the bottom outline stays

    Paint(1.0, 0.7);
    for (LONG y = 41; y <= 257; ++y)
        EXPECT_EQ(RowColour(10, y), red) << y;

    Paint(0.5, 0.5); // equal to the limit: red
    EXPECT_EQ(RowColour(10, 200), red);
    Paint(std::nextafter(0.5, 0.0), 0.5); // just below: blue
    EXPECT_EQ(RowColour(10, 200), blue);
}

TEST_F(ScreenTest, LimitDotsAtTheEnds)
{
    Paint(0.0, 0.0);
    for (LONG x = 10; x < 30; ++x)
        EXPECT_EQ(SimPixel(window, x, 259), x % 2 == 0 ? black : 0x00FFFFFFu) << x;
    Paint(0.0, 1.0);
    for (LONG x = 10; x < 30; x += 2)
        EXPECT_EQ(SimPixel(window, x, 42), black) << x;
    EXPECT_EQ(SimPixel(window, 11, 42), backgroundColour);
}

// A falling value must not leave a coloured row above the new colour.
TEST_F(ScreenTest, FallingValueLeavesNoStaleRow)
{
    Paint(0.9, 1.0);
    Paint(0.5, 1.0);
    EXPECT_EQ(RowColour(10, 149), backgroundColour);
    EXPECT_EQ(RowColour(10, 150), blue);
    for (LONG y = 41; y < 150; ++y)
        ASSERT_EQ(RowColour(10, y), backgroundColour) << y;
}

// Straight onto the surface: no invalidation, one pen, at most four
// brushes, everything deleted and released in the same call.
TEST_F(ScreenTest, MetersDrawDirectlyAndCleanUp)
{
    long pens = SimGdiCreated(SimGdiKind::Pen);
    long brushes = SimGdiCreated(SimGdiKind::Brush);
    Paint(0.3, 0.5);
    EXPECT_EQ(SimGdiCreated(SimGdiKind::Pen) - pens, 1);
    EXPECT_LE(SimGdiCreated(SimGdiKind::Brush) - brushes, 4);
    EXPECT_EQ(SimGdiLive(SimGdiKind::Pen), 0);
    EXPECT_EQ(SimGdiLive(SimGdiKind::Brush), 0);
    EXPECT_EQ(SimGdiLive(SimGdiKind::DC), 0);
    EXPECT_TRUE(SimInvalidations().empty());
}

// The band comes on every tenth call, and at once when asked with 10.
TEST_F(ScreenTest, TextBandPacing)
{
    monitor.clockHour = 7;
    monitor.clockMinute = 5;
    monitor.clockRedraw = 0;
    for (int call = 1; call <= 9; ++call)
        PaintMeters(window);
    EXPECT_TRUE(SimTextLog().empty());
    EXPECT_EQ(monitor.clockRedraw, 9);
    PaintMeters(window);
    std::vector<SimText> band = SimTextLog();
    ASSERT_EQ(band.size(), 3u);
    EXPECT_EQ(band[0].text, u"Veltrano");
    EXPECT_EQ(band[0].rect.top, 15);
    EXPECT_EQ(band[0].rect.bottom, 30);
    EXPECT_EQ(band[0].rect.right, 240);
    EXPECT_EQ(band[1].text, u"07:05");
    EXPECT_EQ(band[1].rect.top, 80);
    EXPECT_EQ(band[2].text, u"Status");
    EXPECT_EQ(band[2].rect.top, 120);
    EXPECT_EQ(monitor.clockRedraw, 0);

    monitor.clockRedraw = 10;
    PaintMeters(window);
    EXPECT_EQ(SimTextLog().size(), 6u);
    EXPECT_EQ(monitor.clockRedraw, 0);
}

static COLORREF BitmapPixel(UINT id, int x, int y)
{
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    EXPECT_TRUE(DecodeBitmapResource(id, &width, &height, &pixels));
    std::uint32_t rgb = pixels[static_cast<std::size_t>(y * width + x)];
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

TEST_F(ScreenTest, PicturesWhereTheyBelongAndStartStopByMonitoring)
{
    const UINT ids[screenBitmapCount] = {109, 111, 116, 117, 119, 118};
    for (int slot = 0; slot < screenBitmapCount; ++slot)
        shell.screenBitmaps[slot] = LoadBitmapW(SimInstance(), ids[slot]);
    InvalidateRect(window, nullptr, TRUE);
    PaintMainScreen(window);
    EXPECT_EQ(SimPixel(window, 0, 0), backgroundColour);
    EXPECT_EQ(SimPixel(window, 10 + 14, 4 + 16), BitmapPixel(109, 14, 16));
    EXPECT_EQ(SimPixel(window, 210 + 10, 4 + 20), BitmapPixel(111, 10, 20));
    EXPECT_EQ(SimPixel(window, 96 + 16, 40 + 16), BitmapPixel(116, 16, 16));
    // The stop sign while monitoring is off, the play arrow while on.
    int differing = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            EXPECT_EQ(SimPixel(window, 96 + x, 140 + y), BitmapPixel(119, x, y));
            differing += BitmapPixel(119, x, y) != BitmapPixel(118, x, y);
        }
    }
    EXPECT_GT(differing, 100);
    monitor.monitoring = 1;
    InvalidateRect(window, nullptr, TRUE);
    PaintMainScreen(window);
    for (int y = 0; y < 33; ++y) {
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(SimPixel(window, 96 + x, 140 + y), BitmapPixel(118, x, y)) << x << "," << y;
    }
    for (HBITMAP bitmap : shell.screenBitmaps)
        DeleteObject(bitmap);
}
