// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/capture.h"

double MapRange(double value, double fromLow, double fromHigh, double toLow, double toHigh)
{
    if (fromLow == fromHigh)
        return 0.0;
    if (value < fromLow)
        value = fromLow;
    if (value > fromHigh)
        value = fromHigh;
    return (value - fromLow) * (toHigh - toLow) / (fromHigh - fromLow) + toLow;
}
