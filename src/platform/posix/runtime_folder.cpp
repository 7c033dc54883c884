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

} // namespace

bool PrivateRuntimeFolder(const std::string& path, std::string* error)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot make the folder " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        *error = "cannot use the folder " + path + ": " + std::strerror(errno);
        return false;
    }
    if (CheckOwn(info, S_IFDIR, 077) != OWN_OK) {
        *error = path +
                 " is not a private folder of this user (a link, a file, another user's, or "
                 "open to others); it must be removed (by its owner) before Cradlecom can run";
        return false;
    }
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
    if (root != nullptr)
        mkdir((std::string(root) + "/tmp").c_str(), 0700); // a test's root starts empty
    const std::string path =
        std::string(root != nullptr ? root : "") + "/tmp/cradlecom-" + std::to_string(geteuid());
    if (!PrivateRuntimeFolder(path, error))
        return false;
    *folder = path;
    return true;
}
