// SPDX-License-Identifier: GPL-3.0-or-later
// The choice of source, made once at start-up and taken at every open.
#include <cstring>

#include "platform/alsa/bundled.h"
#include "platform/alsa/device.h"
#include "platform/alsa/wave_source.h"

namespace {

struct ChosenSource {
    std::mutex lock;
    const WaveSourceOps* ops = &alsaSourceOps;
    std::string name = "default";
    std::shared_ptr<RecordingInput> recording; // open from the choice on; null for ALSA
    bool loop = false;                         // recordings start again at their end
};

ChosenSource chosen;

// The ways a choice can name a source; a choice that matches none is a recording.
struct SourceKind {
    const char* prefix;
    bool whole; // the prefix is the whole choice, and the name is fixed
    const char* fixedName;
    const WaveSourceOps* ops;
};

const SourceKind sourceKinds[] = {
    {"default", true, "default", &alsaSourceOps},
    {"alsa:", false, nullptr, &alsaSourceOps},
};

bool Fail(std::string* error, std::string text)
{
    if (error != nullptr)
        *error = std::move(text);
    return false;
}

} // namespace

bool SetWaveInputSource(const char* choice, std::string* error)
{
    if (choice == nullptr || *choice == '\0')
        return Fail(error, "no wave input source given");
    const WaveSourceOps* ops = &recordingSourceOps;
    std::string name = choice;
    for (const SourceKind& kind : sourceKinds) {
        std::size_t length = std::strlen(kind.prefix);
        if (kind.whole ? std::strcmp(choice, kind.prefix) == 0
                       : std::strncmp(choice, kind.prefix, length) == 0) {
            ops = kind.ops;
            name = kind.whole ? kind.fixedName : choice + length;
            break;
        }
    }
    if (name.empty())
        return Fail(error, std::string("no ALSA device named in \"") + choice + "\"");
    // A recording is opened here, once: a restart never opens it by path
    // again, so it plays on when its file is deleted or replaced.
    std::shared_ptr<RecordingInput> recording;
    if (ops == &recordingSourceOps) {
        name = BundledRecordingPath(name);
        std::string reason;
        recording = OpenRecordingInput(name, 11025, &reason);
        if (recording == nullptr)
            return Fail(error, "cannot read recording " + reason);
    }
    std::lock_guard<std::mutex> lock(chosen.lock);
    chosen.ops = ops;
    chosen.name = name;
    chosen.recording = recording;
    if (recording != nullptr)
        LoopRecordingInput(recording.get(), chosen.loop);
    return true;
}

void SetWaveInputLoop(bool loop)
{
    std::lock_guard<std::mutex> lock(chosen.lock);
    chosen.loop = loop;
    if (chosen.recording != nullptr)
        LoopRecordingInput(chosen.recording.get(), loop);
}

void TakeWaveSource(const WaveSourceOps** ops, std::string* name,
                    std::shared_ptr<RecordingInput>* recording)
{
    std::lock_guard<std::mutex> lock(chosen.lock);
    *ops = chosen.ops;
    *name = chosen.name;
    *recording = chosen.recording;
}

WaveInputSourceInfo GetWaveInputSource()
{
    std::shared_ptr<RecordingInput> recording;
    WaveInputSourceInfo info;
    {
        std::lock_guard<std::mutex> lock(chosen.lock);
        info.name = chosen.name;
        recording = chosen.recording;
    }
    if (recording != nullptr) {
        info.recording = true;
        info.playedSeconds = RecordingInputClock(recording.get());
    }
    return info;
}
