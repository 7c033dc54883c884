#include "platform/recording/recording.h"

#include <algorithm>
#include <cmath>

#include <samplerate.h>
#include <sndfile.h>

namespace {
constexpr sf_count_t decodeFrames = 4096;
} // namespace

struct RecordingStream {
    SNDFILE* file = nullptr;
    SRC_STATE* resampler = nullptr;
    int channels = 1;
    int fileRate = 1;
    double ratio = 1.0; // output rate over the file's rate
    bool inputEnded = false;
    bool ended = false;
    std::vector<float> interleaved;
    std::vector<float> mono;
    long monoOffset = 0;
    long monoCount = 0;
    std::vector<float> converted;
};

namespace {

// Decodes the next block and mixes it down to the average of its channels.
void DecodeBlock(RecordingStream* stream)
{
    sf_count_t got = sf_readf_float(stream->file, stream->interleaved.data(), decodeFrames);
    if (got < decodeFrames)
        stream->inputEnded = true;
    got = std::max<sf_count_t>(got, 0);
    for (sf_count_t frame = 0; frame < got; ++frame) {
        float sum = 0.0f;
        for (int channel = 0; channel < stream->channels; ++channel)
            sum +=
                stream->interleaved[static_cast<std::size_t>(frame * stream->channels + channel)];
        stream->mono[static_cast<std::size_t>(frame)] = sum / static_cast<float>(stream->channels);
    }
    stream->monoOffset = 0;
    stream->monoCount = static_cast<long>(got);
}

// Fills `out` with up to `frames` resampled values; the count made.
long Resample(RecordingStream* stream, float* out, long frames)
{
    long made = 0;
    while (made < frames && !stream->ended) {
        if (stream->monoCount == 0 && !stream->inputEnded)
            DecodeBlock(stream);
        SRC_DATA data{};
        data.data_in = stream->mono.data() + stream->monoOffset;
        data.input_frames = stream->monoCount;
        data.data_out = out + made;
        data.output_frames = frames - made;
        data.end_of_input = stream->inputEnded ? 1 : 0;
        data.src_ratio = stream->ratio;
        if (src_process(stream->resampler, &data) != 0) {
            stream->ended = true;
            break;
        }
        stream->monoOffset += data.input_frames_used;
        stream->monoCount -= data.input_frames_used;
        made += data.output_frames_gen;
        if (data.output_frames_gen == 0 && stream->inputEnded && stream->monoCount == 0)
            stream->ended = true;
    }
    return made;
}

} // namespace

RecordingStream* OpenRecordingStream(const std::string& path, int rate, std::string* error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        *error = path + ": " + sf_strerror(nullptr);
        return nullptr;
    }
    if (info.channels < 1 || info.samplerate < 1 || rate < 1) {
        sf_close(file);
        *error = path + ": no audio";
        return nullptr;
    }
    int result = 0;
    SRC_STATE* resampler = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &result);
    if (resampler == nullptr) {
        sf_close(file);
        *error = path + ": " + src_strerror(result);
        return nullptr;
    }
    auto* stream = new RecordingStream;
    stream->file = file;
    stream->resampler = resampler;
    stream->channels = info.channels;
    stream->fileRate = info.samplerate;
    stream->ratio = static_cast<double>(rate) / info.samplerate;
    stream->interleaved.resize(static_cast<std::size_t>(decodeFrames * info.channels));
    stream->mono.resize(decodeFrames);
    return stream;
}

void SkipRecordingStream(RecordingStream* stream, double seconds)
{
    auto skip = static_cast<sf_count_t>(std::max(seconds, 0.0) * stream->fileRate);
    if (skip > 0 && sf_seek(stream->file, skip, SEEK_CUR) >= 0) {
        src_reset(stream->resampler);
        stream->monoCount = 0;
        return;
    }
    // Not seekable, or past the end: decode and drop instead.
    while (skip > 0 && !stream->ended) {
        if (stream->monoCount == 0) {
            if (stream->inputEnded) {
                stream->ended = true;
                break;
            }
            DecodeBlock(stream);
        }
        long dropped = static_cast<long>(std::min<sf_count_t>(skip, stream->monoCount));
        stream->monoOffset += dropped;
        stream->monoCount -= dropped;
        skip -= dropped;
    }
}

long ReadRecordingStream(RecordingStream* stream, std::int16_t* samples, long frames)
{
    if (frames <= 0)
        return 0;
    stream->converted.resize(static_cast<std::size_t>(frames));
    long made = Resample(stream, stream->converted.data(), frames);
    std::transform(stream->converted.begin(), stream->converted.begin() + made, samples,
                   [](float value) {
                       float scaled = std::nearbyint(value * 32768.0f);
                       return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
                   });
    return made;
}

void CloseRecordingStream(RecordingStream* stream)
{
    if (stream == nullptr)
        return;
    src_delete(stream->resampler);
    sf_close(stream->file);
    delete stream;
}

bool LoadRecording(const std::string& path, int rate, std::vector<std::int16_t>* samples,
                   std::string* error)
{
    RecordingStream* stream = OpenRecordingStream(path, rate, error);
    if (stream == nullptr)
        return false;
    samples->clear();
    constexpr long piece = 8192;
    for (;;) {
        std::size_t done = samples->size();
        samples->resize(done + piece);
        long got = ReadRecordingStream(stream, samples->data() + done, piece);
        samples->resize(done + static_cast<std::size_t>(got));
        if (got < piece)
            break;
    }
    CloseRecordingStream(stream);
    return true;
}
