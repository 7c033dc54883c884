// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated platform's language: knows German and English, and records
// what it was asked.
#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_nls.h"

namespace {

struct SimLanguage {
    std::vector<LANGID> calls; // window thread only
    LANGID current = LANG_ENGLISH_US;
    LANGID user = LANG_GERMAN_GERMANY;
};

SimLanguage simLanguage;

void ResetLanguage()
{
    simLanguage = SimLanguage{};
}

SimResetHook languageReset(ResetLanguage);

} // namespace

LANGID SetThreadUILanguage(LANGID language)
{
    simLanguage.calls.push_back(language);
    if (language != LANG_GERMAN_GERMANY && language != LANG_ENGLISH_US)
        return 0;
    simLanguage.current = language;
    return language;
}

std::vector<LANGID> SimUILanguageCalls()
{
    return simLanguage.calls;
}

LANGID SimUILanguage()
{
    return simLanguage.current;
}

LANGID GetUserDefaultUILanguage()
{
    return simLanguage.user;
}

void SimSetUserLanguage(LANGID language)
{
    simLanguage.user = language;
}
