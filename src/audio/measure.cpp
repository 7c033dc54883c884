#include <algorithm>
#include <cstring>

#include "audio/capture.h"
#include "settings/settings.h"

// Largest absolute sample of one block. Eight lanes per pass keep the
// highest and the lowest sample in 16 bits, which the compiler holds in one
// vector register each; the magnitude is taken once at the end, in 32 bits,
// so that -32768 gives 32768.
static std::int32_t PeakOfBlock(const char* data)
{
    constexpr int samples = captureBufferBytes / 2;
    std::int16_t high[8] = {};
    std::int16_t low[8] = {};
    for (int pass = 0; pass < samples / 8; ++pass) {
        std::int16_t chunk[8];
        std::memcpy(chunk, data + pass * 16,
                    sizeof chunk); // samples are little-endian, as is the host
        for (int i = 0; i < 8; ++i) {
            high[i] = chunk[i] > high[i] ? chunk[i] : high[i];
            low[i] = chunk[i] < low[i] ? chunk[i] : low[i];
        }
    }
    std::int32_t peak = 0;
    for (int i = 0; i < 8; ++i) {
        std::int32_t magnitude = std::max<std::int32_t>(high[i], -std::int32_t{low[i]});
        peak = magnitude > peak ? magnitude : peak;
    }
    return peak;
}

void MeasureBuffer(const char* data)
{
    std::int32_t peak = PeakOfBlock(data);
    capture.peak.store(peak);
    capture.level.store(MapRange(peak, 0.0, limits.sensiFactor.load(), 0.0, 1.0));
}
