// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel rules of the drawing primitives on the window's surface.
#include <QPaintEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

#include "platform/common/bitmap.h"
#include "platform/common/line.h"
#include "platform/qt/qt_platform.h"
#include "support.h"

namespace {

constexpr QRgb white = 0xFFFFFFFF;

class QtDrawingTest : public QtWindowTest {
protected:
    void SetUp() override
    {
        QtWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        dc = GetDC(window);
        ASSERT_NE(dc, nullptr);
    }
    void TearDown() override
    {
        ReleaseDC(window, dc);
        QtWindowTest::TearDown();
    }
    QRgb Pixel(int x, int y) const { return QtWindowSurface(window).pixel(x, y); }

    HDC dc = nullptr;
};

TEST_F(QtDrawingTest, FillRectExcludesRightColumnAndBottomRow)
{
    HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
    RECT rect{10, 20, 15, 23};
    EXPECT_NE(FillRect(dc, &rect, brush), 0);
    DeleteObject(brush);
    EXPECT_EQ(Pixel(10, 20), qRgb(255, 0, 0));
    EXPECT_EQ(Pixel(14, 22), qRgb(255, 0, 0));
    EXPECT_EQ(Pixel(15, 22), white);
    EXPECT_EQ(Pixel(14, 23), white);
    EXPECT_EQ(Pixel(9, 20), white);
    EXPECT_EQ(Pixel(10, 19), white);
    RECT empty{30, 30, 30, 40};
    HBRUSH other = CreateSolidBrush(RGB(0, 0, 0));
    FillRect(dc, &empty, other);
    DeleteObject(other);
    EXPECT_EQ(Pixel(30, 30), white);
}

TEST_F(QtDrawingTest, LinesLeaveOutTheirEndPointAndUseTheSelectedPen)
{
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 128, 0));
    HGDIOBJ previous = SelectObject(dc, pen);
    ASSERT_NE(previous, nullptr);
    POINT before{};
    MoveToEx(dc, 10, 40, nullptr);
    MoveToEx(dc, 0, 50, &before);
    EXPECT_EQ(before.x, 10);
    EXPECT_EQ(before.y, 40);
    LineTo(dc, 5, 50); // right
    LineTo(dc, 5, 55); // down
    LineTo(dc, 0, 50); // diagonal back up
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(Pixel(x, 50), qRgb(0, 128, 0)) << x;
    }
    for (int y = 50; y < 55; ++y) {
        EXPECT_EQ(Pixel(5, y), qRgb(0, 128, 0)) << y;
    }
    EXPECT_EQ(Pixel(4, 54), qRgb(0, 128, 0));
    EXPECT_EQ(Pixel(1, 51), qRgb(0, 128, 0));
    EXPECT_EQ(Pixel(4, 51), white); // a one-pixel line, nothing beside it
    MoveToEx(dc, 20, 100, nullptr);
    LineTo(dc, 30, 100);
    LineTo(dc, 30, 90);
    EXPECT_EQ(Pixel(29, 100), qRgb(0, 128, 0));
    EXPECT_EQ(Pixel(30, 100), qRgb(0, 128, 0)); // the start of the second line
    EXPECT_EQ(Pixel(30, 91), qRgb(0, 128, 0));
    EXPECT_EQ(Pixel(30, 90), white); // the last end point stays undrawn
    EXPECT_EQ(Pixel(6, 50), white);
    EXPECT_EQ(Pixel(5, 56), white);

    // The outline of a bar: each corner is drawn by the next segment.
    SelectObject(dc, previous);
    MoveToEx(dc, 100, 40, nullptr);
    LineTo(dc, 120, 40);
    LineTo(dc, 120, 258);
    LineTo(dc, 100, 258);
    LineTo(dc, 100, 40);
    EXPECT_EQ(Pixel(100, 40), qRgb(0, 0, 0));
    EXPECT_EQ(Pixel(120, 40), qRgb(0, 0, 0));
    EXPECT_EQ(Pixel(120, 258), qRgb(0, 0, 0));
    EXPECT_EQ(Pixel(100, 258), qRgb(0, 0, 0));
    EXPECT_EQ(Pixel(101, 41), white);
    EXPECT_EQ(SelectObject(dc, pen), previous);
    EXPECT_EQ(SelectObject(dc, previous), pen);
    DeleteObject(pen);
}

// A wide pen puts its square on every point of the line, straight or not.
TEST_F(QtDrawingTest, WidePensDrawASquareAtEveryPoint)
{
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(200, 0, 0));
    HGDIOBJ previous = SelectObject(dc, pen);
    std::vector<std::pair<POINT, POINT>> lines = {
        {{50, 60}, {60, 60}}, {{90, 70}, {90, 62}}, {{70, 70}, {76, 79}}};
    QImage expected = QtWindowSurface(window);
    for (const auto& line : lines) {
        MoveToEx(dc, line.first.x, line.first.y, nullptr);
        LineTo(dc, line.second.x, line.second.y);
        for (const POINT& point : LinePoints(line.first, line.second)) {
            for (int y = point.y - 1; y <= point.y + 1; ++y) {
                for (int x = point.x - 1; x <= point.x + 1; ++x) {
                    expected.setPixel(x, y, qRgb(200, 0, 0));
                }
            }
        }
    }
    SelectObject(dc, previous);
    DeleteObject(pen);
    QImage drawn = QtWindowSurface(window);
    for (int y = 55; y < 85; ++y) {
        for (int x = 45; x < 95; ++x) {
            ASSERT_EQ(drawn.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
        }
    }
}

TEST_F(QtDrawingTest, SetPixelSetsExactlyOnePixel)
{
    EXPECT_EQ(SetPixel(dc, 7, 8, RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(Pixel(7, 8), qRgb(1, 2, 3));
    EXPECT_EQ(Pixel(8, 8), white);
    EXPECT_EQ(Pixel(7, 9), white);
    EXPECT_EQ(Pixel(6, 7), white);
}

TEST_F(QtDrawingTest, BitBltCopiesTheBitmapUnscaled)
{
    HBITMAP bitmap = LoadBitmapW(nullptr, 109);
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof(info), &info), static_cast<int>(sizeof(info)));
    EXPECT_EQ(info.bmWidth, 28);
    EXPECT_EQ(info.bmHeight, 32);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    EXPECT_NE(old, nullptr);
    EXPECT_TRUE(BitBlt(dc, 50, 60, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY));
    SelectObject(memory, old);
    DeleteDC(memory);

    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    ASSERT_TRUE(DecodeBitmapResource(109, &width, &height, &pixels));
    QImage surface = QtWindowSurface(window);
    int mismatches = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((surface.pixel(50 + x, 60 + y) & 0xFFFFFF) != pixels[y * width + x]) {
                ++mismatches;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(surface.pixel(50 + width, 60), white);
    EXPECT_EQ(surface.pixel(49, 60), white);
    EXPECT_EQ(surface.pixel(50, 60 + height), white);
    DeleteObject(bitmap);
    EXPECT_EQ(LoadBitmapW(nullptr, 4242), nullptr);
}

TEST_F(QtDrawingTest, TextIsCentredOnCellsOfTheBackgroundColour)
{
    const COLORREF background = RGB(212, 230, 255);
    const QRgb backgroundPixel = qRgb(212, 230, 255);
    SetBkColor(dc, background);
    RECT rect{0, 120, 240, 135};
    EXPECT_GT(DrawTextW(dc, u"Status", -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE), 0);
    QImage surface = QtWindowSurface(window);
    int left = 240;
    int right = -1;
    int dark = 0;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < 240; ++x) {
            QRgb pixel = surface.pixel(x, y);
            if (pixel == white) {
                continue;
            }
            EXPECT_TRUE(y >= 120 && y < 135) << x << "," << y; // nothing outside the box
            left = std::min(left, x);
            right = std::max(right, x);
            if (qGray(pixel) < 100) {
                ++dark;
            }
        }
    }
    EXPECT_GT(dark, 10);
    EXPECT_EQ(surface.pixel(left, 121), backgroundPixel);
    EXPECT_NEAR((left + right) / 2.0, 119.5, 1.5);
    EXPECT_GT(left, 60); // only the text's own cells, not the whole row
    EXPECT_EQ(surface.pixel(0, 127), white);
}

// Counts the paints of the widget that shows the surface, and where.
struct PaintCounter : QObject {
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            painted |= static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
    void Clear()
    {
        paints = 0;
        painted = QRegion();
    }
    int paints = 0;
    QRegion painted;
};

// Drawing shows what it changed on the screen, and a tick that changes no
// pixel repaints nothing: the bars are drawn ten times a second.
TEST_F(QtDrawingTest, ReleaseShowsWhatChangedAndNothingElse)
{
    ReleaseDC(window, dc);
    ShowWindow(window, SW_SHOW);
    RunLoopFor(100);
    QWidget* client = nullptr;
    for (QWidget* child : QtWindowWidget(window)->findChildren<QWidget*>()) {
        if (child->testAttribute(Qt::WA_OpaquePaintEvent)) {
            client = child;
        }
    }
    ASSERT_NE(client, nullptr);
    PaintCounter counter;
    client->installEventFilter(&counter);

    auto drawBar = [this](COLORREF colour, LONG top) {
        dc = GetDC(window);
        HBRUSH brush = CreateSolidBrush(colour);
        RECT rect{10, top, 30, 200};
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
        MoveToEx(dc, 9, 100, nullptr);
        LineTo(dc, 31, 100);
        SetPixel(dc, 40, 150, RGB(0, 0, 0));
        ReleaseDC(window, dc);
        RunLoopFor(50);
    };
    drawBar(RGB(255, 0, 0), 120);
    EXPECT_EQ(counter.paints, 1);
    EXPECT_EQ(counter.painted.boundingRect(), QRect(QPoint(9, 100), QPoint(40, 199)));
    EXPECT_EQ(Pixel(20, 150), qRgb(255, 0, 0));

    counter.Clear();
    drawBar(RGB(255, 0, 0), 120); // the same again
    EXPECT_EQ(counter.paints, 0);

    drawBar(RGB(255, 0, 0), 110); // ten rows more
    EXPECT_EQ(counter.paints, 1);
    EXPECT_EQ(counter.painted.boundingRect(), QRect(10, 110, 20, 10));
    EXPECT_EQ(Pixel(20, 110), qRgb(255, 0, 0));

    counter.Clear();
    drawBar(RGB(0, 0, 255), 110); // another colour: the whole bar
    EXPECT_EQ(counter.paints, 1);
    EXPECT_EQ(counter.painted.boundingRect(), QRect(10, 110, 20, 90));
    client->removeEventFilter(&counter);
    dc = GetDC(window);
}

} // namespace
