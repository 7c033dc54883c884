// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/common/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenRegularFile(const std::string& path, std::string* error)
{
    // Non-blocking for the open alone: a FIFO's open then returns at once.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = path + ": " + std::strerror(errno);
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        *error = path + ": not a regular file";
        errno = EINVAL;
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool ReadAtMost(int fd, std::size_t most, std::string* bytes)
{
    bytes->clear();
    char block[65536];
    while (bytes->size() < most) {
        ssize_t got = read(fd, block, std::min(sizeof block, most - bytes->size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        bytes->append(block, static_cast<std::size_t>(got));
    }
    return true;
}
