// SPDX-License-Identifier: GPL-3.0-or-later
// The named lock: an flock on a file in the user's private runtime folder
// (runtime_folder.h). The kernel drops the lock when its holder dies, so a
// crashed copy never leaves it behind; the holder that closes its last
// handle removes the file. While a lock is held its folder is locked too:
// the system's clean-up of old files in /tmp passes over a folder so
// locked, and must not take the lock file of a copy that runs for weeks.
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/common/utf8.h"
#include "platform/posix/runtime_folder.h"
#include "platform/system.h"

struct PlatformHandle {
    std::string path;
    bool holder; // this handle shares the process's lock on `path`
};

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// The locks this process holds: path -> descriptor and number of handles.
struct HeldLock {
    int descriptor;
    int handles;
    int folder; // the folder, locked against the clean-up; -1 when it could not be
};
std::mutex heldGuard;
std::map<std::string, HeldLock> held;

std::string Utf8Name(LPCWSTR name)
{
    std::string out;
    for (std::size_t i = 0; name[i] != 0; ++i) {
        char32_t unit = name[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (name[i + 1] - 0xDC00);
            ++i;
        }
        if (unit == '/')
            out += '_'; // a name is one file, never a path
        else
            out += EncodeUtf8(unit);
    }
    return out;
}

DWORD ErrorOf(int error)
{
    return error == EACCES || error == EPERM ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
}

// Opens the lock file (never through a link, never anything but a file of
// this user's) and tries to lock it. The descriptor when locked; -1 with
// *taken true when another process holds it, or with *error set.
int TryLock(const std::string& path, bool* taken, DWORD* error)
{
    *taken = false;
    // A holder that closes unlinks the file, so a lock won on a file that has
    // since left the path is worth nothing: try again on the new one.
    for (int attempt = 0; attempt < 10; ++attempt) {
        int descriptor =
            open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (descriptor < 0) {
            *error = ErrorOf(errno);
            return -1;
        }
        struct stat opened {};
        if (fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode) ||
            opened.st_uid != geteuid()) {
            close(descriptor);
            *error = ERROR_ACCESS_DENIED;
            return -1;
        }
        if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int failure = errno;
            close(descriptor);
            *taken = failure == EWOULDBLOCK;
            *error = *taken ? ERROR_ALREADY_EXISTS : ErrorOf(failure);
            return -1;
        }
        struct stat named {};
        if (stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino) {
            return descriptor;
        }
        close(descriptor);
    }
    *error = ERROR_ACCESS_DENIED;
    return -1;
}

} // namespace

HANDLE CreateMutexW(const void*, BOOL, LPCWSTR name)
{
    if (name == nullptr || name[0] == 0) {
        lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    std::string folder;
    std::string reason;
    if (!UserRuntimeFolder(&folder, &reason)) {
        lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    std::string path = folder + "/" + Utf8Name(name) + ".lock";
    std::lock_guard<std::mutex> guard(heldGuard);
    auto mine = held.find(path);
    if (mine != held.end()) {
        ++mine->second.handles;
        lastError = ERROR_ALREADY_EXISTS;
        return new PlatformHandle{path, true};
    }
    bool taken = false;
    DWORD error = ERROR_SUCCESS;
    int descriptor = TryLock(path, &taken, &error);
    if (descriptor < 0) {
        lastError = error;
        // Another process holds it: a handle that only tells so.
        return taken ? new PlatformHandle{path, false} : nullptr;
    }
    int folderLock = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderLock >= 0 && flock(folderLock, LOCK_EX | LOCK_NB) != 0) {
        close(folderLock);
        folderLock = -1;
    }
    held[path] = HeldLock{descriptor, 1, folderLock};
    lastError = ERROR_SUCCESS;
    return new PlatformHandle{path, true};
}

BOOL CloseHandle(HANDLE handle)
{
    if (handle == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (handle->holder) {
        std::lock_guard<std::mutex> guard(heldGuard);
        auto mine = held.find(handle->path);
        if (mine != held.end() && --mine->second.handles == 0) {
            unlink(mine->first.c_str());    // while still locked, see TryLock
            close(mine->second.descriptor); // releases the lock
            if (mine->second.folder >= 0)
                close(mine->second.folder);
            held.erase(mine);
        }
    }
    delete handle;
    return TRUE;
}

DWORD GetLastError()
{
    return lastError;
}
