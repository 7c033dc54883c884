// SPDX-License-Identifier: GPL-3.0-or-later
// Silence to listen to, so that a test of the whole program needs no
// microphone.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

// Writes `seconds` of 16-bit mono silence at 11025 Hz as FOLDER/silence.wav;
// its path, or empty when it could not be written.
inline std::string WriteSilenceWav(const std::filesystem::path& folder, unsigned seconds)
{
    std::string path = (folder / "silence.wav").string();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return {};
    const unsigned rate = 11025, bytes = rate * 2 * seconds;
    auto put = [out](unsigned value, int size) {
        for (int i = 0; i < size; ++i)
            std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), out);
    };
    std::fputs("RIFF", out);
    put(36 + bytes, 4);
    std::fputs("WAVEfmt ", out);
    put(16, 4);
    put(1, 2); // PCM
    put(1, 2); // mono
    put(rate, 4);
    put(rate * 2, 4);
    put(2, 2);
    put(16, 2);
    std::fputs("data", out);
    put(bytes, 4);
    for (unsigned i = 0; i < bytes; ++i)
        std::fputc(0, out);
    return std::fclose(out) == 0 ? path : std::string();
}
