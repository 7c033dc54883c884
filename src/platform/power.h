// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping the device awake while the program needs it.
#pragma once

#include "platform/types.h"

using EXECUTION_STATE = DWORD;
constexpr EXECUTION_STATE ES_SYSTEM_REQUIRED = 0x00000001;
constexpr EXECUTION_STATE ES_CONTINUOUS = 0x80000000;

// Tells the system what the program needs from now on. With ES_CONTINUOUS
// the request lasts until the next such call: ES_CONTINUOUS |
// ES_SYSTEM_REQUIRED keeps the device from sleeping, neither by itself when
// idle nor when asked to, and ES_CONTINUOUS alone lets it sleep again. A call
// without ES_CONTINUOUS changes nothing. Returns the state in force before
// the call.
//
// Only the window thread calls it. It never waits for the system: the
// request is carried out after the call returns. When the system cannot keep
// the device awake, that is written to the event log once and the program
// goes on as before; the process's end releases whatever is held.
EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags);
