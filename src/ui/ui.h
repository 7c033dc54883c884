// The main screen's drawing and the four dialog procedures.
#pragma once

#include "platform/types.h"

// The colour of the client area, the empty part of each bar, the text
// background and the pictures' background: a pale blue.
constexpr COLORREF backgroundColour = 0x00FFE6D4;

void PaintMainScreen(HWND window);
void DrawBitmapAt(HDC dc, SHORT x, SHORT y, HBITMAP bitmap);
void PaintMeters(HWND window);

int InitDialogFrame(HWND dialog, UINT menuBarId, LPCWSTR caption);
LRESULT MicDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT PhoneDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ContactDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT LanguageDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
