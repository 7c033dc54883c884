// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm/monitor.h"
#include "platform/gdi.h"
#include "platform/strings.h"
#include "platform/window.h"
#include "resources/ids.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/layout.h"
#include "ui/ui.h"

void DrawBitmapAt(HDC dc, SHORT x, SHORT y, HBITMAP bitmap)
{
    if (bitmap == nullptr)
        return; // a picture that failed to load draws nothing
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BITMAP size{};
    GetObjectW(bitmap, sizeof size, &size);
    BitBlt(dc, x, y, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}

// Background and pictures only; the bars and the text band come with the
// next tick.
void PaintMainScreen(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HBRUSH background = CreateSolidBrush(backgroundColour);
    FillRect(dc, &client, background);
    DeleteObject(background);
    const ScreenLayout& at = screenLayout;
    auto top = static_cast<SHORT>(at.picturesTop);
    auto middle = static_cast<SHORT>(client.right * at.middleLeft);
    DrawBitmapAt(dc, static_cast<SHORT>(client.left + at.dummyLeft), top,
                 shell.screenBitmaps[slotDummy]);
    DrawBitmapAt(dc, static_cast<SHORT>(client.right - at.bottleFromRight), top,
                 shell.screenBitmaps[slotBottle]);
    DrawBitmapAt(dc, middle, static_cast<SHORT>(at.alarmClockTop),
                 shell.screenBitmaps[slotAlarmClock]);
    DrawBitmapAt(dc, middle, static_cast<SHORT>(at.startStopTop),
                 shell.screenBitmaps[monitor.monitoring != 0 ? slotPlay : slotStop]);
    EndPaint(window, &paint);
    // The paint may have erased the status lines; the next tick draws them.
    statusScreen.shown = 0;
}

static void SetStartStopCaption(UINT stringId)
{
    WCHAR text[256] = {};
    LoadLocalString(shell.appInstance, stringId, text, 255);
    TBBUTTONINFOW caption{};
    caption.cbSize = sizeof caption;
    caption.dwMask = TBIF_TEXT;
    caption.pszText = text;
    SendMessageW(shell.menuBarWindow, TB_SETBUTTONINFOW, cmdStartStop,
                 reinterpret_cast<LPARAM>(&caption));
}

// A new menu bar starts with "Start"; while monitoring runs the button must
// read "Stop", or the user who presses Start would stop it.
void ShowMonitoringCaption()
{
    if (monitor.monitoring == 1)
        SetStartStopCaption(strStop);
}

// The strip holds the Start/Stop picture; the next paint draws it anew.
static void InvalidateStartStopStrip(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    double width = client.right;
    RECT strip{static_cast<LONG>(width * screenLayout.middleLeft), screenLayout.middleStripTop,
               static_cast<LONG>(width * screenLayout.middleRight), client.bottom};
    InvalidateRect(window, &strip, TRUE);
}

void ShowMonitoringChange(HWND window)
{
    SetStartStopCaption(monitor.monitoring == 1 ? strStop : strStart);
    InvalidateStartStopStrip(window);
}
