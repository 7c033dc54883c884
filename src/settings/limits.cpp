// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>

#include "audio/capture.h"
#include "settings/settings.h"

SettingsRecord settings;
DerivedLimits limits;

void ComputeLimits()
{
    // The map runs onto a negative range and drops the sign, so that the
    // factor falls from 30000 to 500 as the sensitivity rises.
    limits.sensiFactor.store(std::abs(MapRange(settings.VolSensi, 0.0, 100.0, -30000.0, -500.0)));
    limits.volLimit = MapRange(settings.VolThresh, 0.0, 100.0, 0.0, 1.0);
    limits.cryLimit = MapRange(settings.CryThresh, 0.0, 100.0, 0.0, 1.0);
}
