// SPDX-License-Identifier: GPL-3.0-or-later
// Shared between the phone's front (phone.cpp) and its backends: the record
// of operations each backend fills in, and the helpers they all use.
#pragma once

#include <QString>

#include "platform/types.h"

namespace phone_internal {

// One way of placing calls, as SetPhoneBackend chooses it (phone_backend.h
// tells what each one does). Everything here runs on the window thread and
// returns without waiting.
struct PhoneBackendOps {
    // The choice that names it: the whole text, or (ending in ':') its
    // beginning, with the backend's argument after it.
    const char* choice;
    // As the list of choices shows it ("command:PROGRAM").
    const char* shown;
    // As PhoneBackendName tells it.
    const char* name;
    // Takes the argument and checks what the backend needs; false with
    // why, keeping nothing, when it cannot be used. Null when anything will do.
    bool (*choose)(const QString& argument, QString* problem);
    // StartPhoneBackend while it is chosen: tells the event log where calls
    // go and gets ready what calls need.
    void (*start)();
    // StartPhoneBackend of another choice: hangs up its call (with its last
    // news) and ends what it runs. Null when nothing of it outlives its choice.
    void (*stop)();
    // PhoneMakeCall: places the call, giving all its news (also a failure
    // that shows at once) through ReportCall under `id`.
    void (*dial)(LONG id, const QString& number);
    // PhoneGetRoute: PHONE_ROUTE_*.
    DWORD (*route)();
    // PhoneSendMessage through the backend's own channel: one
    // PHONE_EVENT_MESSAGE_SENT or _FAILED through ReportCall under `id`.
    // Null when it has none.
    void (*message)(LONG id, const QString& number, const QString& text);
    // PhoneCanCall, without waiting.
    bool (*ready)();
};

// The backends, each in a file of its own; phone.cpp's table lists them.
extern const PhoneBackendOps automaticBackend;    // modemmanager.cpp
extern const PhoneBackendOps modemManagerBackend; // modemmanager.cpp
extern const PhoneBackendOps commandBackend;      // command.cpp
extern const PhoneBackendOps sipBackend;          // sip.cpp
extern const PhoneBackendOps logBackend;          // logged.cpp

// The program as it will be started (a path, or a name on PATH), or empty
// when it cannot be run (command.cpp).
QString ResolveProgram(const QString& program);

// The notify command's part of PhoneSendMessage (notify.cpp): false when
// none is set; else one piece of news under `id`, as a channel gives it.
bool RunNotifyCommand(LONG id, const QString& text);
// Ends what notify commands still run (the program is ending).
void KillNotifyCommands();

// One event-log line "phone: TEXT".
void WriteDiagnostic(WORD type, const QString& text);

// A bound as the log words it: "120 s", "1.5 s"; DurationText gives whole
// minutes as "30 minutes", anything else as SecondsText.
QString SecondsText(int milliseconds);
QString DurationText(int milliseconds);
// Why a call that rang was hung up: "not answered within 45 s, hung up".
QString UnansweredText(int milliseconds);

// Queues news about request id and tells the registered window.
void ReportCall(LONG id, DWORD event, const QString& reason);

// "YYYY-MM-DD hh:mm:ss call only logged, not placed: NUMBER" on standard
// output (logged.cpp).
void PrintOnlyLogged(const QString& number);

} // namespace phone_internal
