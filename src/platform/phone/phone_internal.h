// SPDX-License-Identifier: GPL-3.0-or-later
// Shared between the phone's front (phone.cpp) and its ModemManager backend.
#pragma once

#include <QString>

#include <functional>

#include "platform/types.h"

namespace phone_internal {

// One event-log line "phone: TEXT".
void WriteDiagnostic(WORD type, const QString& text);

// A bound as the log words it: "120 s", "1.5 s"; DurationText gives whole
// minutes as "30 minutes", anything else as SecondsText.
QString SecondsText(int milliseconds);
QString DurationText(int milliseconds);

// Queues news about request id and tells the registered window.
void ReportCall(LONG id, DWORD event, const QString& reason);

// Empty when the system bus can be reached, else why not.
QString SystemBusProblem();

// Asks ModemManager, without waiting, for a registered voice modem. done
// runs later on this thread with the modem's path, or with an empty path
// and what is missing.
using ModemFound = std::function<void(const QString& modemPath, const QString& problem)>;
void LookForModem(ModemFound done);

// Dials number through the modem, reporting PLACED, ENDED or FAILED for id.
void DialThroughModem(LONG id, const QString& number, const QString& modemPath);
// The bounds after which the modem's call is hung up: not answered since it
// was dialled, and connected.
void SetModemRingTimeout(int milliseconds);
void SetModemActiveLimit(int milliseconds);

// The SIP backend (sip.cpp). FindBaresip: false with a reason when baresip
// is not installed. StartSip: reads the account afresh and (re)starts
// baresip, logging what it finds. StopSip: ends baresip and its call.
bool FindBaresip(QString* problem);
void StartSip();
void StopSip();
// Dials number, reporting PLACED, ENDED or FAILED for id.
void CallThroughSip(LONG id, const QString& number);
void SetSipRingTimeout(int milliseconds);
void SetSipLongestCall(int milliseconds);

} // namespace phone_internal
