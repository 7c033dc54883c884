// SPDX-License-Identifier: GPL-3.0-or-later
// The user's language, from the locale's variables.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/nls.h"

LANGID GetUserDefaultUILanguage()
{
    // The first one set decides, as for every program's messages.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0')
            return std::strncmp(value, "de", 2) == 0 ? LANG_GERMAN_GERMANY : LANG_ENGLISH_US;
    }
    return LANG_ENGLISH_US;
}
