// SPDX-License-Identifier: GPL-3.0-or-later
// Sound from a recording, handed out no faster than a microphone would, by
// the monotonic clock. The recording plays on the room's clock (see
// wave_source.h); after its end the room is silent, or the recording starts
// again when it loops.
#include <algorithm>
#include <vector>

#include "platform/alsa/device.h"
#include "platform/eventlog.h"
#include "platform/recording/recording.h"

namespace {
constexpr long readFrames = 256;
// A loop's first pass is kept in memory when it is at most this long.
constexpr std::int64_t keptPassSeconds = 300;
} // namespace

// One per chosen recording, shared by the devices that play it. Opened on
// the thread that chose it; begin and read run on a device's capture
// thread, under `lock`.
struct RecordingInput {
    std::mutex lock;
    RecordingStream* stream = nullptr; // open for the whole run
    DWORD rate = 0;                    // the rate the stream gives
    bool loop = false;                 // start again at the end
    bool clockStarted = false;         // the room's clock runs from `clockStart`
    std::chrono::steady_clock::time_point clockStart;
    std::int64_t framesPlayed = 0; // frames heard or skipped since clockStart
    bool ended = false;            // over for good: only silence from here on
    std::int64_t passStart = 0;    // framesPlayed when the current pass began
    std::int64_t passFrames = 0;   // one pass's length, once a pass has ended
    // A loop plays the same samples every pass; resampling them costs more
    // than all else the program does while it listens, so the first whole
    // pass is kept and the later ones are played from it.
    std::vector<std::int16_t> pass; // this pass as played from its start, while it is kept
    bool passKept = false;          // `pass` holds a whole pass: the stream is read no more

    ~RecordingInput() { CloseRecordingStream(stream); }
};

namespace {

// Frames the room's clock has reached beyond what was played.
std::int64_t FramesDue(const RecordingInput& input)
{
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - input.clockStart).count();
    return static_cast<std::int64_t>(seconds * input.rate) - input.framesPlayed;
}

// At the end of a pass: again from the start when looping, else over.
// True when there is more to play.
bool EndOfPass(RecordingInput* input)
{
    if (input->loop && input->framesPlayed > input->passStart &&
        (input->passKept || RewindRecordingStream(input->stream))) {
        input->passFrames = input->framesPlayed - input->passStart;
        input->passStart = input->framesPlayed;
        if (!input->passKept && static_cast<std::int64_t>(input->pass.size()) == input->passFrames)
            input->passKept = true;
        else if (!input->passKept)
            input->pass.clear(); // only part of it: try the next
        return true;
    }
    input->ended = true;
    AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"recording ended");
    return false;
}

// Up to `frames` of the kept pass, from where the current pass has got to;
// fewer at its end.
long PlayKeptPass(RecordingInput* input, std::int16_t* samples, long frames)
{
    auto at = static_cast<std::size_t>(input->framesPlayed - input->passStart);
    long got = static_cast<long>(std::min<std::size_t>(input->pass.size() - at, frames));
    std::copy_n(input->pass.begin() + static_cast<std::ptrdiff_t>(at), got, samples);
    return got;
}

// Adds `frames` just read from the stream to the pass being kept, if a loop
// plays and all of this pass so far is kept; gives up on a pass too long.
void KeepPass(RecordingInput* input, const std::int16_t* samples, long frames)
{
    const std::int64_t most = keptPassSeconds * input->rate;
    if (input->passKept || !input->loop || input->passFrames > most ||
        static_cast<std::int64_t>(input->pass.size()) != input->framesPlayed - input->passStart)
        return;
    if (static_cast<std::int64_t>(input->pass.size()) + frames > most) {
        std::vector<std::int16_t>().swap(input->pass);
        return;
    }
    input->pass.insert(input->pass.end(), samples, samples + frames);
}

// Up to `count` frames into `samples` (null: dropped), silence after the
// end; always `count`.
void Play(RecordingInput* input, std::int16_t* samples, long count)
{
    std::int16_t dropped[readFrames];
    long done = 0;
    while (done < count && !input->ended) {
        long want = std::min(count - done, readFrames);
        std::int16_t* into = samples != nullptr ? samples + done : dropped;
        long got = input->passKept ? PlayKeptPass(input, into, want)
                                   : ReadRecordingStream(input->stream, into, want);
        KeepPass(input, into, got);
        input->framesPlayed += got;
        done += got;
        if (got < want && !EndOfPass(input))
            break;
    }
    if (samples != nullptr)
        std::fill(samples + done, samples + count, 0);
    input->framesPlayed += count - done;
}

// Drops what played while no device listened. After the end this costs
// nothing; a loop drops at most one pass.
void CatchUp(RecordingInput* input)
{
    std::int64_t due = FramesDue(*input);
    if (due <= 0)
        return;
    if (input->ended) {
        input->framesPlayed += due;
    } else if (input->loop) {
        std::int64_t play = input->passFrames > 0 ? due % input->passFrames : due;
        input->framesPlayed += due - play;
        input->passStart += due - play; // whole passes skipped
        while (play > 0) {
            long piece = static_cast<long>(std::min<std::int64_t>(play, 1 << 16));
            Play(input, nullptr, piece);
            play -= piece;
        }
    } else {
        SkipRecordingStream(input->stream, static_cast<double>(due) / input->rate);
        input->framesPlayed += due;
    }
}

MMRESULT OpenRecording(PlatformWaveIn* device, const std::string&, DWORD rate,
                       const std::shared_ptr<RecordingInput>& recording)
{
    if (recording == nullptr)
        return MMSYSERR_NODRIVER;
    if (rate != recording->rate)
        return WAVERR_BADFORMAT;
    device->recording = recording;
    return MMSYSERR_NOERROR;
}

// The room's clock starts when a device first listens, so the recording is
// heard from its very start.
void BeginRecording(PlatformWaveIn* device)
{
    RecordingInput* input = device->recording.get();
    std::lock_guard<std::mutex> lock(input->lock);
    if (!input->clockStarted) {
        input->clockStart = std::chrono::steady_clock::now();
        input->clockStarted = true;
    }
    CatchUp(input);
}

void HaltRecording(PlatformWaveIn*) {}

long ReadRecording(PlatformWaveIn* device, std::int16_t* samples, long frames)
{
    RecordingInput* input = device->recording.get();
    std::lock_guard<std::mutex> lock(input->lock);
    long count = static_cast<long>(std::min<std::int64_t>({FramesDue(*input), frames, readFrames}));
    if (count <= 0)
        return 0;
    Play(input, samples, count);
    return count;
}

void CloseRecording(PlatformWaveIn* device)
{
    device->recording.reset();
}

} // namespace

std::shared_ptr<RecordingInput> OpenRecordingInput(const std::string& path, DWORD rate,
                                                   std::string* error)
{
    RecordingStream* stream = OpenRecordingStream(path, static_cast<int>(rate), error);
    if (stream == nullptr)
        return nullptr;
    auto input = std::make_shared<RecordingInput>();
    input->stream = stream;
    input->rate = rate;
    return input;
}

void LoopRecordingInput(RecordingInput* recording, bool loop)
{
    std::lock_guard<std::mutex> lock(recording->lock);
    recording->loop = loop;
}

double RecordingInputClock(RecordingInput* recording)
{
    std::lock_guard<std::mutex> lock(recording->lock);
    if (!recording->clockStarted)
        return 0.0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - recording->clockStart)
        .count();
}

const WaveSourceOps recordingSourceOps = {OpenRecording, BeginRecording, HaltRecording,
                                          ReadRecording, CloseRecording};
