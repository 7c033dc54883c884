// SPDX-License-Identifier: GPL-3.0-or-later
// WAV files written through libsndfile: the one writer of sound files.
#include "platform/recording/recording.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Fail(std::string* error, std::string text)
{
    if (error != nullptr)
        *error = std::move(text);
    return false;
}

} // namespace

bool WriteWavFile(const std::string& path, int rate, int channels, const std::int16_t* samples,
                  std::size_t frames, std::string* error)
{
    // Whole or not at all: a reader (baresip) may open it the moment it is there.
    const std::string part = path + ".part";
    const int fd =
        ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Fail(error, part + ": " + std::strerror(errno));
    // A part left over from before keeps its mode through O_TRUNC.
    bool written = ::fchmod(fd, 0600) == 0;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    std::string problem;
    if (SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE)) {
        const auto count = static_cast<sf_count_t>(frames);
        written = sf_writef_short(file, samples, count) == count && written;
        if (!written)
            problem = sf_strerror(file);
        written = sf_close(file) == 0 && written;
    } else {
        written = false;
        problem = sf_strerror(nullptr);
    }
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(part.c_str(), path.c_str()) != 0) {
        if (problem.empty())
            problem = std::strerror(errno);
        ::unlink(part.c_str());
        return Fail(error, path + ": " + problem);
    }
    return true;
}
