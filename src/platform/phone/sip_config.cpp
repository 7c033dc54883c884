// SPDX-License-Identifier: GPL-3.0-or-later
// baresip's configuration for one run: the program's own lines, and those
// of the user's sip-config that may reach baresip.
#include "platform/phone/sip_internal.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

#include "platform/eventlog.h"
#include "platform/phone/sip_channel.h"

namespace {

using namespace sip_internal;

// Where baresip finds its modules: the first folder that has the codec.
QString ModuleFolder()
{
    for (const char* folder :
         {"/usr/lib/baresip/modules", "/usr/lib/x86_64-linux-gnu/baresip/modules",
          "/usr/lib/aarch64-linux-gnu/baresip/modules",
          "/usr/lib/arm-linux-gnueabihf/baresip/modules", "/usr/lib64/baresip/modules",
          "/usr/local/lib/baresip/modules"}) {
        if (QFileInfo::exists(QString::fromLatin1(folder) + QStringLiteral("/g711.so")))
            return QString::fromLatin1(folder);
    }
    return QStringLiteral("/usr/lib/baresip/modules");
}

// A line break of any kind would begin a line of baresip's configuration.
bool HasControlCharacters(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return c.category() == QChar::Other_Control && c != QLatin1Char('\t');
    });
}

struct ConfigLine {
    QString key;
    QString value;
};

bool IsModuleKey(const QString& key)
{
    return key == QLatin1String("module") || key == QLatin1String("module_app") ||
           key == QLatin1String("module_tmp");
}

// Why a line of sip-config (text, read as line) may not reach baresip;
// empty when it may.
QString ConfigRefusal(const QString& text, const ConfigLine& line)
{
    if (HasControlCharacters(text))
        return QStringLiteral("it holds control characters");
    // Each of these would let somebody else command baresip (and so call
    // out or listen), answer calls, or copy baresip's log, account line
    // and all, where others read it.
    if (IsModuleKey(line.key)) {
        QString name = QFileInfo(line.value).fileName().toLower();
        if (name.endsWith(QLatin1String(".so")))
            name.chop(3);
        for (const char* control :
             {"ctrl_tcp", "ctrl_dbus", "cons", "httpd", "mqtt", "stdio", "evdev"}) {
            if (name == QLatin1String(control))
                return QStringLiteral("baresip takes commands from the program alone");
        }
        if (name == QLatin1String("b2bua"))
            return QStringLiteral("the program never answers calls");
        if (name == QLatin1String("syslog"))
            return QStringLiteral("baresip's log holds the account line");
    }
    for (const char* prefix : {"ctrl_", "cons_", "http_", "mqtt_"}) {
        if (line.key.startsWith(QLatin1String(prefix)))
            return QStringLiteral("baresip takes commands from the program alone");
    }
    return QString();
}

// The user's additions from sip-config: each replaces the program's line of
// the same name; modules are added. Refused ones are logged and left out.
std::vector<ConfigLine> UserConfigLines()
{
    std::vector<ConfigLine> lines;
    const QString path = SipConfigPath();
    if (path.isEmpty())
        return lines;
    QByteArray content;
    bool missing = false;
    QString problem;
    if (!ReadUserFile(path, 022, &content, &missing, &problem)) {
        if (!missing)
            Note(EVENTLOG_ERROR_TYPE, QStringLiteral("%1; its lines are left out").arg(problem));
        return lines;
    }
    int number = 0;
    for (const QByteArray& raw : content.split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw.trimmed());
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype space = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
        const ConfigLine entry{space < 0 ? line : line.left(space),
                               space < 0 ? QString() : line.mid(space + 1).trimmed()};
        const QString refusal = ConfigRefusal(line, entry);
        if (!refusal.isEmpty()) {
            Note(EVENTLOG_ERROR_TYPE,
                 QStringLiteral("%1, line %2 (%3) refused: %4; it is left out")
                     .arg(path, QString::number(number), Escaped(line), refusal));
            continue;
        }
        lines.push_back(entry);
    }
    return lines;
}

} // namespace

namespace sip_internal {

QByteArray BaresipConfig(const WaveInputSourceInfo& input, const QString& channelPath,
                         QString* problem)
{
    const QString modules = ModuleFolder();
    if (!QFileInfo::exists(modules + QStringLiteral("/mqtt.so"))) {
        *problem = QStringLiteral("baresip's mqtt module, its line to the program, is not in %1")
                       .arg(modules);
        return QByteArray();
    }
    std::vector<ConfigLine> lines = {
        {QStringLiteral("module_path"), modules},
        {QStringLiteral("poll_method"), QStringLiteral("poll")},
        {QStringLiteral("audio_source"),
         input.recording ? QStringLiteral("aufile,") + sip.roomRecording
                         : QStringLiteral("alsa,") + QString::fromStdString(input.name)},
        // The far end's voice and ring tones go to a bridge that nobody
        // listens to: the room hears nothing.
        {QStringLiteral("audio_player"), QStringLiteral("aubridge,cradlecom-discard")},
        {QStringLiteral("audio_alert"), QStringLiteral("aubridge,cradlecom-discard")},
        {QStringLiteral("module"), QStringLiteral("g711.so")},
        {QStringLiteral("module"), QStringLiteral("aubridge.so")},
        {QStringLiteral("module"),
         input.recording ? QStringLiteral("aufile.so") : QStringLiteral("alsa.so")},
    };
    // What an account line may ask for (medianat=, mediaenc=), where installed.
    for (const char* optional : {"stun.so", "turn.so", "ice.so", "srtp.so"}) {
        if (QFileInfo::exists(modules + QLatin1Char('/') + QLatin1String(optional)))
            lines.push_back({QStringLiteral("module"), QString::fromLatin1(optional)});
    }
    lines.push_back({QStringLiteral("module_app"), QStringLiteral("menu.so")});
    // Its "message" command sends a SIP MESSAGE to the current contact.
    lines.push_back({QStringLiteral("module_app"), QStringLiteral("contact.so")});
    lines.push_back({QStringLiteral("module_app"), QStringLiteral("mqtt.so")});
    for (const auto& [key, value] : SipChannelConfig(channelPath))
        lines.push_back({key, value});
    for (const ConfigLine& line : lines) {
        if (HasControlCharacters(line.value)) {
            *problem = QStringLiteral("%1 holds control characters; baresip cannot be given it")
                           .arg(Escaped(line.value));
            return QByteArray();
        }
    }
    for (const ConfigLine& extra : UserConfigLines()) {
        if (!IsModuleKey(extra.key)) {
            lines.erase(
                std::remove_if(lines.begin(), lines.end(),
                               [&extra](const ConfigLine& line) { return line.key == extra.key; }),
                lines.end());
        }
        lines.push_back(extra);
    }
    QByteArray text = "# Written by cradlecom for one run of baresip; made anew at every start.\n";
    for (const ConfigLine& line : lines)
        text += (line.key + QLatin1Char(' ') + line.value).toUtf8() + '\n';
    return text;
}

} // namespace sip_internal
