// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstring>

#include "audio/capture.h"
#include "settings/settings.h"

namespace {

// Eight lanes that keep the highest and the lowest sample seen in 16 bits;
// the compiler holds each in one vector register.
struct Lanes {
    std::int16_t high[8];
    std::int16_t low[8];
};

inline void TakeEight(Lanes& lanes, const char* at)
{
    std::int16_t chunk[8];
    std::memcpy(chunk, at, sizeof chunk); // samples are little-endian, as is the host
    for (int i = 0; i < 8; ++i) {
        lanes.high[i] = chunk[i] > lanes.high[i] ? chunk[i] : lanes.high[i];
        lanes.low[i] = chunk[i] < lanes.low[i] ? chunk[i] : lanes.low[i];
    }
}

} // namespace

// Largest absolute sample of one block, eight samples a step. Four
// independent sets of lanes take turns so that the vector units need not
// wait on one chain. The magnitude is taken once at the end, in 32 bits, so
// that -32768 gives 32768.
std::int32_t PeakOfBlock(const char* data)
{
    constexpr int sets = 4;
    constexpr int stride = sets * 16;
    static_assert(captureBufferBytes % stride == 0);
    Lanes lanes[sets] = {};
    for (int offset = 0; offset < captureBufferBytes; offset += stride) {
        TakeEight(lanes[0], data + offset);
        TakeEight(lanes[1], data + offset + 16);
        TakeEight(lanes[2], data + offset + 32);
        TakeEight(lanes[3], data + offset + 48);
    }
    std::int32_t peak = 0;
    for (const Lanes& set : lanes) {
        for (int i = 0; i < 8; ++i) {
            std::int32_t magnitude = std::max<std::int32_t>(set.high[i], -std::int32_t{set.low[i]});
            peak = magnitude > peak ? magnitude : peak;
        }
    }
    return peak;
}

double LevelOfPeak(std::int32_t peak, double sensiFactor)
{
    return MapRange(peak, 0.0, sensiFactor, 0.0, 1.0);
}

void MeasureBuffer(const char* data)
{
    std::int32_t peak = PeakOfBlock(data);
    capture.peak.store(peak);
    bool judged = limits.cryCheck.load() == 1;
    if (!judged)
        capture.cryCheck = CryCheckState{}; // a check turned on starts afresh
    capture.likeCry.store(judged && BlockSoundsLikeCry(data, &capture.cryCheck) ? 1 : 0);
    capture.level.store(LevelOfPeak(peak, limits.sensiFactor.load()));
    RoomListening& room = capture.room;
    if (room.heard < room.wanted)
        room.peaks[room.heard++] = peak;
}
