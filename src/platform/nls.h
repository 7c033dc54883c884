// SPDX-License-Identifier: GPL-3.0-or-later
// The language of the platform's own texts: the standard buttons of message
// boxes (Yes, No, OK, Cancel) and of anything else the platform draws
// itself. The system's texts are its own and do not follow this.
//
// Guarantees to the caller:
// - SetThreadUILanguage(LANG_GERMAN_GERMANY) or (LANG_ENGLISH_US) makes
//   every message box opened afterwards speak that language; a box or dialog
//   already open follows where the platform can relabel it.
// - It returns the language now in effect, or 0 when the platform has no
//   texts for the one asked for (or does not know the id); the texts then
//   stay as they were.
// - Call it on the window thread only.
#pragma once

#include "platform/types.h"

using LANGID = WORD;

constexpr LANGID LANG_GERMAN_GERMANY = 0x0407;
constexpr LANGID LANG_ENGLISH_US = 0x0409;

LANGID SetThreadUILanguage(LANGID language);
// The language the user's locale asks for (LC_ALL, else LC_MESSAGES, else
// LANG): LANG_GERMAN_GERMANY for any German one (de, de_AT.UTF-8, ...),
// LANG_ENGLISH_US for every other, and for none.
LANGID GetUserDefaultUILanguage();
