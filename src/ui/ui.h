// SPDX-License-Identifier: GPL-3.0-or-later
// The main screen's drawing (its layout in layout.h), the four dialog
// procedures and telling the user.
#pragma once

#include "platform/types.h"

// The colour of the client area, the empty part of each bar, the text
// background and the pictures' background: a pale blue.
constexpr COLORREF backgroundColour = 0x00FFE6D4;

// What the status lines below the Start/Stop picture show. Window thread only.
struct StatusScreen {
    std::int32_t shown;      // 1 while the screen shows the lines told by the fields below
    std::int32_t language;   // Language they are in
    std::int32_t microphone; // MICROPHONE_*
    DWORD route;             // PHONE_ROUTE_*
    std::int32_t callsMade;  // calls in this monitoring run
    std::int32_t outcome;    // CALL_* of the last request
    std::int32_t hour;       // local time of the last request
    std::int32_t minute;
    std::int32_t routeWarned;  // 1 after the warning that no call can be placed
    std::int32_t limitReached; // 1 while monitoring is on and PhoneMaxCalls allows no more calls
    std::int32_t maxCalls;     // PhoneMaxCalls
    std::int32_t answered;     // 1 once somebody took the last call
    LONG callId;               // the phone's id of the last request
};

extern StatusScreen statusScreen;

void PaintMainScreen(HWND window);
void DrawBitmapAt(HDC dc, SHORT x, SHORT y, HBITMAP bitmap);
void PaintMeters(HWND window);
// Redraws the status lines when what they tell has changed or a paint has
// erased them.
void PaintStatus(HWND window);
// Gives a menu bar just built the caption that monitoring's state calls for.
void ShowMonitoringCaption();
// After monitoring was switched on or off: the Start/Stop caption, and the
// strip with its picture drawn anew at the next paint.
void ShowMonitoringChange(HWND window);

// Shows message `stringId` (a German id, in the current language) in a box
// of `style` captioned appTitle; during an unattended start writes it to
// standard error instead. TellUserText does the same with a text.
void TellUser(HWND window, UINT stringId, UINT style);
void TellUserText(HWND window, LPCWSTR text, UINT style);

int InitDialogFrame(HWND dialog, UINT menuBarId, LPCWSTR caption);
LRESULT MicDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT PhoneDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ContactDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT LanguageDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
