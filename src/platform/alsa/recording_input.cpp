// Sound from a recording, handed out no faster than a microphone would, by
// the monotonic clock. The recording plays on the room's clock (see
// wave_source.h); after its end the room is silent.
#include <algorithm>

#include "platform/alsa/device.h"
#include "platform/recording/recording.h"

namespace {
constexpr long readFrames = 256;
} // namespace

struct RecordingInput {
    RecordingStream* stream; // gives nothing once the recording is over
    std::chrono::steady_clock::time_point runStart;
    std::int64_t framesGiven;
};

namespace {

MMRESULT OpenRecording(PlatformWaveIn* device, const std::string& name, DWORD rate,
                       std::chrono::steady_clock::time_point roomStart)
{
    std::string error;
    RecordingStream* stream = OpenRecordingStream(name, static_cast<int>(rate), &error);
    if (stream == nullptr)
        return MMSYSERR_NODRIVER;
    // Join the room where it is now: skip what played while no device was open.
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - roomStart).count();
    SkipRecordingStream(stream, elapsed);
    device->recording = new RecordingInput{stream, {}, 0};
    return MMSYSERR_NOERROR;
}

void BeginRecording(PlatformWaveIn* device)
{
    device->recording->runStart = std::chrono::steady_clock::now();
    device->recording->framesGiven = 0;
}

void HaltRecording(PlatformWaveIn*) {}

long ReadRecording(PlatformWaveIn* device, std::int16_t* samples, long frames)
{
    RecordingInput* input = device->recording;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - input->runStart).count();
    auto due = static_cast<std::int64_t>(seconds * device->rate) - input->framesGiven;
    long count = static_cast<long>(std::min<std::int64_t>({due, frames, readFrames}));
    if (count <= 0)
        return 0;
    // Silence after the end, as in a room where nothing plays any more.
    long got = ReadRecordingStream(input->stream, samples, count);
    std::fill(samples + got, samples + count, 0);
    input->framesGiven += count;
    return count;
}

void CloseRecording(PlatformWaveIn* device)
{
    CloseRecordingStream(device->recording->stream);
    delete device->recording;
    device->recording = nullptr;
}

} // namespace

const WaveSourceOps recordingSourceOps = {OpenRecording, BeginRecording, HaltRecording,
                                          ReadRecording, CloseRecording};
