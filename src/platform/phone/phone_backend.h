// Chooses how PhoneMakeCall places its calls. Called by the program's start-up
// on the window thread, before the first call; not thread-safe.
//
//   "modemmanager"    a voice call through ModemManager on the system bus.
//                     Needs a running Qt event loop on the thread that calls
//                     PhoneMakeCall: every D-Bus step is asynchronous, and
//                     progress and failures go to standard error.
//   "command:PROGRAM" starts PROGRAM with the number as its one argument,
//                     without a shell; PROGRAM is a path or a name on PATH.
//   "log"             writes "YYYY-MM-DD hh:mm:ss call: NUMBER" to standard
//                     output.
#pragma once

#include <string>

// Selects the backend named by choice. Returns false, leaving the choice as it
// was, and sets *error (when error is not null) for an unknown name or a
// command that cannot be found or run.
bool SetPhoneBackend(const char* choice, std::string* error);

// Selects modemmanager when ModemManager lists a modem with voice support
// that is registered (State >= 8), otherwise log, announced by one line on
// standard error. Asks the system bus once and waits for the answer (at most
// a few seconds): call it at start-up, not while monitoring. PhoneMakeCall
// runs it itself when no backend has been chosen yet.
void ChooseDefaultPhoneBackend();

// "modemmanager", "command", "log", or "none" before any choice.
const char* PhoneBackendName();
