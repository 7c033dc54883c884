// `cradlecom --screenshots DIR`: pictures of the main screen and of every
// dialog in both languages, for the README and for a look at what users see.
#pragma once

#include <string>

// Writes a second of silence to a temporary WAV file for the program to
// listen to; its path, or empty on failure.
std::string WriteSilence();

// Arms a driver that runs inside the program's own message loop: it waits
// for the first text band, saves the main window's client area, opens and
// saves each dialog (closing it with Cancel), switches to English in memory
// only, does the same again, and closes the program.
void StartScreenshots(const std::string& directory);

// False with the reason when `directory` is not a folder the pictures can be
// written to.
bool ScreenshotFolderUsable(const std::string& directory, std::string* problem);

// True once every picture has been written.
bool ScreenshotsComplete();
