// SPDX-License-Identifier: GPL-3.0-or-later
// Files a user names for reading (a recording, the event log, a list of
// cries) are opened only when they are regular files: a FIFO without a
// writer would hold the open, and a device such as /dev/zero the read,
// without end.
#pragma once

#include <cstddef>
#include <string>

// A descriptor open for reading (blocking, close-on-exec) when `path` is a
// regular file. Otherwise -1 with "PATH: reason" in *error, at once, and
// errno ENOENT only when nothing is there.
int OpenRegularFile(const std::string& path, std::string* error);

// Up to `most` bytes from `fd`'s current offset on; false with errno set
// when a read fails.
bool ReadAtMost(int fd, std::size_t most, std::string* bytes);
