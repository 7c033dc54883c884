// SPDX-License-Identifier: GPL-3.0-or-later
// Standard error and standard output, written by a thread of their own
// from a bounded queue each, so that a terminal stopped with Ctrl+S, a pipe
// nobody reads or a stuck journal never holds up the thread that reports.
// Lines that find a queue full (64 KiB waiting) are dropped, and once the
// stream takes lines again it is told how many, after the line they
// followed. At an ordinary exit what waits is written, for at most two
// seconds.
#pragma once

#include <string>

// One whole line, newline included. False when it was dropped.
bool QueueStandardError(std::string line);
bool QueueStandardOutput(std::string line);

// Writes all of `bytes` to `fd`, as long as that takes; false when the
// descriptor fails (the event log's file uses it too).
bool WriteAll(int fd, const std::string& bytes);

// Waits up to `milliseconds` until both queues are written out; false when
// a stream did not take its lines in that time.
bool FlushStandardStreams(int milliseconds);
