// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/runtime_folder.h"

#include "platform/posix/own_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ownFolder; // UseOwnRuntimeFolder's; set before any other thread runs

// A folder of this user's that no one else may write to.
bool IsPrivateFolder(const struct stat& info)
{
    return CheckOwn(info, S_IFDIR, 022) == OWN_OK;
}

bool PrivateFolderAt(const std::string& path)
{
    struct stat info {};
    return !path.empty() && path[0] == '/' && stat(path.c_str(), &info) == 0 &&
           IsPrivateFolder(info);
}

} // namespace

bool ChooseRuntimeFolder(const std::string& system, const char* xdg, const std::string& fallback,
                         std::string* folder, std::string* error)
{
    if (PrivateFolderAt(system)) {
        *folder = system;
        return true;
    }
    if (xdg != nullptr && PrivateFolderAt(xdg)) {
        *folder = xdg;
        return true;
    }
    if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot make the folder " + fallback + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (lstat(fallback.c_str(), &info) != 0) {
        *error = "cannot use the folder " + fallback + ": " + std::strerror(errno);
        return false;
    }
    if (!IsPrivateFolder(info)) {
        *error = fallback +
                 " is not a private folder of this user (a link, a file, another user's, or "
                 "open to others); remove it, or set XDG_RUNTIME_DIR to a private folder";
        return false;
    }
    *folder = fallback;
    return true;
}

void UseOwnRuntimeFolder(const std::string& folder)
{
    ownFolder = folder;
}

bool UserRuntimeFolder(std::string* folder, std::string* error)
{
    if (!ownFolder.empty()) {
        *folder = ownFolder;
        return true;
    }
    const char* root = std::getenv("CRADLECOM_SYSTEM_ROOT");
    const std::string prefix = root != nullptr ? root : "";
    const std::string uid = std::to_string(geteuid());
    return ChooseRuntimeFolder(prefix + "/run/user/" + uid, std::getenv("XDG_RUNTIME_DIR"),
                               prefix + "/tmp/cradlecom-" + uid, folder, error);
}
