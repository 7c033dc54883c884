// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's recording: the bundled sounds, played without end in an order
// drawn from the seed.
#include <algorithm>

#include "platform/recording/recording.h"
#include "soak.h"

namespace {

constexpr int rate = 11025;

} // namespace

std::int64_t Draw(std::mt19937_64& random, std::int64_t low, std::int64_t high)
{
    if (high <= low)
        return low;
    auto span = static_cast<std::uint64_t>(high - low) + 1;
    return low + static_cast<std::int64_t>(random() % span);
}

bool LoadSoakSounds(const std::string& dataDir, SoakSounds* sounds, std::string* error)
{
    if (!LoadRecording(dataDir + "/room_hum.flac", rate, &sounds->hum, error) ||
        !LoadRecording(dataDir + "/nursery.flac", rate, &sounds->nursery, error))
        return false;
    if (sounds->hum.empty() || sounds->nursery.empty()) {
        *error = "a recording in " + dataDir + " is empty";
        return false;
    }
    return true;
}

SoakInput::SoakInput(const SoakSounds& from, std::uint64_t seed) : sounds(from), random(seed)
{
    NextPiece();
}

// Half a minute to a quarter of an hour of the quiet room (its seven
// seconds over and over), then once or twice the nursery with its cries.
void SoakInput::NextPiece()
{
    if (piece != &sounds.hum) {
        piece = &sounds.hum;
        left = Draw(random, 30, 900) * rate;
    } else {
        piece = &sounds.nursery;
        left = static_cast<std::int64_t>(sounds.nursery.size()) * Draw(random, 1, 2);
    }
    position = 0;
}

long SoakInput::Read(std::int16_t* samples, long count)
{
    long done = 0;
    while (done < count) {
        if (left == 0)
            NextPiece();
        auto size = static_cast<std::int64_t>(piece->size());
        std::int64_t run =
            std::min({left, size - position, static_cast<std::int64_t>(count - done)});
        std::copy_n(piece->data() + position, run, samples + done);
        done += static_cast<long>(run);
        left -= run;
        position = (position + run) % size;
    }
    return done;
}
