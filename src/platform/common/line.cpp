// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/common/line.h"

#include <cstdlib>

std::vector<POINT> LinePoints(POINT from, POINT to)
{
    std::vector<POINT> points;
    int x = from.x;
    int y = from.y;
    int dx = std::abs(to.x - x);
    int dy = -std::abs(to.y - y);
    int sx = x < to.x ? 1 : -1;
    int sy = y < to.y ? 1 : -1;
    int error = dx + dy;
    while (x != to.x || y != to.y) {
        points.push_back(POINT{x, y});
        int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
    return points;
}
