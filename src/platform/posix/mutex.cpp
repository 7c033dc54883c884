// The named lock: an flock on a file in the user's runtime folder. The
// kernel drops the lock when its holder dies, so a crashed copy never
// leaves it behind.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include "platform/common/utf8.h"
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

std::string LockPath(const std::string& name)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != 0 && access(runtime, W_OK) == 0) {
        return std::string(runtime) + "/" + name + ".lock";
    }
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

} // namespace

HANDLE CreateMutexW(const void*, BOOL, LPCWSTR name)
{
    if (name == nullptr || name[0] == 0) {
        lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    std::string path = LockPath(Utf8Name(name));
    std::lock_guard<std::mutex> guard(heldGuard);
    auto mine = held.find(path);
    if (mine != held.end()) {
        ++mine->second.handles;
        lastError = ERROR_ALREADY_EXISTS;
        return new PlatformHandle{path, true};
    }
    int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        lastError = errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        bool taken = errno == EWOULDBLOCK;
        close(descriptor);
        if (!taken) {
            lastError = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        // Another process holds it: a handle that only tells so.
        lastError = ERROR_ALREADY_EXISTS;
        return new PlatformHandle{path, false};
    }
    held[path] = HeldLock{descriptor, 1};
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
            close(mine->second.descriptor); // releases the lock
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
