// SPDX-License-Identifier: GPL-3.0-or-later
// The SIP account file, its one line, and the addresses numbers are dialled at.
#include "platform/phone/sip_account.h"

#include <QFile>

#include <algorithm>
#include <cstring>

#include "platform/posix/own_file.h"

namespace {

constexpr qint64 kLargestFile = 16384;
constexpr int kLongestLine = 2048;

QString ConfigFolder()
{
    // Relative values are to be ignored, as for every XDG variable.
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    if (xdg.startsWith('/'))
        return QString::fromLocal8Bit(xdg) + QStringLiteral("/cradlecom");
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/'))
        return QString::fromLocal8Bit(home) + QStringLiteral("/.config/cradlecom");
    return QString();
}

// The parameters after the address, split at semicolons outside quotes.
QStringList SplitParameters(const QString& text)
{
    QStringList parts;
    QString part;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (c == QLatin1Char(';') && !quoted) {
            parts << part;
            part.clear();
        } else {
            part += c;
        }
    }
    parts << part;
    return parts;
}

QString Unquoted(QString value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

bool Refuse(QString* problem, const QString& text)
{
    if (problem != nullptr)
        *problem = text;
    return false;
}

bool IsHostCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-') ||
           c == QLatin1Char(':') || c == QLatin1Char('[') || c == QLatin1Char(']');
}

} // namespace

QString SipAccountPath()
{
    const QString folder = ConfigFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/sip-account");
}

QString SipConfigPath()
{
    const QString folder = ConfigFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/sip-config");
}

bool ReadUserFile(const QString& path, unsigned forbiddenMode, QByteArray* content, bool* missing,
                  QString* problem)
{
    content->clear();
    const OwnFile file =
        ReadOwnFile(QFile::encodeName(path).toStdString(), forbiddenMode, kLargestFile, false);
    *missing = file.check == OWN_MISSING;
    switch (file.check) {
    case OWN_OK:
        *content = QByteArray::fromStdString(file.content);
        return true;
    case OWN_LINK:
        return Refuse(problem, QStringLiteral("%1 is a link; make it a file of its own").arg(path));
    case OWN_WRONG_KIND:
        return Refuse(problem, QStringLiteral("%1 is not a regular file").arg(path));
    case OWN_OTHER_USER:
        return Refuse(problem, QStringLiteral("%1 belongs to another user").arg(path));
    case OWN_OPEN_TO_OTHERS:
        return Refuse(problem, QStringLiteral("%1 may be %2 by others (mode %3); chmod %4 it")
                                   .arg(path,
                                        (forbiddenMode & 044) != 0 ? QStringLiteral("read")
                                                                   : QStringLiteral("changed"),
                                        QString::number(file.mode, 8).rightJustified(4, u'0'),
                                        (forbiddenMode & 044) != 0 ? QStringLiteral("600")
                                                                   : QStringLiteral("go-w")));
    case OWN_TOO_LARGE:
        return Refuse(problem, QStringLiteral("%1 is too large for what it should hold").arg(path));
    default:
        return Refuse(problem, QStringLiteral("%1: %2").arg(
                                   path, QString::fromLocal8Bit(std::strerror(file.error))));
    }
}

bool ReadSipAccount(const QString& path, SipAccount* account, QString* problem)
{
    if (path.isEmpty())
        return Refuse(problem, QStringLiteral("no SIP account: no home folder to find it in"));
    QByteArray content;
    bool missing = false;
    if (!ReadUserFile(path, 077, &content, &missing, problem)) {
        if (missing && problem != nullptr)
            *problem = QStringLiteral("no SIP account: %1 is missing (one line such as "
                                      "<sip:user@provider.example>;auth_pass=SECRET, mode 600)")
                           .arg(path);
        return false;
    }
    QString reason;
    if (!ParseSipAccount(content, account, &reason))
        return Refuse(problem, QStringLiteral("%1: %2").arg(path, reason));
    return true;
}

bool ParseSipAccount(const QByteArray& text, SipAccount* account, QString* problem)
{
    const QString expected =
        QStringLiteral(" (expected one line such as <sip:user@provider.example>;auth_pass=SECRET)");
    QString line;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray trimmed = raw.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        if (!line.isEmpty())
            return Refuse(problem, QStringLiteral("more than one account line") + expected);
        line = QString::fromUtf8(trimmed);
        // The line goes to baresip as a command: nothing in it may end or
        // begin another one.
        for (const QChar c : line) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == QChar::ReplacementCharacter)
                return Refuse(problem, QStringLiteral("control characters or invalid UTF-8 in "
                                                      "the account line"));
        }
    }
    if (line.isEmpty())
        return Refuse(problem, QStringLiteral("no account line") + expected);
    if (line.size() > kLongestLine)
        return Refuse(problem, QStringLiteral("the account line is too long"));
    // baresip finds ";answermode=" anywhere in the line, inside quotes too,
    // and an answered incoming call would let anybody listen to the room.
    if (line.contains(QLatin1String("answermode"), Qt::CaseInsensitive))
        return Refuse(problem, QStringLiteral("answermode: the program never answers calls; "
                                              "remove it"));

    const qsizetype open = line.indexOf(QLatin1Char('<'));
    const qsizetype close = open < 0 ? -1 : line.indexOf(QLatin1Char('>'), open);
    if (open < 0 || close < 0)
        return Refuse(problem, QStringLiteral("no <sip:...> address") + expected);
    QString uri = line.mid(open + 1, close - open - 1);
    const qsizetype colon = uri.indexOf(QLatin1Char(':'));
    const QString scheme = colon < 0 ? QString() : uri.left(colon).toLower();
    if (scheme != QLatin1String("sip") && scheme != QLatin1String("sips"))
        return Refuse(problem, QStringLiteral("the address is not a sip: address") + expected);
    QString rest = uri.mid(colon + 1);
    const qsizetype uriParameters = rest.indexOf(QLatin1Char(';'));
    if (uriParameters >= 0)
        rest = rest.left(uriParameters);
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    if (at <= 0)
        return Refuse(problem, QStringLiteral("the address has no user@host") + expected);
    QString user = rest.left(at);
    const QString hostPort = rest.mid(at + 1);
    SipAccount parsed;
    const qsizetype password = user.indexOf(QLatin1Char(':'));
    if (password >= 0) {
        if (password + 1 < user.size())
            parsed.secrets << user.mid(password + 1);
        user = user.left(password);
    }
    if (user.isEmpty() || hostPort.isEmpty() ||
        !std::all_of(hostPort.begin(), hostPort.end(), IsHostCharacter))
        return Refuse(problem, QStringLiteral("the address has no user@host") + expected);

    const QStringList parameters = SplitParameters(line.mid(close + 1));
    for (qsizetype i = 1; i < parameters.size(); ++i) {
        const QString& parameter = parameters.at(i);
        const qsizetype equals = parameter.indexOf(QLatin1Char('='));
        const QString name = parameter.left(equals).trimmed().toLower();
        const QString value =
            equals < 0 ? QString() : Unquoted(parameter.mid(equals + 1).trimmed());
        if (name == QLatin1String("auth_pass") && !value.isEmpty()) {
            parsed.secrets << value;
        } else if (name == QLatin1String("regint")) {
            parsed.registers = value.toInt() != 0;
        }
    }
    parsed.line = line;
    parsed.scheme = scheme;
    parsed.hostPort = hostPort;
    parsed.address = scheme + QLatin1Char(':') + user + QLatin1Char('@') + hostPort;
    *account = parsed;
    return true;
}

QString SipAddressForNumber(const QString& number, const SipAccount& account, QString* problem)
{
    const QString text = number.trimmed();
    for (const char* prefix : {"sip:", "sips:"}) {
        if (!text.startsWith(QLatin1String(prefix), Qt::CaseInsensitive))
            continue;
        bool usable = text.size() > static_cast<qsizetype>(std::strlen(prefix));
        for (const QChar c : text) {
            usable = usable && c.unicode() > 0x20 && c.unicode() < 0x7F && c != QLatin1Char('<') &&
                     c != QLatin1Char('>') && c != QLatin1Char('"');
        }
        if (!usable) {
            Refuse(problem, QStringLiteral("%1 is not a usable sip: address").arg(text));
            return QString();
        }
        return text;
    }
    QString user;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 0x80) {
            user += c;
        } else if (c == QLatin1Char('+') || c == QLatin1Char('*')) {
            user += c;
        } else if (c == QLatin1Char('#')) {
            user += QStringLiteral("%23");
        } else if (c != QLatin1Char(' ') && c != QLatin1Char('-') && c != QLatin1Char('/') &&
                   c != QLatin1Char('(') && c != QLatin1Char(')')) {
            Refuse(problem,
                   QStringLiteral("%1 is neither a call number nor a sip: address").arg(text));
            return QString();
        }
    }
    if (user.isEmpty()) {
        Refuse(problem, QStringLiteral("%1 is neither a call number nor a sip: address").arg(text));
        return QString();
    }
    return account.scheme + QLatin1Char(':') + user + QLatin1Char('@') + account.hostPort;
}

QString WithoutSecrets(QString text, const SipAccount& account)
{
    for (const QString& secret : account.secrets) {
        if (!secret.isEmpty())
            text.replace(secret, QStringLiteral("***"));
    }
    return text;
}
