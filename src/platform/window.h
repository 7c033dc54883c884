// SPDX-License-Identifier: GPL-3.0-or-later
// Windows, messages, the timer, message boxes and the menu bar.
//
// Guarantees to the caller:
// - One window thread: every function here is called on it, and every
//   window and dialog procedure runs on it.
// - CreateWindowExW calls the class's procedure with WM_CREATE before it
//   returns; a result of -1 destroys the window again and yields null.
// - WM_TIMER comes from the message queue: through GetMessageW, and also
//   inside the nested loops of MessageBoxW and DialogBoxIndirectParamW, so
//   the timer keeps ticking while they wait. WM_PAINT likewise, whenever a
//   part of the window was invalidated.
// - The title bar's close button sends WM_SYSCOMMAND with SC_CLOSE, which
//   DefWindowProcW turns into WM_CLOSE. WM_CLOSE from outside (a session
//   end, a signal) goes to the procedure; DefWindowProcW answers it with
//   DestroyWindow.
// - DestroyWindow sends WM_DESTROY before it returns. PostQuitMessage makes
//   the next GetMessageW return 0 with the code in msg.wParam.
#pragma once

#include "platform/types.h"

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using UINT_PTR = std::uintptr_t;

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
constexpr int SW_SHOW = 5;
constexpr int WHITE_BRUSH = 0;
// WM_SYSCOMMAND's wParam (its low four bits are the platform's own).
constexpr WPARAM SC_CLOSE = 0xF060;

constexpr UINT MB_OK = 0x00;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;

struct RECT {
    LONG left;
    LONG top;
    LONG right;  // excluded
    LONG bottom; // excluded
};

struct POINT {
    LONG x;
    LONG y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HANDLE hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};

ATOM RegisterClassW(const WNDCLASSW* windowClass);
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, void* menu, HINSTANCE instance,
                     void* param);
BOOL ShowWindow(HWND window, int showCommand);
BOOL UpdateWindow(HWND window);
BOOL DestroyWindow(HWND window);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetWindowTextW(HWND window, LPCWSTR text);

BOOL GetMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// A periodic timer that posts WM_TIMER with `id` to the window or dialog;
// a dialog's timers end with it.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, void* timerProc);
BOOL KillTimer(HWND window, UINT_PTR id);

BOOL GetClientRect(HWND window, RECT* rect);
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

// Modal: runs a nested message loop until the user answers. Returns IDOK,
// IDYES or IDNO (IDNO also when the box is closed without an answer).
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// The running copy's main window, searched for by class and title, also in
// another process. SetForegroundWindow with the handle's lowest bit set also
// raises the window's open dialog; for another process's window it hands on
// the launcher's activation token of this start (XDG_ACTIVATION_TOKEN), so
// that a Wayland compositor lets that window come to the front.
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);
BOOL SetForegroundWindow(HWND window);
// Whether a person can see the window: it is shown, on a screen (a
// platform without one, such as Qt's offscreen, shows nobody anything).
// Also for another process's window; TRUE when that one does not say.
BOOL IsWindowVisible(HWND window);

// SM_CMONITORS: the screens a person can see here; 0 on a platform
// without one.
constexpr int SM_CMONITORS = 80;
int GetSystemMetrics(int index);

// Data for a window of another process: SendMessageW(window, WM_COPYDATA,
// sender, &data) hands the receiving procedure its own copy of the
// cbData bytes at lpData (valid during the call only) and returns its
// result; 0 when the window does not answer within ten seconds. The only
// message that SendMessageW carries to another process's window.
constexpr UINT WM_COPYDATA = 74;
struct COPYDATASTRUCT {
    ULONG_PTR dwData; // what the data is, the sender's own code
    DWORD cbData;     // bytes at lpData, at most 65536
    void* lpData;
};

// When the user last pressed a key, clicked or touched one of the program's
// windows: dwTime counts milliseconds on a clock of the platform's own, so
// only a change of it means something (new input came).
struct LASTINPUTINFO {
    UINT cbSize;
    DWORD dwTime;
};
BOOL GetLastInputInfo(LASTINPUTINFO* info);

// Draws a main window and its open dialogs at about a sixth of their
// brightness while `dim` is TRUE (their drawing itself is unchanged), and
// as drawn again with FALSE. While a window is dimmed, a key, click or touch
// only counts as input (GetLastInputInfo): it reaches no window, control or
// button, so the first touch in the dark wakes the screen and presses
// nothing.
BOOL DimWindow(HWND window, BOOL dim);

HICON LoadIconW(HINSTANCE instance, UINT id);
HGDIOBJ GetStockObject(int object);

// The menu bar at the bottom of a window or dialog, built from a menu-bar
// record (RT_RCDATA nToolBarId) and its menu. Pressing a button sends
// WM_COMMAND with the button's command to hwndParent; a drop-down button
// opens its pop-up, whose items send theirs.
struct SHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB; // out
    COLORREF clrBk;
};
BOOL SHCreateMenuBar(SHMENUBARINFO* info);

constexpr UINT TB_SETBUTTONINFOW = 1088;
constexpr DWORD TBIF_TEXT = 0x00000002;
struct TBBUTTONINFOW {
    UINT cbSize;
    DWORD dwMask;
    int idCommand;
    int iImage;
    BYTE fsState;
    BYTE fsStyle;
    WORD cx;
    DWORD_PTR lParam;
    LPWSTR pszText;
    int cchText;
};
