// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/resource.h"
#include "resources/ids.h"
#include "settings/settings.h"

extern const LanguageRow languages[languageCount] = {
    {barMainGerman, barDialogGerman, 0, LANG_GERMAN_GERMANY, ctlGermanButton, "de"},
    {barMainEnglish, barDialogEnglish, strEnglishOffset, LANG_ENGLISH_US, ctlEnglishButton, "en"},
};

const LanguageRow* FindLanguage(std::int32_t language)
{
    return language >= 0 && language < languageCount ? &languages[language] : nullptr;
}

const LanguageRow& CurrentLanguage()
{
    // The stored value stays as it is; only what is shown falls back.
    const LanguageRow* row = FindLanguage(settings.Language);
    return row != nullptr ? *row : languages[0];
}

void LoadLocalString(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity)
{
    // An unknown language loads the German text rather than leave the
    // caller an unfilled buffer.
    LoadStringW(instance, id + CurrentLanguage().stringOffset, buffer, capacity);
}
