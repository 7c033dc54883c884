#include <cstring>

#include "audio/capture.h"
#include "settings/settings.h"

// Largest absolute sample of one block. Eight independent lanes per pass let
// the compiler keep them in one vector register; the absolute value is taken
// in 32 bits so that -32768 gives 32768.
static std::int32_t PeakOfBlock(const char* data)
{
    constexpr int samples = captureBufferBytes / 2;
    std::int32_t lane[8] = {};
    for (int pass = 0; pass < samples / 8; ++pass) {
        std::int16_t chunk[8];
        std::memcpy(chunk, data + pass * 16, sizeof chunk); // samples are little-endian, as is the host
        for (int i = 0; i < 8; ++i) {
            std::int32_t value = chunk[i];
            std::int32_t magnitude = value < 0 ? -value : value;
            lane[i] = magnitude >= lane[i] ? magnitude : lane[i];
        }
    }
    std::int32_t peak = 0;
    for (std::int32_t value : lane)
        peak = value >= peak ? value : peak;
    return peak;
}

void MeasureBuffer(const char* data)
{
    std::int32_t peak = PeakOfBlock(data);
    capture.peak.store(peak);
    capture.level.store(MapRange(peak, 0.0, limits.sensiFactor.load(), 0.0, 1.0));
}
