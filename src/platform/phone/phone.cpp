// PhoneMakeCall and the choice of backend.
#include "platform/phone.h"
#include "platform/phone/phone_backend.h"
#include "platform/phone/phone_internal.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

enum class BackendKind { None, ModemManager, Command, Log };

struct PhoneBackendState {
    BackendKind kind = BackendKind::None;
    QString program; // for Command
};

PhoneBackendState phoneBackend;

// The program as it will be started, or empty when it cannot be run.
QString ResolveProgram(const QString& program)
{
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(program);
}

void LogCall(const QString& number)
{
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    }
    std::printf("%s call: %s\n", stamp, number.toUtf8().constData());
    std::fflush(stdout);
}

LONG RunCommand(const QString& number)
{
    // No shell: the number reaches the program as one argv entry, whatever it holds.
    QProcess process;
    process.setProgram(phoneBackend.program);
    process.setArguments(QStringList{number});
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        phone_internal::WriteDiagnostic(
            QStringLiteral("cannot start %1 for call to %2: %3")
                .arg(phoneBackend.program, number, process.errorString()));
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

} // namespace

namespace phone_internal {

void WriteDiagnostic(const QString& text)
{
    std::fprintf(stderr, "phone: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace phone_internal

bool SetPhoneBackend(const char* choice, std::string* error)
{
    const QString text = QString::fromUtf8(choice != nullptr ? choice : "");
    const QString commandPrefix = QStringLiteral("command:");
    if (text == QLatin1String("modemmanager")) {
        phoneBackend = {BackendKind::ModemManager, {}};
        return true;
    }
    if (text == QLatin1String("log")) {
        phoneBackend = {BackendKind::Log, {}};
        return true;
    }
    if (text.startsWith(commandPrefix)) {
        const QString program = text.mid(commandPrefix.size());
        const QString resolved = program.isEmpty() ? QString() : ResolveProgram(program);
        if (resolved.isEmpty()) {
            if (error != nullptr) {
                *error = program.isEmpty()
                             ? std::string("command: needs a program, as in command:PROGRAM")
                             : "command: " + program.toStdString() +
                                   " is not an executable file or a program on PATH";
            }
            return false;
        }
        phoneBackend = {BackendKind::Command, resolved};
        return true;
    }
    if (error != nullptr) {
        *error = "unknown phone backend \"" + text.toStdString() +
                 "\" (use modemmanager, command:PROGRAM or log)";
    }
    return false;
}

void ChooseDefaultPhoneBackend()
{
    QString why;
    if (phone_internal::HasUsableModem(&why)) {
        phoneBackend = {BackendKind::ModemManager, {}};
        return;
    }
    phoneBackend = {BackendKind::Log, {}};
    phone_internal::WriteDiagnostic(why + QStringLiteral("; calls will only be logged"));
}

const char* PhoneBackendName()
{
    switch (phoneBackend.kind) {
    case BackendKind::ModemManager:
        return "modemmanager";
    case BackendKind::Command:
        return "command";
    case BackendKind::Log:
        return "log";
    case BackendKind::None:
        break;
    }
    return "none";
}

LONG PhoneMakeCall(PHONEMAKECALLINFO* request)
{
    if (request == nullptr || request->pszDestAddress == nullptr ||
        request->pszDestAddress[0] == u'\0') {
        phone_internal::WriteDiagnostic(QStringLiteral("call request without a number ignored"));
        return ERROR_INVALID_PARAMETER;
    }
    // Copied now: the request need not outlive this call.
    const QString number = QString::fromUtf16(request->pszDestAddress);

    if (phoneBackend.kind == BackendKind::None) {
        ChooseDefaultPhoneBackend();
    }
    switch (phoneBackend.kind) {
    case BackendKind::ModemManager:
        return phone_internal::StartModemManagerCall(number) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    case BackendKind::Command:
        return RunCommand(number);
    case BackendKind::Log:
    case BackendKind::None:
        LogCall(number);
        return ERROR_SUCCESS;
    }
    return ERROR_INVALID_PARAMETER;
}
