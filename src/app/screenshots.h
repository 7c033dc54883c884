// SPDX-License-Identifier: GPL-3.0-or-later
// `cradlecom --screenshots DIR`: pictures of the main screen and of every
// dialog in both languages, for the README and for a look at what users see.
#pragma once

#include <string>

// Makes `directory` and its parents, and sets this process apart from any
// other copy: a lock and a window socket in a private temporary folder, a
// store that is only read, an event log kept off disk, calls only logged,
// and silence to listen to unless `inputChosen`. False with the reason.
bool PrepareScreenshots(const std::string& directory, bool inputChosen, std::string* problem);

// Removes the private folder again.
void FinishScreenshots();

// Arms a driver that runs inside the program's own message loop: it waits
// for the first text band, saves the main window's client area, opens and
// saves each dialog (closing it with Cancel), switches to English in memory
// only, does the same again, and closes the program.
void StartScreenshots(const std::string& directory);

// True once every picture has been written.
bool ScreenshotsComplete();
