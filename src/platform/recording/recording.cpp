#include "platform/recording/recording.h"

#include <algorithm>
#include <cmath>

#include <samplerate.h>
#include <sndfile.h>

bool LoadRecording(const std::string& path, int rate, std::vector<std::int16_t>* samples,
                   std::string* error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        *error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        *error = path + ": no audio";
        return false;
    }
    std::vector<float> mono;
    mono.reserve(static_cast<std::size_t>(std::max<sf_count_t>(info.frames, 0)));
    std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
    for (;;) {
        sf_count_t frames = sf_readf_float(file, block.data(), 4096);
        if (frames <= 0)
            break;
        for (sf_count_t f = 0; f < frames; ++f) {
            float sum = 0.0f;
            for (int c = 0; c < info.channels; ++c)
                sum += block[static_cast<std::size_t>(f * info.channels + c)];
            mono.push_back(sum / static_cast<float>(info.channels));
        }
    }
    sf_close(file);

    std::vector<float> converted;
    if (info.samplerate == rate) {
        converted = std::move(mono);
    } else {
        double ratio = static_cast<double>(rate) / info.samplerate;
        converted.resize(static_cast<std::size_t>(std::ceil(mono.size() * ratio)) + 16);
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(mono.size());
        data.data_out = converted.data();
        data.output_frames = static_cast<long>(converted.size());
        data.src_ratio = ratio;
        int result = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1);
        if (result != 0) {
            *error = path + ": " + src_strerror(result);
            return false;
        }
        converted.resize(static_cast<std::size_t>(data.output_frames_gen));
    }
    samples->resize(converted.size());
    std::transform(converted.begin(), converted.end(), samples->begin(), [](float value) {
        float scaled = std::round(value * 32768.0f);
        return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
    });
    return true;
}
