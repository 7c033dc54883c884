// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/resource.h"

#include "resources/resources.h"

// The table is small and fixed: a linear search is all it needs, and it
// writes nothing, so any thread may search it.
HRSRC FindResourceW(HINSTANCE, UINT id, UINT type)
{
    for (std::size_t i = 0; i < resourceCount; ++i) {
        if (resourceTable[i].type == type && resourceTable[i].id == id) {
            return &resourceTable[i];
        }
    }
    return nullptr;
}

HGLOBAL LoadResource(HINSTANCE, HRSRC resource)
{
    return resource != nullptr ? resource->data : nullptr;
}

DWORD SizeofResource(HINSTANCE, HRSRC resource)
{
    return resource != nullptr ? resource->size : 0;
}

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity)
{
    if (buffer == nullptr || capacity < 1) {
        return 0;
    }
    HRSRC resource = FindResourceW(instance, id, RT_STRING);
    if (resource == nullptr) {
        return 0;
    }
    const auto* text = static_cast<const WCHAR*>(resource->data);
    int length = static_cast<int>(resource->size / sizeof(WCHAR));
    if (length > capacity - 1) {
        length = capacity - 1;
    }
    for (int i = 0; i < length; ++i) {
        buffer[i] = text[i];
    }
    buffer[length] = 0;
    return length;
}
