// The choice of source, made once at start-up and taken at every open.
#include <cstring>

#include "platform/alsa/bundled.h"
#include "platform/alsa/device.h"
#include "platform/alsa/wave_source.h"
#include "platform/recording/recording.h"

namespace {

struct ChosenSource {
    std::mutex lock;
    const WaveSourceOps* ops = &alsaSourceOps;
    std::string name = "default";
    bool roomStarted = false;
    std::chrono::steady_clock::time_point roomStart;
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
    if (ops == &recordingSourceOps) {
        name = BundledRecordingPath(name);
        std::string reason;
        RecordingStream* stream = OpenRecordingStream(name, 11025, &reason);
        if (stream == nullptr)
            return Fail(error, "cannot read recording " + reason);
        CloseRecordingStream(stream);
    }
    std::lock_guard<std::mutex> lock(chosen.lock);
    chosen.ops = ops;
    chosen.name = name;
    chosen.roomStarted = false;
    return true;
}

void TakeWaveSource(const WaveSourceOps** ops, std::string* name,
                    std::chrono::steady_clock::time_point* roomStart)
{
    std::lock_guard<std::mutex> lock(chosen.lock);
    if (!chosen.roomStarted) {
        chosen.roomStart = std::chrono::steady_clock::now();
        chosen.roomStarted = true;
    }
    *ops = chosen.ops;
    *name = chosen.name;
    *roomStart = chosen.roomStart;
}
