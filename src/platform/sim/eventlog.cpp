// SPDX-License-Identifier: GPL-3.0-or-later
// The event log kept in memory, stamped with the simulated time.
#include <cstdio>
#include <mutex>

#include "platform/common/event_text.h"
#include "platform/eventlog.h"
#include "platform/sim/sim_eventlog.h"
#include "platform/sim/sim_internal.h"

namespace {

struct EventLogState {
    std::mutex lock;
    std::vector<SimEvent> events;
    std::vector<std::string> standardError;
    bool echo = false;
    std::function<void(const SimEvent&)> observer;
};

EventLogState eventLog;

void ResetEventLog()
{
    std::lock_guard<std::mutex> guard(eventLog.lock);
    eventLog.events.clear();
    eventLog.standardError.clear();
    eventLog.echo = false;
    eventLog.observer = nullptr;
}

SimResetHook eventLogReset(ResetEventLog);

} // namespace

BOOL AppendEventLog(WORD type, LPCWSTR text)
{
    SimEvent event{SimNow(), type, EventLogText(text)};
    std::function<void(const SimEvent&)> observer;
    {
        std::lock_guard<std::mutex> guard(eventLog.lock);
        if (eventLog.echo)
            std::fprintf(stderr, "%.1f s %s: %s\n",
                         static_cast<double>(event.time) / simUnitsPerSecond, EventLogKind(type),
                         event.text.c_str());
        eventLog.events.push_back(event);
        observer = eventLog.observer;
    }
    if (observer)
        observer(event);
    return TRUE;
}

std::vector<SimEvent> SimEventLog()
{
    std::lock_guard<std::mutex> guard(eventLog.lock);
    return eventLog.events;
}

void SimEchoEventLog(bool echo)
{
    std::lock_guard<std::mutex> guard(eventLog.lock);
    eventLog.echo = echo;
}

void SimOnEventLogged(std::function<void(const SimEvent&)> observer)
{
    std::lock_guard<std::mutex> guard(eventLog.lock);
    eventLog.observer = std::move(observer);
}

BOOL WriteStandardErrorW(LPCWSTR text)
{
    std::lock_guard<std::mutex> guard(eventLog.lock);
    eventLog.standardError.push_back(EventLogText(text));
    if (eventLog.echo)
        std::fprintf(stderr, "%s\n", eventLog.standardError.back().c_str());
    return TRUE;
}

std::vector<std::string> SimStandardError()
{
    std::lock_guard<std::mutex> guard(eventLog.lock);
    return eventLog.standardError;
}
