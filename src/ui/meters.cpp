// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/gdi.h"
#include "platform/resource.h"
#include "platform/strings.h"
#include "resources/ids.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/layout.h"
#include "ui/ui.h"

constexpr COLORREF barRed = 0x000000FF;
constexpr COLORREF barBlue = 0x00FF0000;
constexpr COLORREF black = 0x00000000;

static void FillWith(HDC dc, const RECT& rect, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

// A vertical bar from the layout's bar top to its gap above the bottom
// edge, coloured up to value, with a dotted mark at limit. Both are 0.0 to
// 1.0.
static void DrawBar(HDC dc, const RECT& client, LONG left, double value, double limit)
{
    LONG right = left + screenLayout.barWidth;
    LONG bottom = client.bottom - screenLayout.barBottomGap;
    LONG top = client.top + screenLayout.barTop;
    MoveToEx(dc, left, top, nullptr);
    LineTo(dc, right, top);
    LineTo(dc, right, bottom);
    LineTo(dc, left, bottom);
    LineTo(dc, left, top);

    LONG height = bottom - top;
    LONG fillTop = bottom - static_cast<LONG>(height * value) + 1;
    HBRUSH brush = CreateSolidBrush(value >= limit ? barRed : barBlue);
    if (value > 0.0) {
        RECT coloured{left + 1, fillTop, right, bottom};
        FillRect(dc, &coloured, brush);
    }
    DeleteObject(brush);
    // The empty part reaches down to the coloured part, so that a falling
    // value leaves no stale row; it never touches the outline's bottom row.
    if (value < 1.0)
        FillWith(dc, RECT{left + 1, top + 1, right, std::min(fillTop, bottom)}, backgroundColour);

    LONG markRow = bottom - static_cast<LONG>((bottom - (top + 1)) * limit) + 1;
    for (LONG x = left; x < right; x += 2)
        SetPixel(dc, x, markRow, black);
}

static void DrawBandLine(HDC dc, const RECT& client, LONG top, LONG bottom, LPCWSTR text)
{
    RECT line{client.left, top, client.right, bottom};
    DrawTextW(dc, text, -1, &line, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// The maker's caption, the clock and the status label.
static void DrawTextBand(HDC dc, const RECT& client)
{
    SetBkColor(dc, backgroundColour);
    WCHAR text[256] = {};
    LoadStringW(shell.appInstance, strMaker, text, 255);
    DrawBandLine(dc, client, screenLayout.makerTop, screenLayout.makerBottom, text);
    wsprintfW(text, u"%02d:%02d", monitor.clockHour, monitor.clockMinute);
    DrawBandLine(dc, client, screenLayout.clockTop, screenLayout.clockBottom, text);
    text[0] = u'\0';
    LoadLocalString(shell.appInstance, strStatus, text, 255);
    DrawBandLine(dc, client, screenLayout.labelTop, screenLayout.labelBottom, text);
}

// Ten times a second, straight onto the window without invalidating it.
void PaintMeters(HWND window)
{
    HDC dc = GetDC(window);
    RECT client;
    GetClientRect(window, &client);
    HPEN pen = CreatePen(PS_SOLID, 1, black);
    HGDIOBJ previousPen = SelectObject(dc, pen);
    DrawBar(dc, client, client.left + screenLayout.loudnessBarLeft, capture.level.load(),
            limits.volLimit);
    DrawBar(dc, client, client.right - screenLayout.cryBarFromRight, monitor.cryMeter,
            limits.cryLimit);
    monitor.clockRedraw = monitor.clockRedraw + 1;
    if (monitor.clockRedraw >= ticksPerSecond) {
        DrawTextBand(dc, client);
        monitor.clockRedraw = 0;
    }
    SelectObject(dc, previousPen);
    DeleteObject(pen);
    ReleaseDC(window, dc);
}
