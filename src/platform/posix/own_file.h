// SPDX-License-Identifier: GPL-3.0-or-later
// Files and folders that decide what the program does (who is called, which
// account answers) are trusted only when they are the user's own and no one
// else may change them. One check for all of them.
#pragma once

#include <cstddef>
#include <string>
#include <sys/stat.h>

// What the check finds.
constexpr int OWN_OK = 0;
constexpr int OWN_MISSING = 1;        // nothing of that name
constexpr int OWN_LINK = 2;           // a link, where none is followed
constexpr int OWN_WRONG_KIND = 3;     // not a regular file (or, for a folder, not a folder)
constexpr int OWN_OTHER_USER = 4;     // belongs to another user
constexpr int OWN_OPEN_TO_OTHERS = 5; // its mode has some of the forbidden bits
constexpr int OWN_TOO_LARGE = 6;      // larger than the caller reads
constexpr int OWN_FAILED = 7;         // it could not be opened or read: see the errno

// `info` against the rule: of `kind` (S_IFREG or S_IFDIR), the effective
// user's, and none of `forbiddenMode` (022: nobody else may change it; 077:
// nobody else may even read it).
int CheckOwn(const struct stat& info, unsigned kind, unsigned forbiddenMode);

struct OwnFile {
    int check = OWN_FAILED; // OWN_*
    int error = 0;          // the errno when check is OWN_FAILED
    unsigned mode = 0;      // the file's permission bits, once it was opened
    std::string content;    // the whole file when check is OWN_OK
};

// Reads the whole regular file at `path` when CheckOwn passes it, never more
// than `largest` bytes (a file that is larger, or grows past it while it is
// read, is refused). A link is followed only with `followLink`; the open
// never waits (a pipe in the file's place is refused at once).
OwnFile ReadOwnFile(const std::string& path, unsigned forbiddenMode, std::size_t largest,
                    bool followLink);
