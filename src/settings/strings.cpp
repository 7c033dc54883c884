// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/resource.h"
#include "settings/settings.h"

// English texts sit at the German id plus this.
constexpr UINT englishOffset = 4000;

void LoadLocalString(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity)
{
    // An unknown language (only from an edited registry) falls back to
    // German rather than leave the caller an unfilled buffer; the stored
    // value stays as it is.
    const UINT localId = settings.Language == 1 ? id + englishOffset : id;
    LoadStringW(instance, localId, buffer, capacity);
}
