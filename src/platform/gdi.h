// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing on a window's surface.
//
// Rectangles include their left column and top row and exclude their right
// column and bottom row. Drawing outside a paint (GetDC) goes straight onto
// the window's surface and shows without invalidating anything; drawing
// inside BeginPaint/EndPaint is clipped to the invalidated region.
// No antialiasing: every primitive sets whole pixels.
#pragma once

#include "platform/window.h"

constexpr int PS_SOLID = 0;
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr UINT DT_CENTER = 0x01;
constexpr UINT DT_VCENTER = 0x04;
constexpr UINT DT_SINGLELINE = 0x20;

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    void* bmBits;
};

HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

HBRUSH CreateSolidBrush(COLORREF colour);
HPEN CreatePen(int style, int width, COLORREF colour);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object); // returns the previous one
BOOL DeleteObject(HGDIOBJ object);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
BOOL LineTo(HDC dc, int x, int y); // the end point itself is not drawn
COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);
int DrawTextW(HDC dc, LPCWSTR text, int length, RECT* rect, UINT format);

HBITMAP LoadBitmapW(HINSTANCE instance, UINT id);
int GetObjectW(HGDIOBJ object, int size, void* out);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop);
