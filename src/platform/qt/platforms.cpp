// SPDX-License-Identifier: GPL-3.0-or-later
// The window platforms Qt offers, and a start on one that Qt cannot bring
// up told as such: one line naming the platforms and status 2, instead of
// Qt's abort.
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <unistd.h>

#include "platform/posix/standard_streams.h"
#include "platform/qt/qt_internal.h"
#include "platform/qt/qt_platform.h"

namespace {

QString requestedPlatform; // what the start asked for, for the messages
QtMessageHandler qtHandler = nullptr;

std::string OfferedList()
{
    std::string list;
    for (const std::string& name : QtPlatformNames())
        list += (list.empty() ? "" : ", ") + name;
    return list.empty() ? std::string("none") : list;
}

void TellRefused(const QString& what)
{
    std::fprintf(stderr, "cradlecom: %s; the window platforms Qt offers here: %s\n",
                 what.toLocal8Bit().constData(), OfferedList().c_str());
}

// Qt gives up on a platform plugin that cannot start with a fatal message
// and an abort; said our way, it ends with status 2.
void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        qtHandler(type, context, message);
        return;
    }
    const QString platform =
        requestedPlatform.isEmpty()
            ? QStringLiteral("the window platform")
            : QStringLiteral("the window platform \"%1\"").arg(requestedPlatform);
    FlushStandardStreams(1000);
    TellRefused(QStringLiteral("%1 cannot start: %2")
                    .arg(platform, message.section(QLatin1Char('\n'), 0, 0)));
    _exit(2);
}

// The names in -platform or QT_QPA_PLATFORM ("a;b:option" lists them),
// without their options; empty for Qt's own choice.
QStringList RequestedNames(int argc, char** argv)
{
    QString asked = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            asked = QString::fromLocal8Bit(argv[i + 1]);
    }
    QStringList names;
    for (const QString& entry : asked.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        names << entry.section(QLatin1Char(':'), 0, 0);
    return names;
}

} // namespace

std::vector<std::string> QtPlatformNames()
{
    QStringList folders = QCoreApplication::libraryPaths();
    for (QString& folder : folders)
        folder += QStringLiteral("/platforms");
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM_PLUGIN_PATH"))
        folders.prepend(qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH"));
    std::set<std::string> names;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& file : dir.entryList(QDir::Files)) {
            // The plugin's metadata, read without loading it.
            const QJsonObject meta = QPluginLoader(dir.filePath(file)).metaData();
            if (!meta.value(QStringLiteral("IID"))
                     .toString()
                     .contains(QStringLiteral("QPlatformIntegrationFactoryInterface")))
                continue;
            for (const QJsonValue key : meta.value(QStringLiteral("MetaData"))
                                            .toObject()
                                            .value(QStringLiteral("Keys"))
                                            .toArray())
                names.insert(key.toString().toLower().toStdString());
        }
    }
    return std::vector<std::string>(names.begin(), names.end());
}

bool QtStartApplication(int* argc, char** argv)
{
    const QStringList names = RequestedNames(*argc, argv);
    requestedPlatform = names.join(QLatin1Char(';'));
    if (!names.isEmpty()) {
        const std::vector<std::string> offered = QtPlatformNames();
        bool any = false;
        for (const QString& name : names)
            any = any || std::find(offered.begin(), offered.end(), name.toLower().toStdString()) !=
                             offered.end();
        if (!any) {
            TellRefused(
                QStringLiteral("there is no window platform \"%1\"").arg(requestedPlatform));
            return false;
        }
    }
    qtHandler = qInstallMessageHandler(OnQtMessage);
    new QApplication(*argc, argv);
    qInstallMessageHandler(qtHandler);
    if (QGuiApplication::primaryScreen() == nullptr) {
        // A window made now would end in Qt's abort.
        TellRefused(QStringLiteral("the window platform \"%1\" has no screen")
                        .arg(QGuiApplication::platformName()));
        return false;
    }
    return true;
}
