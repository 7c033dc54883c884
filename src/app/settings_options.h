// SPDX-License-Identifier: GPL-3.0-or-later
// `cradlecom --set NAME=VALUE`, `cradlecom --get` and `--calibrate`: the settings read and
// written from the command line, through the same store and rules as the
// dialogs, without a display and beside a running copy.
#pragma once

#include <string>
#include <vector>

// Checks every NAME=VALUE first; writes them all, or nothing. The exit
// status: 0 written, 2 a value refused (each named on standard error with
// the reason), 1 the store cannot be read or written (the reason likewise).
int SetSettings(const std::vector<std::string>& assignments);

// Listens to the room for `seconds` through the chosen input, prints the
// room's level and the settings chosen, and writes them as SetSettings does.
// 0 written; 1 the microphone cannot be opened, the room was refused (the
// reason on standard error; nothing written) or the store failed.
int CalibrateSettings(int seconds);

// Prints every setting as NAME=VALUE, one a line, in the form --set takes.
// 0, or 1 with the reason when the store cannot be read.
int PrintSettings();
