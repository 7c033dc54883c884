// SPDX-License-Identifier: GPL-3.0-or-later
// The "log" backend: calls are only written to standard output, never placed.
#include "platform/eventlog.h"
#include "platform/phone.h"
#include "platform/phone/phone_internal.h"
#include "platform/posix/standard_streams.h"

#include <ctime>
#include <string>

namespace {

void StartLog()
{
    phone_internal::WriteDiagnostic(EVENTLOG_WARNING_TYPE,
                                    QStringLiteral("calls will only be logged, never placed"));
}

void DialLog(LONG id, const QString& number)
{
    phone_internal::PrintOnlyLogged(number);
    phone_internal::ReportCall(id, PHONE_EVENT_LOGGED,
                               QStringLiteral("the phone is set to log calls only"));
}

} // namespace

namespace phone_internal {

const PhoneBackendOps logBackend = {
    .choice = "log",
    .shown = "log",
    .name = "log",
    .choose = nullptr,
    .start = StartLog,
    .stop = nullptr,
    .dial = DialLog,
    .route = [] { return PHONE_ROUTE_LOG; },
    .message = nullptr,
    .ready = [] { return true; },
};

// The terminal sees that nothing was dialled, not a line that reads like a call.
void PrintOnlyLogged(const QString& number)
{
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    }
    // Queued, as the event log is: a stopped terminal never holds up the call.
    QueueStandardOutput(std::string(stamp) +
                        " call only logged, not placed: " + number.toStdString() + "\n");
}

} // namespace phone_internal
