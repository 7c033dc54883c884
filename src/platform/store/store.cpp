// SPDX-License-Identifier: GPL-3.0-or-later
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/common/registry_keys.h"
#include "platform/posix/own_file.h"
#include "platform/registry.h"
#include "platform/store/store_file.h"

namespace {

// Larger files are not ours: they are refused, and kept as they are.
constexpr std::size_t largestFile = 64 * 1024 * 1024;

void (*commitHook)(const char*) = nullptr;
bool readOnly = false; // StoreSetReadOnly: no key is created and nothing committed

std::string ConfigDirectory()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* entry = getpwuid(getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    return std::string(home != nullptr ? home : "") + "/.config";
}

std::string StoreDirectory()
{
    return ConfigDirectory() + "/cradlecom";
}

// The registry's code for a failed file operation.
LONG ErrorFromErrno(int error, LONG otherwise)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EISDIR:
    case ELOOP:
        return ERROR_FILE_INVALID;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return otherwise;
    }
}

LONG MakeDirectories(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
    }
    return S_ISDIR(info.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

// The store decides who hears the room: it is read only from a folder and
// a file of the user's own that nobody else may change.
LONG RefusalOf(int check, int error)
{
    switch (check) {
    case OWN_OK:
    case OWN_MISSING:
        return ERROR_SUCCESS;
    case OWN_WRONG_KIND:
        return ERROR_FILE_INVALID;
    case OWN_OTHER_USER:
        return ERROR_INVALID_OWNER;
    case OWN_OPEN_TO_OTHERS:
        return ERROR_INVALID_ACL;
    case OWN_TOO_LARGE:
        return ERROR_FILE_TOO_LARGE;
    default:
        return ErrorFromErrno(error, ERROR_READ_FAULT);
    }
}

// A missing file is an empty store. Anything else that cannot be read whole
// as a store of the user's own is an error, so that no commit ever replaces
// a store that it could not read. The open never waits: a FIFO in the
// file's place is refused at once.
LONG ReadStore(const std::string& directory, StoreKeys* keys)
{
    keys->clear();
    struct stat folder {};
    if (stat(directory.c_str(), &folder) != 0) {
        return errno == ENOENT ? ERROR_SUCCESS : ErrorFromErrno(errno, ERROR_READ_FAULT);
    }
    const int folderCheck = CheckOwn(folder, S_IFDIR, 022);
    if (folderCheck == OWN_WRONG_KIND) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (folderCheck != OWN_OK) {
        return RefusalOf(folderCheck, 0);
    }
    const OwnFile file = ReadOwnFile(directory + "/registry", 022, largestFile, true);
    const LONG result = RefusalOf(file.check, file.error);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (IsCutShort(file.content)) {
        return ERROR_FILE_CORRUPT;
    }
    *keys = ParseStoreText(file.content);
    return ERROR_SUCCESS;
}

// The errno of a failed write, or 0 when all was written.
int WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return put < 0 ? errno : ENOSPC;
        }
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

int SyncDirectory(const std::string& directory)
{
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int error = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    return error;
}

// The store's lock file, taken exclusively; -1 with *error set on failure.
// Never through a link, and never anything but a regular file.
int TakeStoreLock(const std::string& directory, LONG* error)
{
    const std::string lockPath = directory + "/registry.lock";
    const int lockFd =
        open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (lockFd < 0) {
        *error = ErrorFromErrno(errno, ERROR_WRITE_FAULT);
        return -1;
    }
    struct stat info {};
    if (fstat(lockFd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(lockFd);
        *error = ERROR_FILE_INVALID;
        return -1;
    }
    while (flock(lockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            *error = ErrorFromErrno(errno, ERROR_WRITE_FAULT);
            close(lockFd);
            return -1;
        }
    }
    return lockFd;
}

// Temporary files left by a commit that crashed: "registry.tmp-" and the
// six characters mkstemp chose. Only a commit holding the lock makes them, so
// under the lock every one found is garbage. unlink never follows a link.
void RemoveStaleTemporaries(const std::string& directory)
{
    DIR* folder = opendir(directory.c_str());
    if (folder == nullptr) {
        return;
    }
    const std::string prefix = "registry.tmp-";
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        bool chosen = true;
        for (std::size_t i = prefix.size(); i < name.size(); ++i) {
            chosen = chosen && std::isalnum(static_cast<unsigned char>(name[i])) != 0;
        }
        if (chosen) {
            unlinkat(dirfd(folder), name.c_str(), 0);
        }
    }
    closedir(folder);
}

// Writes `text` to a fresh file of a unique name beside the store (never
// through a link) and puts it in the store's place once it is on disk.
LONG ReplaceStore(const std::string& directory, const std::string& text)
{
    const std::string file = directory + "/registry";
    std::string temporary = directory + "/registry.tmp-XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return ErrorFromErrno(errno, ERROR_WRITE_FAULT);
    }
    int error = WriteAll(fd, text);
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && commitHook != nullptr) {
        commitHook(temporary.c_str());
    }
    if (error == 0 && rename(temporary.c_str(), file.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
        return ErrorFromErrno(error, ERROR_WRITE_FAULT);
    }
    error = SyncDirectory(directory);
    return error == 0 ? ERROR_SUCCESS : ErrorFromErrno(error, ERROR_WRITE_FAULT);
}

// Applies the key's writes to the file as it is now, under a lock so that
// two processes committing at once cannot lose each other's values. A crash
// at any point leaves either the old or the new store. The key's location
// is the store's folder as it was resolved when the key was opened.
LONG Commit(const PlatformKey& key)
{
    if (readOnly) {
        return ERROR_WRITE_PROTECT;
    }
    LONG result = MakeDirectories(key.location);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    const int lockFd = TakeStoreLock(key.location, &result);
    if (lockFd < 0) {
        return result;
    }
    RemoveStaleTemporaries(key.location);
    StoreKeys keys;
    result = ReadStore(key.location, &keys);
    if (result == ERROR_SUCCESS) {
        StoreValues& values = keys[key.path];
        for (const auto& [name, value] : key.pending) {
            values[name] = value;
        }
        result = ReplaceStore(key.location, FormatStoreText(keys));
    }
    close(lockFd); // releases the lock
    return result;
}

// A key to be written needs a folder it may write in.
LONG ReadKey(const std::string& directory, const std::u16string& path, bool create,
             StoreValues* values, bool* exists)
{
    if (create) {
        if (readOnly) {
            return ERROR_WRITE_PROTECT;
        }
        LONG status = MakeDirectories(directory);
        if (status == ERROR_SUCCESS && access(directory.c_str(), W_OK) != 0) {
            status = ErrorFromErrno(errno, ERROR_ACCESS_DENIED);
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    StoreKeys keys;
    const LONG read = ReadStore(directory, &keys);
    if (read != ERROR_SUCCESS) {
        return read;
    }
    auto found = keys.find(path);
    *exists = found != keys.end();
    if (*exists) {
        *values = std::move(found->second);
    }
    return ERROR_SUCCESS;
}

const KeyStore fileStore{StoreDirectory, ReadKey, nullptr, Commit};

} // namespace

std::string StoreFilePath()
{
    return StoreDirectory() + "/registry";
}

void StoreSetReadOnly(bool only)
{
    readOnly = only;
}

void StoreSetCommitHook(void (*hook)(const char* temporaryPath))
{
    commitHook = hook;
}

LONG RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD, REGSAM, HKEY* result)
{
    return OpenStoreKey(fileStore, root, subKey, false, result, nullptr);
}

LONG RegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD, LPCWSTR, DWORD, REGSAM, const void*,
                     HKEY* result, DWORD* disposition)
{
    return OpenStoreKey(fileStore, root, subKey, true, result, disposition);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    return QueryStoreValue(key, valueName, type, data, size);
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    return SetStoreValue(fileStore, key, valueName, type, data, size);
}

LONG RegCloseKey(HKEY key)
{
    return CloseStoreKey(fileStore, key);
}
