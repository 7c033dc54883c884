// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers of a design shown uniformly scaled: the scale that fits, a
// rectangle and a font at a scale.
#include <QApplication>
#include <algorithm>
#include <cmath>

#include "platform/qt/qt_internal.h"

double FittingScale(const QSize& area, const QSize& design)
{
    if (design.isEmpty() || area.isEmpty()) {
        return 1.0;
    }
    double scale = std::min(static_cast<double>(area.width()) / design.width(),
                            static_cast<double>(area.height()) / design.height());
    return std::max(scale, 0.1);
}

QRect ScaledRect(const QRect& rect, double scale)
{
    if (scale == 1.0) {
        return rect;
    }
    int left = static_cast<int>(std::lround(rect.left() * scale));
    int top = static_cast<int>(std::lround(rect.top() * scale));
    int right = static_cast<int>(std::lround((rect.right() + 1) * scale));
    int bottom = static_cast<int>(std::lround((rect.bottom() + 1) * scale));
    return QRect(left, top, right - left, bottom - top);
}

QFont ScaledFont(double scale)
{
    QFont font = QApplication::font();
    if (scale != 1.0) {
        font.setPointSizeF(font.pointSizeF() * scale);
    }
    return font;
}
