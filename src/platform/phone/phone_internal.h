// Shared between the phone's front (phone.cpp) and its ModemManager backend.
#pragma once

#include <QString>

namespace phone_internal {

// One line "phone: TEXT" on standard error, flushed.
void WriteDiagnostic(const QString& text);

// Asks ModemManager, waiting at most a few seconds, whether a registered
// voice modem exists; if not, *why tells what is missing.
bool HasUsableModem(QString* why);

// Starts the asynchronous chain list modems → CreateCall → Start. Returns
// false only when the chain cannot even begin (no system bus, no event loop).
bool StartModemManagerCall(const QString& number);

} // namespace phone_internal
