// SPDX-License-Identifier: GPL-3.0-or-later
// Resources compiled into the program, loaded by id.
//
// Every resource is one entry of the program's resource table (see
// resources/resources.h): a type, an id and a pointer to its data. The data
// of each type is laid out as follows:
// - RT_STRING: a null-terminated UTF-16 text; size = its length in bytes
//   without the terminator.
// - RT_MENU: a MENUTEMPLATE (menu.h).
// - RT_RCDATA: a menu-bar record, 16-bit words as stored (size 32).
// - RT_DIALOG: a DLGTEMPLATE (dialog.h).
// - RT_BITMAP: the bytes of an uncompressed 24-bit BMP file.
// - RT_GROUP_ICON: the bytes of an .ico file.
// - RT_VERSION: a VERSIONRESOURCE.
// The loaders below may be called from any thread.
#pragma once

#include "platform/types.h"

constexpr UINT RT_BITMAP = 2;
constexpr UINT RT_MENU = 4;
constexpr UINT RT_DIALOG = 5;
constexpr UINT RT_STRING = 6;
constexpr UINT RT_RCDATA = 10;
constexpr UINT RT_GROUP_ICON = 14;
constexpr UINT RT_VERSION = 16;

struct PlatformResource {
    UINT type;
    UINT id;
    const void* data;
    DWORD size;
};

struct VERSIONRESOURCE {
    WORD fileVersion[4];
    WORD productVersion[4];
};

// Null when no resource of that type and id exists.
HRSRC FindResourceW(HINSTANCE instance, UINT id, UINT type);
HGLOBAL LoadResource(HINSTANCE instance, HRSRC resource);
DWORD SizeofResource(HINSTANCE instance, HRSRC resource);

// Copies string `id` into `buffer`, at most capacity - 1 units, and ends it
// with a null. Returns the number of units copied; 0 (buffer untouched) when
// the string does not exist or capacity is below 1.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity);
