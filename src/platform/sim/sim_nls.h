// SPDX-License-Identifier: GPL-3.0-or-later
// What the system asked of the simulated platform's language, for tests.
#pragma once

#include <vector>

#include "platform/nls.h"

// Every SetThreadUILanguage argument since the last reset, in order.
std::vector<LANGID> SimUILanguageCalls();
// The language in effect: LANG_ENGLISH_US at start, like the real platform.
LANGID SimUILanguage();
// What GetUserDefaultUILanguage answers: LANG_GERMAN_GERMANY until set.
void SimSetUserLanguage(LANGID language);
