// SPDX-License-Identifier: GPL-3.0-or-later
// The heap is the C library's. LocalFree returns null on success, as the
// callers expect.
#include <cstdlib>

#include "platform/system.h"

void* LocalAlloc(UINT flags, std::size_t bytes)
{
    // A zero-byte request still yields a block of its own, not a failure.
    if (bytes == 0)
        bytes = 1;
    if (flags & LMEM_ZEROINIT)
        return std::calloc(1, bytes);
    return std::malloc(bytes);
}

void* LocalFree(void* block)
{
    std::free(block);
    return nullptr;
}
