// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated phone's controls, for tests and the tools.
//
// Each request gets an id and an outcome from a script: the outcomes queued
// with SimQueueCallOutcome, one per request in order, then the default
// outcome (placed and ended at once unless set). The news arrives on the
// virtual clock (SimAt) and is posted to the registered window.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/sim.h"

struct SimCall {
    SimTime time;
    std::u16string number;
    DWORD flags;
    DWORD size;
    LONG id; // as PhoneMakeCall returned it
};
// Every request, in order.
std::vector<SimCall> SimCalls();
// How many there are, without copying them.
std::size_t SimCallCount();

enum class SimCallResult { Placed, Failed, Logged };

constexpr SimTime simCallForever = -1; // a placed call that only SimHangUp ends

// A placed call that is answered is ANSWERED at once after PLACED. One that
// is not rings for activeFor, then the far end hangs up (ENDED); when that
// would come after the ring timeout (PhoneSetRingTimeout, from the
// request), the phone hangs up then, ENDED "not answered within N s, hung
// up".
struct SimCallOutcome {
    SimCallResult result = SimCallResult::Placed;
    SimTime after = 0;     // from the request to PLACED, FAILED or LOGGED
    SimTime activeFor = 0; // Placed: from PLACED to ENDED, or simCallForever
    std::u16string reason; // Failed and Logged; Placed: of its end (empty unless hung up)
    bool answered = true;  // Placed: somebody takes the call
};
void SimQueueCallOutcome(const SimCallOutcome& outcome);
void SimSetDefaultCallOutcome(const SimCallOutcome& outcome);
// Ends a placed call now, as the far end hanging up would; false when the
// call is not placed or already over.
bool SimHangUp(LONG id);
// Requests whose last news has not come yet.
int SimCallsOutstanding();
// The ring timeout PhoneSetRingTimeout set, in milliseconds.
DWORD SimRingTimeout();
// What PhoneGetRoute answers; PHONE_ROUTE_MODEM until set.
void SimSetPhoneRoute(DWORD route);

struct SimCallNews {
    SimTime time;
    LONG id;
    DWORD event; // PHONE_EVENT_*
    std::u16string reason;
};
// Every piece of news the phone gave of calls, in order.
std::vector<SimCallNews> SimPhoneNews();

// Short messages: every one is kept; each of the channels set gives its
// news on the virtual clock, SENT unless the channel is set to fail.
struct SimMessage {
    SimTime time;
    std::u16string number;
    std::u16string text;
    LONG id; // as PhoneSendMessage returned it
};
std::vector<SimMessage> SimMessages();
struct SimMessageChannel {
    std::u16string name; // the channel as its news names it ("SMS to NUMBER" is built)
    bool fails = false;  // FAILED with "NAME: refused" instead of SENT
    SimTime after = 0;   // from the request to its news
};
// The channels messages go through; none until set (PhoneSendMessage 0).
void SimSetMessageChannels(const std::vector<SimMessageChannel>& channels);
// What PhoneCanCall answers; TRUE until set.
void SimSetPhoneCanCall(bool canCall);
