#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/registry.h"
#include "platform/store/store_file.h"

struct PlatformKey {
    bool isRoot = false;
    std::string directory; // resolved when the key was opened
    std::u16string path;
    bool createKey = false; // the key was missing when it was created
    StoreValues values;     // as read at opening, with this key's writes
    StoreValues pending;    // this key's writes, for the commit
};

namespace {

// Larger files are not ours: they read as empty and the next commit
// replaces them.
constexpr off_t largestFile = 64 * 1024 * 1024;

PlatformKey rootKey{true, {}, {}, false, {}, {}};
std::set<HKEY> openKeys;
void (*commitHook)(const char*) = nullptr;

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

bool MakeDirectories(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

StoreKeys ReadStore(const std::string& directory)
{
    const std::string file = directory + "/registry";
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string text;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= largestFile) {
        char chunk[65536];
        for (;;) {
            const ssize_t got = read(fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            text.append(chunk, static_cast<std::size_t>(got));
            if (text.size() > static_cast<std::size_t>(largestFile)) {
                text.clear();
                break;
            }
        }
    }
    close(fd);
    return ParseStoreText(text);
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool SyncDirectory(const std::string& directory)
{
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

// Applies the key's writes to the file as it is now, under a lock so that
// two processes committing at once cannot lose each other's values. The new
// content goes to a temporary file that replaces the store only once it is
// on disk, so a crash at any point leaves either the old or the new store.
bool Commit(const PlatformKey& key)
{
    if (!MakeDirectories(key.directory)) {
        return false;
    }
    const std::string lockPath = key.directory + "/registry.lock";
    const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        return false;
    }
    while (flock(lockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(lockFd);
            return false;
        }
    }

    StoreKeys keys = ReadStore(key.directory);
    StoreValues& values = keys[key.path];
    for (const auto& [name, value] : key.pending) {
        values[name] = value;
    }
    const std::string text = FormatStoreText(keys);

    const std::string file = key.directory + "/registry";
    const std::string temporary = key.directory + "/registry.new";
    bool done = false;
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const bool written = WriteAll(fd, text) && fsync(fd) == 0;
        done = close(fd) == 0 && written;
        if (done && commitHook != nullptr) {
            commitHook(temporary.c_str());
        }
        done = done && rename(temporary.c_str(), file.c_str()) == 0;
        if (!done) {
            unlink(temporary.c_str());
        }
    }
    done = done && SyncDirectory(key.directory);
    close(lockFd); // releases the lock
    return done;
}

std::u16string Text(LPCWSTR text)
{
    return text != nullptr ? std::u16string(text) : std::u16string();
}

bool IsUsable(HKEY key)
{
    return key == &rootKey || openKeys.count(key) != 0;
}

std::u16string FullPath(HKEY root, LPCWSTR subKey)
{
    const std::u16string sub = Text(subKey);
    if (root->isRoot || sub.empty()) {
        return root->isRoot ? sub : root->path;
    }
    return root->path + u"\\" + sub;
}

} // namespace

const HKEY HKEY_LOCAL_MACHINE = &rootKey;

std::string StoreFilePath()
{
    return StoreDirectory() + "/registry";
}

void StoreSetCommitHook(void (*hook)(const char* temporaryPath))
{
    commitHook = hook;
}

LONG RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD, REGSAM, HKEY* result)
{
    if (result == nullptr || !IsUsable(root)) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    const std::string directory = root->isRoot ? StoreDirectory() : root->directory;
    const std::u16string path = FullPath(root, subKey);
    StoreKeys keys = ReadStore(directory);
    auto found = keys.find(path);
    if (found == keys.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    auto* key = new PlatformKey{false, directory, path, false, std::move(found->second), {}};
    openKeys.insert(key);
    *result = key;
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD, LPCWSTR, DWORD, REGSAM, const void*,
                     HKEY* result, DWORD* disposition)
{
    if (result == nullptr || !IsUsable(root)) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    const std::string directory = root->isRoot ? StoreDirectory() : root->directory;
    if (!MakeDirectories(directory) || access(directory.c_str(), W_OK) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    const std::u16string path = FullPath(root, subKey);
    StoreKeys keys = ReadStore(directory);
    auto found = keys.find(path);
    const bool exists = found != keys.end();
    if (disposition != nullptr) {
        *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    auto* key = new PlatformKey{
        false, directory, path, !exists, exists ? std::move(found->second) : StoreValues{}, {}};
    openKeys.insert(key);
    *result = key;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    if (key == nullptr || key->isRoot || !IsUsable(key) || (data != nullptr && size == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    auto found = key->values.find(Text(valueName));
    if (found == key->values.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const StoredValue& value = found->second;
    const auto needed = static_cast<DWORD>(value.bytes.size());
    if (data != nullptr && needed > *size) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) {
        for (DWORD i = 0; i < needed; ++i) {
            data[i] = value.bytes[i];
        }
    }
    if (size != nullptr) {
        *size = needed;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    if (key == nullptr || key->isRoot || !IsUsable(key) || (data == nullptr && size != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    StoredValue value{type, std::vector<BYTE>(data, data + size)};
    const std::u16string name = Text(valueName);
    key->values[name] = value;
    key->pending[name] = std::move(value);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    if (key == &rootKey) {
        return ERROR_SUCCESS;
    }
    if (key == nullptr || openKeys.erase(key) == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    bool committed = true;
    if (key->createKey || !key->pending.empty()) {
        committed = Commit(*key);
    }
    delete key;
    return committed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}
