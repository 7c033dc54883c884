// SPDX-License-Identifier: GPL-3.0-or-later
// The event log: what the program did and what went wrong, one line per
// event, for the parent who wants to know the morning after.
//
// Guarantees to the caller:
// - Each line carries the local time it was reported at (ISO 8601 with the
//   zone's offset), the kind of event and the text.
// - Control characters in the text (and the backslash) are escaped, so one
//   event is always exactly one line, whatever a stored value holds.
// - The real log goes to standard error (so that a service manager's journal
//   keeps it) and is appended to a file that survives restarts and is kept
//   under a fixed size by rotating one old file; a file that cannot be
//   written costs that copy only. The simulated log keeps the events in
//   memory (sim_eventlog.h).
// - Standard error never holds up the caller: a stopped terminal, a pipe
//   nobody reads or a stuck journal costs standard error its lines (they
//   are dropped there and counted once it takes lines again), never the
//   file its record. At an ordinary exit the lines still waiting are
//   written, for a couple of seconds at most.
// - Any thread may report; lines never interleave.
#pragma once

#include "platform/types.h"

constexpr WORD EVENTLOG_ERROR_TYPE = 0x0001;
constexpr WORD EVENTLOG_WARNING_TYPE = 0x0002;
constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x0004;

// Appends one event. FALSE when no copy of it could be kept.
BOOL AppendEventLog(WORD type, LPCWSTR text);

// Standard error alone, not the log: one line, unstamped, for a user who
// reads a terminal or a service's journal instead of the screen. Control
// characters are escaped as in the log, lines never interleave with the
// log's, and the caller never waits for it, as above (FALSE: dropped). The
// simulated one keeps the lines (sim_eventlog.h).
BOOL WriteStandardErrorW(LPCWSTR text);
