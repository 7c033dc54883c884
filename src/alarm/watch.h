// SPDX-License-Identifier: GPL-3.0-or-later
// Word to the parent when the monitor stops watching (the microphone
// silent, no way to call, the program ending) and when it watches again,
// and the heartbeat for what the monitor cannot report itself. This room
// decides; the messages and the beats go through the platform.
#pragma once

#include "platform/types.h"

// How long a fault lasts before the parent is told, and how often one kind
// of message may go at most.
constexpr std::int32_t microphoneSilentSeconds = 60;
constexpr std::int32_t callsImpossibleSeconds = 5 * 60;
constexpr std::int32_t messageKindSeconds = 30 * 60;
// A microphone that delivered nothing for this long is not healthy enough
// for a heartbeat.
constexpr std::int32_t heartbeatSilenceSeconds = 3;
// How long the program's end waits for its message to go out.
constexpr DWORD endingMessageWaitMs = 10000;

// The kinds of message, each with its text (a German string id); a
// fault's end is the kind after it.
constexpr std::int32_t WORD_MICROPHONE_SILENT = 0;
constexpr std::int32_t WORD_MICROPHONE_BACK = 1;
constexpr std::int32_t WORD_CALLS_IMPOSSIBLE = 2;
constexpr std::int32_t WORD_CALLS_BACK = 3;
constexpr std::int32_t WORD_MONITORING_ENDED = 4;
constexpr std::int32_t WORD_MONITORING_ON = 5;
constexpr std::int32_t wordKindCount = 6;

// Window thread only.
struct WatchState {
    std::int32_t seconds;        // seconds counted by the tick since the program started
    std::uint32_t buffersSeen;   // capture.fullBuffers a second ago
    std::int32_t silentSeconds;  // seconds without a full buffer while monitoring
    std::int32_t heardAt;        // the second a full buffer last came in; -1: not since Start
    std::int32_t noCallSeconds;  // seconds the phone could not call while monitoring
    std::int32_t microphoneTold; // 1: the parent was told that the microphone is silent
    std::int32_t callsTold;      // 1: the parent was told that no call can be placed
    std::int32_t heartbeatWait;  // seconds before the next heartbeat; <= 0: at once
    // When each kind may go again (seconds as above); 0: at once.
    std::int32_t allowedFrom[wordKindCount];
    LONG messageIds[wordKindCount]; // each kind's last message, to name its news
};

extern WatchState watch;

// Once a second from the tick: the microphone's and the phone's state, the
// messages that are due, and the heartbeat.
void WatchEverySecond();
// At Start: the watch begins afresh, and with NotifyStart the parent hears
// that monitoring is on.
void TellMonitoringOn();
// The program is ending while monitoring is on: tells the parent, waits a
// while for the message to go out and logs its news.
void TellMonitoringEnds();
// The news of a message (PHONE_EVENT_MESSAGE_*), for the event log.
void LogMessageNews(LONG id, DWORD event, LPCWSTR reason);
