// SPDX-License-Identifier: GPL-3.0-or-later
// The bar states that both platforms draw for the comparison, in order:
// each is painted on the same window after the one before it, so falling
// values are part of the run.
#pragma once

struct BarCase {
    double level, volLimit, cryMeter, cryLimit;
};

inline const BarCase barCases[] = {
    {0.0, 0.5, 1.0, 1.0},  {0.5, 0.5, 0.3, 0.0},      {0.9, 0.2, 0.01, 0.35}, {0.45, 0.2, 0.0, 0.5},
    {1.0, 1.0, 0.5, 0.49}, {0.123, 0.75, 0.999, 0.5}, {0.0, 0.0, 0.0, 0.0},
};

// The bars' columns and rows on a 240 x 268 client, limit dots included.
constexpr int compareWidth = 240;
constexpr int compareHeight = 268;
inline bool InBarArea(int x, int y)
{
    bool column = (x >= 10 && x <= 30) || (x >= 207 && x <= 227);
    return column && y >= 40 && y <= 259;
}
