// SPDX-License-Identifier: GPL-3.0-or-later
// Found beside the program's own executable (CRADLECOM_BUNDLED_DIR is the
// data folder relative to the executable's folder), so that any install
// prefix works, and a scratch copy of an installed tree too.
#include "platform/alsa/bundled.h"

#include <climits>
#include <unistd.h>

std::string BundledRecordingPath(const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos || access(name.c_str(), F_OK) == 0)
        return name;
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return name;
    std::string folder(self, static_cast<std::size_t>(length));
    folder.erase(folder.rfind('/') + 1);
    std::string bundled = folder + CRADLECOM_BUNDLED_DIR + "/" + name;
    return access(bundled.c_str(), R_OK) == 0 ? bundled : name;
}
