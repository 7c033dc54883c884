// SPDX-License-Identifier: GPL-3.0-or-later
// Modal dialogs built from templates, their controls and the shell's
// full-screen dialog frame.
//
// Guarantees to the caller:
// - DialogBoxIndirectParamW creates the dialog and its controls in template
//   order, sends WM_INITDIALOG, then runs a nested message loop (the owner's
//   timer keeps ticking) until EndDialog; it returns EndDialog's result.
// - WM_COMMAND reaches the dialog procedure with the control id (or IDOK,
//   IDCANCEL from the dialog's menu bar) in the low 16 bits of wParam; the
//   window manager's close button sends WM_CLOSE.
// - After SHCMBM_OVERRIDEKEY for VK_ESCAPE, the Escape/Back key reaches the
//   procedure as WM_HOTKEY with the key in the high 16 bits of lParam and
//   does not close the dialog by itself.
// - Dialog units convert to pixels with the template's font as the platform
//   does (x * average char width / 4, y * char height / 8).
#pragma once

#include "platform/window.h"

using DLGPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD DS_SETFONT = 0x00000040;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_ICON = 0x3;
constexpr DWORD SS_BITMAP = 0xE;
constexpr DWORD ES_AUTOHSCROLL = 0x80;
constexpr DWORD ES_NUMBER = 0x2000;
constexpr DWORD PBS_SMOOTH = 0x1;

// One control of a template. className is one of u"BUTTON", u"STATIC",
// u"EDIT", u"msctls_progress32"; the kind follows from class and style as on
// the platform. For SS_BITMAP and SS_ICON, imageId names the RT_BITMAP or
// RT_GROUP_ICON resource; otherwise it is 0.
struct DLGITEMTEMPLATE {
    DWORD style;
    DWORD exStyle;
    SHORT x, y, cx, cy; // dialog units
    int id;             // -1 for none
    LPCWSTR className;
    LPCWSTR text;
    UINT imageId;
};

struct DLGTEMPLATE {
    DWORD style;
    SHORT x, y, cx, cy;
    LPCWSTR title;
    LPCWSTR fontFace;
    WORD pointSize;
    const DLGITEMTEMPLATE* items;
    int itemCount;
};

LRESULT DialogBoxIndirectParamW(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam);
BOOL EndDialog(HWND dialog, LRESULT result);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int capacity);
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);

constexpr UINT PBM_SETPOS = 1026;
constexpr UINT BM_GETCHECK = 240;
constexpr UINT BM_SETCHECK = 241;
constexpr WPARAM BST_UNCHECKED = 0;
constexpr WPARAM BST_CHECKED = 1;
constexpr UINT EM_LIMITTEXT = 197;

// Shell: full-screen dialog frame.
constexpr DWORD SHIDIM_FLAGS = 0x0001;
constexpr DWORD SHIDIF_SIZEDLGFULLSCREEN = 0x0004;
struct SHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
};
BOOL SHInitDialog(SHINITDLGINFO* info);

constexpr UINT SHCMBM_OVERRIDEKEY = 1427;
constexpr LPARAM SHMBOF_NODEFAULT = 0x00000001;
constexpr LPARAM SHMBOF_NOTIFY = 0x00000002;
// Passes a key message the menu bar handed to the dialog on to the control
// that has the focus. TRUE when that control took it: an edit box, where the
// Back key deletes the character before the caret; FALSE for any other
// control, or none.
BOOL SHSendBackToFocusWindow(UINT message, WPARAM wParam, LPARAM lParam);
