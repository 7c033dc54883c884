// SPDX-License-Identifier: GPL-3.0-or-later
// The text of one event-log line, as every platform writes it.
#pragma once

#include <string>

#include "platform/types.h"

// UTF-16 to UTF-8 on one line: control characters become \n, \r, \t or
// \xHH, a backslash becomes \\, and a lone surrogate becomes U+FFFD.
std::string EventLogText(LPCWSTR text);

// "info", "warning" or "error" for an EVENTLOG_* type.
const char* EventLogKind(WORD type);
