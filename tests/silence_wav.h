// SPDX-License-Identifier: GPL-3.0-or-later
// Silence to listen to, so that a test of the whole program needs no
// microphone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/recording/recording.h"

// Writes `seconds` of 16-bit mono silence at 11025 Hz as FOLDER/silence.wav;
// its path, or empty when it could not be written.
inline std::string WriteSilenceWav(const std::filesystem::path& folder, unsigned seconds)
{
    const std::string path = (folder / "silence.wav").string();
    const std::vector<std::int16_t> silence(std::size_t{11025} * seconds);
    return WriteWavFile(path, 11025, 1, silence.data(), silence.size(), nullptr) ? path
                                                                                 : std::string();
}
