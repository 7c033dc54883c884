// SPDX-License-Identifier: GPL-3.0-or-later
// READY and the watchdog's ping to the service manager, through libsystemd.
// Without NOTIFY_SOCKET (not started by systemd, or not as Type=notify)
// sd_notify does nothing.
#include <systemd/sd-daemon.h>

#include "platform/service.h"

void ServiceReportReady()
{
    sd_notify(0, "READY=1");
}

void ServiceReportAlive()
{
    sd_notify(0, "WATCHDOG=1");
}
