// SPDX-License-Identifier: GPL-3.0-or-later
// Basic types, handles and message numbers of the platform layer.
// The system's code is written against these; every implementation
// (the real one and sim) gives them the meaning stated in the headers
// beside this one.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using ATOM = std::uint16_t;
using SHORT = std::int16_t;
using WCHAR = char16_t; // all text is UTF-16
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using ULONG_PTR = std::uintptr_t;
using HRESULT = std::int32_t;
using COLORREF = std::uint32_t; // 0x00BBGGRR
using MMRESULT = std::uint32_t;

// Opaque handles. Each implementation defines the structs.
struct PlatformInstance;
struct PlatformWindow;
struct PlatformWaveIn;
struct PlatformKey;
struct PlatformDC;
struct PlatformGdiObject;
struct PlatformHandle;
struct PlatformResource;
using HINSTANCE = PlatformInstance*;
using HWND = PlatformWindow*;
using HWAVEIN = PlatformWaveIn*;
using HKEY = PlatformKey*;
using HDC = PlatformDC*;
using HGDIOBJ = PlatformGdiObject*;
using HBITMAP = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HPEN = HGDIOBJ;
using HICON = HGDIOBJ;
using HANDLE = PlatformHandle*;
using HRSRC = const PlatformResource*;
using HGLOBAL = const void*;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

constexpr WORD LOWORD(WPARAM value)
{
    return static_cast<WORD>(value & 0xFFFF);
}
constexpr WORD HIWORD(WPARAM value)
{
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
constexpr COLORREF RGB(int r, int g, int b)
{
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c)
{
    return static_cast<int>(c & 0xFF);
}
constexpr int GetGValue(COLORREF c)
{
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int GetBValue(COLORREF c)
{
    return static_cast<int>((c >> 16) & 0xFF);
}

// Window messages.
constexpr UINT WM_CREATE = 1;
constexpr UINT WM_DESTROY = 2;
constexpr UINT WM_PAINT = 15;
constexpr UINT WM_CLOSE = 16;
constexpr UINT WM_QUIT = 18;
constexpr UINT WM_KEYDOWN = 256;
constexpr UINT WM_INITDIALOG = 272;
constexpr UINT WM_COMMAND = 273;
constexpr UINT WM_SYSCOMMAND = 274;
constexpr UINT WM_TIMER = 275;
constexpr UINT WM_HOTKEY = 786;
// The first message number free for a program's own messages.
constexpr UINT WM_APP = 0x8000;

// Wave-input callback messages.
constexpr UINT MM_WIM_OPEN = 958;
constexpr UINT MM_WIM_CLOSE = 959;
constexpr UINT MM_WIM_DATA = 960;

// Results.
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_WRITE_PROTECT = 19;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_READ_FAULT = 30;
constexpr LONG ERROR_DISK_FULL = 112;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_FILE_TOO_LARGE = 223;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_FILE_INVALID = 1006;
constexpr LONG ERROR_INVALID_OWNER = 1307;
constexpr LONG ERROR_INVALID_ACL = 1336;
constexpr LONG ERROR_FILE_CORRUPT = 1392;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr int VK_ESCAPE = 27;
