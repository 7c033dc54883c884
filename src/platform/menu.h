// SPDX-License-Identifier: GPL-3.0-or-later
// Menu resources (RT_MENU): a list of items, each a command, a separator or
// a pop-up with items of its own.
#pragma once

#include "platform/types.h"

constexpr WORD MF_SEPARATOR = 0x0800;
constexpr WORD MF_POPUP = 0x0010;

struct MENUITEMTEMPLATE {
    WORD flags;                         // 0, MF_SEPARATOR or MF_POPUP
    WORD id;                            // command sent as WM_COMMAND; 0 for separators and pop-ups
    LPCWSTR text;                       // null for separators
    const MENUITEMTEMPLATE* popupItems; // MF_POPUP only
    int popupCount;
};

struct MENUTEMPLATE {
    const MENUITEMTEMPLATE* items;
    int count;
};
