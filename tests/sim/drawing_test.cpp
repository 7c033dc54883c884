// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing on the windows' pixel surfaces: exact pixels of the primitives,
// clipping inside a paint, a real bitmap copied to a point, the text cells
// and the count of drawing objects.
#include <gtest/gtest.h>

#include "platform/common/bitmap.h"
#include "platform/gdi.h"
#include "platform/sim/sim_window.h"

namespace {

constexpr COLORREF white = RGB(255, 255, 255);
constexpr COLORREF black = RGB(0, 0, 0);
constexpr COLORREF red = RGB(255, 0, 0);

LRESULT PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

class DrawingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimReset();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PlainProc;
        windowClass.lpszClassName = u"Plain";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, u"Plain", u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, SimInstance(), nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { SimReset(); }

    HWND window = nullptr;
};

TEST_F(DrawingTest, FillRectExcludesRightColumnAndBottomRow)
{
    HDC dc = GetDC(window);
    HBRUSH brush = CreateSolidBrush(red);
    RECT rect{2, 3, 5, 7};
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
    ReleaseDC(window, dc);

    EXPECT_EQ(SimPixel(window, 2, 3), red);
    EXPECT_EQ(SimPixel(window, 4, 6), red);
    EXPECT_EQ(SimPixel(window, 5, 6), white);
    EXPECT_EQ(SimPixel(window, 4, 7), white);
    EXPECT_EQ(SimPixel(window, 1, 3), white);
    EXPECT_EQ(SimPixel(window, 2, 2), white);
}

TEST_F(DrawingTest, LinesLeaveOutTheirEndPointAndUseTheSelectedPen)
{
    HDC dc = GetDC(window);
    MoveToEx(dc, 10, 10, nullptr);
    LineTo(dc, 15, 10); // default pen: black
    for (int x = 10; x < 15; ++x)
        EXPECT_EQ(SimPixel(window, x, 10), black) << x;
    EXPECT_EQ(SimPixel(window, 15, 10), white);

    HPEN pen = CreatePen(PS_SOLID, 1, red);
    HGDIOBJ previous = SelectObject(dc, pen);
    LineTo(dc, 15, 13); // from the end of the last line, downwards
    MoveToEx(dc, 20, 20, nullptr);
    LineTo(dc, 23, 23);
    EXPECT_EQ(SimPixel(window, 15, 10), red);
    EXPECT_EQ(SimPixel(window, 15, 12), red);
    EXPECT_EQ(SimPixel(window, 15, 13), white);
    EXPECT_EQ(SimPixel(window, 20, 20), red);
    EXPECT_EQ(SimPixel(window, 22, 22), red);
    EXPECT_EQ(SimPixel(window, 21, 20), white);
    EXPECT_EQ(SimPixel(window, 23, 23), white);

    // A pen still selected cannot go; once swapped back it can.
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_EQ(SimFaults(), 1);
    EXPECT_EQ(SelectObject(dc, previous), pen);
    EXPECT_TRUE(DeleteObject(pen));
    ReleaseDC(window, dc);
    EXPECT_EQ(SimGdiCreated(SimGdiKind::Pen), 1);
    EXPECT_EQ(SimGdiLive(SimGdiKind::Pen), 0);
    EXPECT_EQ(SimGdiLive(SimGdiKind::DC), 0);
}

TEST_F(DrawingTest, PaintIsClippedToTheInvalidRectangle)
{
    RECT invalid{0, 0, 10, 10};
    InvalidateRect(window, &invalid, FALSE);
    RECT more{20, 5, 30, 8};
    InvalidateRect(window, &more, TRUE);
    ASSERT_EQ(SimInvalidations().size(), 2u);
    EXPECT_EQ(SimInvalidations()[1].rect.left, 20);
    EXPECT_EQ(SimInvalidations()[1].erase, TRUE);

    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    EXPECT_EQ(paint.rcPaint.left, 0);
    EXPECT_EQ(paint.rcPaint.top, 0);
    EXPECT_EQ(paint.rcPaint.right, 30); // bounding rectangle of both
    EXPECT_EQ(paint.rcPaint.bottom, 10);
    HBRUSH brush = CreateSolidBrush(red);
    RECT all{0, 0, 240, 268};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    EndPaint(window, &paint);

    EXPECT_EQ(SimPixel(window, 29, 9), red);
    EXPECT_EQ(SimPixel(window, 30, 9), white);
    EXPECT_EQ(SimPixel(window, 0, 10), white);
    EXPECT_FALSE(SimInvalidRect(window, nullptr));
    EXPECT_EQ(SimPaints(), 1);
}

TEST_F(DrawingTest, BitmapResourceIsCopiedUnscaledToAPoint)
{
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    ASSERT_TRUE(DecodeBitmapResource(109, &width, &height, &pixels));

    HBITMAP bitmap = LoadBitmapW(SimInstance(), 109);
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof(info), &info), static_cast<int>(sizeof(info)));
    EXPECT_EQ(info.bmWidth, width);
    EXPECT_EQ(info.bmHeight, height);

    HDC dc = GetDC(window);
    HDC memory = CreateCompatibleDC(dc);
    SelectObject(memory, bitmap);
    BitBlt(dc, 5, 7, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    DeleteDC(memory);
    ReleaseDC(window, dc);

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t rgb = pixels[static_cast<std::size_t>(y) * width + x];
            COLORREF expected = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
            ASSERT_EQ(SimPixel(window, 5 + x, 7 + y), expected) << x << "," << y;
        }
    }
    EXPECT_EQ(SimPixel(window, 4, 7), white);
    EXPECT_EQ(SimPixel(window, 5 + width, 7), white);
    EXPECT_EQ(SimPixel(window, 5, 7 + height), white);

    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(SimGdiLive(SimGdiKind::Bitmap), 0);
    EXPECT_EQ(SimGdiCreated(SimGdiKind::DC), 2);
    EXPECT_EQ(SimGdiLive(SimGdiKind::DC), 0);
}

TEST_F(DrawingTest, CentredTextFillsItsBoxWithTheBackgroundAndMarksEachCharacter)
{
    constexpr COLORREF pale = 0x00FFE6D4;
    HDC dc = GetDC(window);
    EXPECT_EQ(SetBkColor(dc, pale), white);
    RECT rect{0, 15, 240, 30};
    DrawTextW(dc, u"A B", -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ReleaseDC(window, dc);

    // Box of 18 x 12 centred: x 111 to 128, y 16 to 27.
    EXPECT_EQ(SimPixel(window, 110, 16), white);
    EXPECT_EQ(SimPixel(window, 111, 16), pale);
    EXPECT_EQ(SimPixel(window, 128, 27), pale);
    EXPECT_EQ(SimPixel(window, 129, 27), white);
    EXPECT_EQ(SimPixel(window, 111, 28), white);
    EXPECT_EQ(SimPixel(window, 112, 18), black); // "A"
    EXPECT_EQ(SimPixel(window, 115, 25), black);
    EXPECT_EQ(SimPixel(window, 116, 18), pale);
    EXPECT_EQ(SimPixel(window, 118, 18), pale);  // the space
    EXPECT_EQ(SimPixel(window, 124, 18), black); // "B"

    ASSERT_EQ(SimTextLog().size(), 1u);
    EXPECT_EQ(SimTextLog()[0].text, u"A B");
    EXPECT_EQ(SimTextLog()[0].rect.top, 15);
    EXPECT_EQ(SimTextLog()[0].window, window);
}

} // namespace

// Drawing off: the program's calls all succeed, nothing changes on the
// surface, nothing is made or logged, and a paint still validates the
// window; switched on again, drawing is back.
TEST_F(DrawingTest, WithDrawingOffCallsSucceedAndDrawNothing)
{
    SimSetDrawing(false);
    HDC dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, red);
    HGDIOBJ previous = SelectObject(dc, pen);
    EXPECT_NE(previous, nullptr);
    HBRUSH brush = CreateSolidBrush(red);
    RECT rect{0, 0, 50, 50};
    EXPECT_EQ(FillRect(dc, &rect, brush), 1);
    EXPECT_TRUE(MoveToEx(dc, 0, 60, nullptr));
    EXPECT_TRUE(LineTo(dc, 40, 60));
    EXPECT_EQ(SetPixel(dc, 3, 70, red), red);
    SetBkColor(dc, red);
    RECT line{0, 80, 100, 95};
    EXPECT_GT(DrawTextW(dc, u"Status", -1, &line, DT_CENTER | DT_SINGLELINE), 0);
    EXPECT_TRUE(DeleteObject(brush));
    SelectObject(dc, previous);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_EQ(ReleaseDC(window, dc), 1);

    InvalidateRect(window, nullptr, TRUE);
    PAINTSTRUCT paint;
    HDC painting = BeginPaint(window, &paint);
    HBRUSH fill = CreateSolidBrush(red);
    FillRect(painting, &paint.rcPaint, fill);
    DeleteObject(fill);
    EndPaint(window, &paint);
    RECT invalid;
    EXPECT_FALSE(SimInvalidRect(window, &invalid));

    for (auto [x, y] : {std::pair{10, 10}, std::pair{20, 60}, std::pair{3, 70}, std::pair{50, 85}})
        EXPECT_EQ(SimPixel(window, x, y), white) << x << "," << y;
    EXPECT_TRUE(SimTextLog().empty());
    EXPECT_EQ(SimGdiLive(SimGdiKind::DC), 0);
    EXPECT_EQ(SimGdiLive(SimGdiKind::Brush), 0);
    EXPECT_EQ(SimGdiLive(SimGdiKind::Pen), 0);
    EXPECT_EQ(SimFaults(), 0);

    SimSetDrawing(true);
    dc = GetDC(window);
    brush = CreateSolidBrush(red);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
    ReleaseDC(window, dc);
    EXPECT_EQ(SimPixel(window, 10, 10), red);
}
