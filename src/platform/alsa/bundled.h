// SPDX-License-Identifier: GPL-3.0-or-later
// The recordings installed with the program.
#pragma once

#include <string>

// A recording chosen by a bare file name that does not exist in the current
// directory is the bundled one of that name, when there is one: the path of
// the installed copy. Any other name comes back unchanged.
std::string BundledRecordingPath(const std::string& name);
