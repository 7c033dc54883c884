// SPDX-License-Identifier: GPL-3.0-or-later
// A home of the test's own for a whole program run, so that parallel runs
// never meet and the user's files are never touched.
#pragma once

#include <cstdlib>
#include <string>

// Makes TMPDIR/cradlecom-NAME-XXXXXX and points the settings, the event
// log, TMPDIR and the system root (which holds the single-copy lock and the
// window's socket) at it; its path, or empty when it could not be made.
inline std::string MakePrivateHome(const char* name)
{
    const char* temp = std::getenv("TMPDIR");
    std::string pattern = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") +
                          "/cradlecom-" + name + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        return {};
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "TMPDIR",
                                 "CRADLECOM_SYSTEM_ROOT"})
        setenv(variable, pattern.c_str(), 1);
    return pattern;
}
