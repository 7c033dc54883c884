// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recording/recording.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unistd.h>

#include <samplerate.h>
#include <sndfile.h>

#include "platform/common/regular_file.h"
#include "platform/recording/decimate.h"

namespace {
constexpr sf_count_t decodeFrames = 4096;
} // namespace

struct RecordingStream {
    SNDFILE* file = nullptr;
    SRC_STATE* resampler = nullptr; // a sinc converter, for rates the decimator does not take
    Decimator* decimator = nullptr; // for rates of twice the output rate or more
    bool asShorts = false;          // samples of at most 16 bits at the output rate: no conversion
    int channels = 1;
    int fileRate = 1;
    double ratio = 1.0; // output rate over the file's rate
    bool inputEnded = false;
    bool ended = false;
    std::vector<std::int16_t> shorts; // one interleaved block, when read as shorts
    std::vector<float> interleaved;
    std::vector<float> mono;
    long monoOffset = 0;
    long monoCount = 0;
    std::vector<float> converted;
};

namespace {

// Read as they are: every value fits a short exactly. Wider and float
// samples are read as floats and rounded once.
bool ShortsAreExact(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}

// A float sample file may hold NaN or infinities; they count as silence.
float Finite(float value)
{
    return std::isfinite(value) ? value : 0.0f;
}

std::int16_t ToShort(float value)
{
    float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

// The average of each frame's `channels` values. A count known when
// compiling (mono, stereo) lets the loop run on vectors: at 44.1 kHz the
// mixing costs as much as the filter after it.
template <int fixedChannels>
void MixDown(const float* interleaved, float* mono, sf_count_t frames, int channels)
{
    if (fixedChannels > 0)
        channels = fixedChannels;
    for (sf_count_t frame = 0; frame < frames; ++frame) {
        float sum = 0.0f;
        for (int channel = 0; channel < channels; ++channel)
            sum += Finite(interleaved[frame * channels + channel]);
        mono[frame] = sum / static_cast<float>(channels);
    }
}

// Decodes the next block and mixes it down to the average of its channels.
void DecodeBlock(RecordingStream* stream)
{
    sf_count_t got = sf_readf_float(stream->file, stream->interleaved.data(), decodeFrames);
    if (got < decodeFrames)
        stream->inputEnded = true;
    got = std::max<sf_count_t>(got, 0);
    const float* from = stream->interleaved.data();
    float* to = stream->mono.data();
    if (stream->channels == 1)
        MixDown<1>(from, to, got, 1);
    else if (stream->channels == 2)
        MixDown<2>(from, to, got, 2);
    else
        MixDown<0>(from, to, got, stream->channels);
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

// Fills `out` with up to `frames` decimated values; the count made.
long Decimate(RecordingStream* stream, float* out, long frames)
{
    long made = PullDecimator(stream->decimator, out, frames);
    while (made < frames) {
        if (stream->monoCount == 0) {
            if (stream->inputEnded) {
                EndDecimator(stream->decimator);
                made += PullDecimator(stream->decimator, out + made, frames - made);
                break;
            }
            DecodeBlock(stream);
        }
        PushDecimator(stream->decimator, stream->mono.data() + stream->monoOffset,
                      stream->monoCount);
        stream->monoOffset += stream->monoCount;
        stream->monoCount = 0;
        made += PullDecimator(stream->decimator, out + made, frames - made);
    }
    return made;
}

// Float samples at the output rate: mixed and rounded, no filter.
long ReadFloats(RecordingStream* stream, std::int16_t* samples, long frames)
{
    long made = 0;
    while (made < frames) {
        if (stream->monoCount == 0) {
            if (stream->inputEnded)
                break;
            DecodeBlock(stream);
            continue;
        }
        long take = std::min(frames - made, stream->monoCount);
        const float* from = stream->mono.data() + stream->monoOffset;
        std::transform(from, from + take, samples + made, ToShort);
        stream->monoOffset += take;
        stream->monoCount -= take;
        made += take;
    }
    return made;
}

// Short samples at the output rate: one channel is copied straight into
// `samples`; several are averaged, rounding halves to even as the float
// mix does.
long ReadShorts(RecordingStream* stream, std::int16_t* samples, long frames)
{
    if (stream->channels == 1) {
        sf_count_t got = sf_readf_short(stream->file, samples, frames);
        return static_cast<long>(std::max<sf_count_t>(got, 0));
    }
    long made = 0;
    while (made < frames) {
        sf_count_t want = std::min<sf_count_t>(frames - made, decodeFrames);
        sf_count_t got = sf_readf_short(stream->file, stream->shorts.data(), want);
        for (sf_count_t frame = 0; frame < got; ++frame) {
            long sum = 0;
            for (int channel = 0; channel < stream->channels; ++channel)
                sum += stream->shorts[static_cast<std::size_t>(frame * stream->channels + channel)];
            samples[made + frame] = static_cast<std::int16_t>(
                std::nearbyint(static_cast<double>(sum) / stream->channels));
        }
        made += static_cast<long>(std::max<sf_count_t>(got, 0));
        if (got < want)
            break;
    }
    return made;
}

// What a phone's recorder writes that libsndfile does not read, by the
// file's first bytes: null for anything else. These are not decoded here:
// a decoder of them (FFmpeg's) would bring some ninety packages (170 MB) to
// a small device, and its stream of security fixes to the reading of files
// that come from outside.
const char* PhoneFormat(const unsigned char* head, ssize_t length)
{
    if (length >= 8 && std::memcmp(head + 4, "ftyp", 4) == 0)
        return "MPEG-4 audio (.m4a, AAC)";
    if (length >= 2 && head[0] == 0xFF && (head[1] & 0xF6) == 0xF0)
        return "AAC audio (.aac)";
    if (length >= 5 && std::memcmp(head, "#!AMR", 5) == 0)
        return "AMR audio (.amr)";
    return nullptr;
}

// `text` as one word for a shell.
std::string ShellWord(const std::string& text)
{
    if (!text.empty() &&
        text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789_-+.,/:@%") == std::string::npos)
        return text;
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// How to make a file of `format` readable: FLAC keeps every sample.
std::string ConvertHint(const std::string& path, const char* format)
{
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                           ? path.substr(0, dot)
                           : path;
    return path + ": " + format + " is not read; convert it first, for example: ffmpeg -i " +
           ShellWord(path) + " " + ShellWord(stem + ".flac");
}

// After a seek: the converter starts afresh, as at the open.
void ResetConverter(RecordingStream* stream)
{
    if (stream->resampler != nullptr)
        src_reset(stream->resampler);
    if (stream->decimator != nullptr)
        ResetDecimator(stream->decimator);
}

} // namespace

RecordingStream* OpenRecordingStream(const std::string& path, int rate, std::string* error)
{
    int fd = OpenRegularFile(path, error);
    if (fd < 0)
        return nullptr;
    unsigned char head[8];
    ssize_t headLength = pread(fd, head, sizeof head, 0);
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE); // closes fd, also on failure
    if (file == nullptr) {
        const char* format = PhoneFormat(head, headLength);
        *error = format != nullptr ? ConvertHint(path, format) : path + ": " + sf_strerror(nullptr);
        return nullptr;
    }
    if (info.channels < 1 || info.samplerate < 1 || rate < 1) {
        sf_close(file);
        *error = path + ": no audio";
        return nullptr;
    }
    // The converter's ratio is limited: beyond it every read would fail, and
    // the recording would seem to end at once.
    double ratio = static_cast<double>(rate) / info.samplerate;
    if (!src_is_valid_ratio(ratio)) {
        sf_close(file);
        *error = path + ": a sample rate of " + std::to_string(info.samplerate) +
                 " Hz cannot be brought to " + std::to_string(rate) + " Hz (" +
                 (ratio > 1.0 ? "the least is " + std::to_string((rate + 255) / 256)
                              : "the most is " + std::to_string(rate * 256)) +
                 " Hz)";
        return nullptr;
    }
    // Band-limited, as a microphone sampling at `rate` would be. Twice the
    // rate or more (a phone's 44.1 or 48 kHz) goes through the decimator:
    // there a sinc converter's work, which grows with the ratio, took ten
    // times as long as all the rest of a replay. Nearer rates keep the
    // fastest of the sinc converters, far more precise (97 dB) than the
    // loudness needs.
    Decimator* decimator = info.samplerate != rate ? NewDecimator(info.samplerate, rate) : nullptr;
    SRC_STATE* resampler = nullptr;
    if (info.samplerate != rate && decimator == nullptr) {
        int result = 0;
        resampler = src_new(SRC_SINC_FASTEST, 1, &result);
        if (resampler == nullptr) {
            sf_close(file);
            *error = path + ": " + src_strerror(result);
            return nullptr;
        }
    }
    auto* stream = new RecordingStream;
    stream->file = file;
    stream->resampler = resampler;
    stream->decimator = decimator;
    stream->asShorts = info.samplerate == rate && ShortsAreExact(info.format);
    stream->channels = info.channels;
    stream->fileRate = info.samplerate;
    stream->ratio = ratio;
    if (stream->asShorts) {
        stream->shorts.resize(static_cast<std::size_t>(decodeFrames * info.channels));
    } else {
        stream->interleaved.resize(static_cast<std::size_t>(decodeFrames * info.channels));
        stream->mono.resize(decodeFrames);
    }
    return stream;
}

void SkipRecordingStream(RecordingStream* stream, double seconds)
{
    auto skip = static_cast<sf_count_t>(std::max(seconds, 0.0) * stream->fileRate);
    if (skip > 0 && sf_seek(stream->file, skip, SEEK_CUR) >= 0) {
        ResetConverter(stream);
        stream->monoCount = 0;
        return;
    }
    if (stream->asShorts) {
        // Not seekable, or past the end: read and drop instead.
        std::vector<std::int16_t> dropped(decodeFrames);
        while (skip > 0 && !stream->ended) {
            long want = static_cast<long>(std::min<sf_count_t>(skip, decodeFrames));
            long got = ReadShorts(stream, dropped.data(), want);
            skip -= got;
            if (got < want)
                stream->ended = true;
        }
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
    if (frames <= 0 || stream->ended)
        return 0;
    long made = 0;
    if (stream->asShorts) {
        made = ReadShorts(stream, samples, frames);
    } else if (stream->resampler == nullptr && stream->decimator == nullptr) {
        made = ReadFloats(stream, samples, frames);
    } else {
        stream->converted.resize(static_cast<std::size_t>(frames));
        made = stream->decimator != nullptr ? Decimate(stream, stream->converted.data(), frames)
                                            : Resample(stream, stream->converted.data(), frames);
        std::transform(stream->converted.begin(), stream->converted.begin() + made, samples,
                       ToShort);
    }
    if (made < frames)
        stream->ended = true;
    return made;
}

void CloseRecordingStream(RecordingStream* stream)
{
    if (stream == nullptr)
        return;
    if (stream->resampler != nullptr)
        src_delete(stream->resampler);
    DeleteDecimator(stream->decimator);
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

bool RewindRecordingStream(RecordingStream* stream)
{
    if (sf_seek(stream->file, 0, SEEK_SET) < 0)
        return false;
    ResetConverter(stream);
    stream->inputEnded = false;
    stream->ended = false;
    stream->monoOffset = 0;
    stream->monoCount = 0;
    return true;
}
