// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts (standard buttons, standard dialogs) in the chosen language,
// from the translations installed with Qt. English is Qt's source language,
// so English needs no translator.
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "platform/nls.h"

namespace {

struct QtLanguage {
    QTranslator* german = nullptr; // loaded on first use; window thread only
    bool installed = false;        // german is installed in the application
};

QtLanguage qtLanguage;

bool LoadGerman()
{
    if (qtLanguage.german != nullptr)
        return true;
    // Lives as long as the application, which is never destroyed before exit.
    auto* translator = new QTranslator;
    if (!translator->load(QStringLiteral("qtbase_de"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    qtLanguage.german = translator;
    return true;
}

} // namespace

LANGID SetThreadUILanguage(LANGID language)
{
    if (QCoreApplication::instance() == nullptr)
        return 0;
    switch (language) {
    case LANG_GERMAN_GERMANY:
        if (!LoadGerman())
            return 0;
        if (!qtLanguage.installed && !QCoreApplication::installTranslator(qtLanguage.german))
            return 0;
        qtLanguage.installed = true;
        return language;
    case LANG_ENGLISH_US:
        if (qtLanguage.installed)
            QCoreApplication::removeTranslator(qtLanguage.german);
        qtLanguage.installed = false;
        return language;
    default:
        return 0;
    }
}
