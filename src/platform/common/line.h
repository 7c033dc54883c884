// SPDX-License-Identifier: GPL-3.0-or-later
// The pixels of a line as the platform draws it, the same on every platform.
#pragma once

#include <vector>

#include "platform/window.h"

// Bresenham from `from` up to, not including, `to`.
std::vector<POINT> LinePoints(POINT from, POINT to);
