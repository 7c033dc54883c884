// SPDX-License-Identifier: GPL-3.0-or-later
// The service manager and the heartbeat's server: what reaches them is
// recorded on the virtual clock; every beat is answered.
#include "platform/service.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_service.h"

namespace {

struct SimServiceState {
    SimTime ready = -1;
    SimTime lastAlive = -1;
    long aliveCount = 0;
    DWORD heartbeatInterval = 0;
    std::vector<SimTime> heartbeats;
};

SimServiceState service;

void ResetService()
{
    service = SimServiceState{};
}

SimResetHook serviceReset(ResetService);

} // namespace

void ServiceReportReady()
{
    if (service.ready < 0)
        service.ready = SimNow();
}

void ServiceReportAlive()
{
    service.lastAlive = SimNow();
    ++service.aliveCount;
}

DWORD HeartbeatGetInterval()
{
    return service.heartbeatInterval;
}

void HeartbeatSend()
{
    if (service.heartbeatInterval != 0)
        service.heartbeats.push_back(SimNow());
}

SimTime SimServiceReadyTime()
{
    return service.ready;
}

SimTime SimServiceLastAlive()
{
    return service.lastAlive;
}

long SimServiceAliveCount()
{
    return service.aliveCount;
}

void SimSetHeartbeatInterval(DWORD seconds)
{
    service.heartbeatInterval = seconds;
}

std::vector<SimTime> SimHeartbeats()
{
    return service.heartbeats;
}
