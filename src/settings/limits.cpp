// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>

#include "audio/capture.h"
#include "settings/settings.h"

SettingsRecord settings;
DerivedLimits limits;

double SensiFactorOf(std::int32_t volSensi)
{
    // The map runs onto a negative range and drops the sign, so that the
    // factor falls from 30000 to 500 as the sensitivity rises.
    return std::abs(MapRange(volSensi, 0.0, 100.0, -30000.0, -500.0));
}

double LimitOf(std::int32_t percent)
{
    return MapRange(percent, 0.0, 100.0, 0.0, 1.0);
}

void ComputeLimits()
{
    limits.sensiFactor.store(SensiFactorOf(settings.VolSensi));
    limits.volLimit = LimitOf(settings.VolThresh);
    limits.cryLimit = LimitOf(settings.CryThresh);
    limits.cryCheck.store(settings.CryCheck == 1 ? 1 : 0);
}
