// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/own_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int CheckOwn(const struct stat& info, unsigned kind, unsigned forbiddenMode)
{
    if ((info.st_mode & S_IFMT) != kind)
        return OWN_WRONG_KIND;
    if (info.st_uid != geteuid())
        return OWN_OTHER_USER;
    return (info.st_mode & forbiddenMode) != 0 ? OWN_OPEN_TO_OTHERS : OWN_OK;
}

OwnFile ReadOwnFile(const std::string& path, unsigned forbiddenMode, std::size_t largest,
                    bool followLink)
{
    OwnFile file;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY |
                                          (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        file.error = errno;
        file.check = file.error == ENOENT                 ? OWN_MISSING
                     : file.error == ELOOP && !followLink ? OWN_LINK
                                                          : OWN_FAILED;
        return file;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        file.error = errno;
    } else {
        file.mode = info.st_mode & 07777;
        file.check = CheckOwn(info, S_IFREG, forbiddenMode);
        if (file.check == OWN_OK && static_cast<std::size_t>(info.st_size) > largest)
            file.check = OWN_TOO_LARGE;
    }
    char chunk[65536];
    while (file.check == OWN_OK) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            file.error = errno;
            file.check = OWN_FAILED;
        } else if (got == 0) {
            break;
        } else if (file.content.size() + static_cast<std::size_t>(got) > largest) {
            file.check = OWN_TOO_LARGE;
        } else {
            file.content.append(chunk, static_cast<std::size_t>(got));
        }
    }
    close(fd);
    if (file.check != OWN_OK)
        file.content.clear();
    return file;
}
