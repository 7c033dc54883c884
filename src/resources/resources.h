// SPDX-License-Identifier: GPL-3.0-or-later
// The program's resource table: every string, menu, menu-bar record,
// dialog template, bitmap, icon and the version, by type and id (the ids'
// names are in ids.h).
#pragma once

#include <cstddef>

#include "platform/resource.h"

extern const PlatformResource resourceTable[];
extern const std::size_t resourceCount;
