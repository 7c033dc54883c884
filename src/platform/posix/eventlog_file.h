// SPDX-License-Identifier: GPL-3.0-or-later
// Where the real event log lives, and reading it back.
#pragma once

#include <cstdio>
#include <string>

// $XDG_STATE_HOME/cradlecom/events.log, else ~/.local/state/cradlecom/events.log.
std::string EventLogPath();

// The folder the log lives in ($XDG_STATE_HOME/cradlecom, else
// ~/.local/state/cradlecom); empty without a home. Nothing is made.
std::string StateFolder();
// Makes `path` and its parents; the last one private to the user. False
// with errno when it cannot be made or is no folder.
bool MakePrivateFolders(const std::string& path);

// The log is rotated when a line would take it to this size or beyond:
// the file becomes events.log.1 (replacing an older one) and a new one begins.
constexpr long eventLogLimitBytes = 1000000;

// For a run that is no night's watch (the screenshots): from now on the
// events go to standard error only, and the file is left as it is.
void KeepEventLogOffDisk();

// Writes the last `lines` lines of the log (reaching into the rotated file
// when the current one holds fewer) to `out`. False with a reason when
// neither file can be read; an absent log is no error and prints nothing.
bool PrintEventLogTail(int lines, std::FILE* out, std::string* error);
