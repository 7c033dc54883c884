// SPDX-License-Identifier: GPL-3.0-or-later
// The phone: every request is kept, and its outcome comes from a script.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>

#include "platform/phone.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_phone.h"
#include "platform/window.h"

namespace {

struct SimCallProgress {
    bool placed = false;
    bool over = false;
};

struct SimPhoneState {
    std::vector<SimCall> calls;
    std::deque<SimCallOutcome> queued;
    SimCallOutcome fallback;
    std::map<LONG, SimCallProgress> progress;
    std::deque<PHONECALLEVENT> news;
    std::vector<SimCallNews> history;
    HWND notifyWindow = nullptr;
    UINT notifyMessage = 0;
    DWORD route = PHONE_ROUTE_MODEM;
    DWORD ringTimeoutMs = 120000;
    LONG nextId = 1;
    std::vector<SimMessage> messages;
    std::vector<SimMessageChannel> channels;
    bool canCall = true;
};

SimPhoneState phone;

void ResetPhone()
{
    phone = SimPhoneState{};
}

SimResetHook phoneReset(ResetPhone);

void Queue(LONG id, DWORD event, const std::u16string& reason)
{
    PHONECALLEVENT news{};
    news.callId = id;
    news.event = event;
    for (std::size_t i = 0; i < reason.size() && i + 1 < phoneReasonCapacity; ++i)
        news.reason[i] = reason[i];
    phone.news.push_back(news);
    if (phone.notifyWindow != nullptr)
        PostMessageW(phone.notifyWindow, phone.notifyMessage, 0, 0);
}

void Report(LONG id, DWORD event, const std::u16string& reason)
{
    SimCallProgress& progress = phone.progress[id];
    if (progress.over)
        return;
    progress.placed = progress.placed || event == PHONE_EVENT_PLACED;
    progress.over = event != PHONE_EVENT_PLACED && event != PHONE_EVENT_ANSWERED;
    phone.history.push_back(SimCallNews{SimNow(), id, event, reason});
    Queue(id, event, reason);
}

// Runs `action` `delay` from now: at once for no delay.
void Later(SimTime delay, std::function<void()> action)
{
    if (delay <= 0)
        action();
    else
        SimAt(SimNow() + delay, std::move(action));
}

// Rings until the far end hangs up or the ring timeout (from the request).
void Ring(LONG id, const SimCallOutcome& outcome)
{
    const DWORD bound = phone.ringTimeoutMs;
    const SimTime ringFor = std::max<SimTime>(
        0, static_cast<SimTime>(bound) * simUnitsPerSecond / 1000 - outcome.after);
    if (outcome.activeFor != simCallForever && outcome.activeFor < ringFor) {
        Later(outcome.activeFor, [id, outcome] { Report(id, PHONE_EVENT_ENDED, outcome.reason); });
        return;
    }
    Later(ringFor, [id, bound] {
        char text[64];
        std::snprintf(text, sizeof text, "not answered within %g s, hung up", bound / 1000.0);
        Report(id, PHONE_EVENT_ENDED, std::u16string(text, text + std::strlen(text)));
    });
}

void Play(LONG id, const SimCallOutcome& outcome)
{
    Later(outcome.after, [id, outcome] {
        switch (outcome.result) {
        case SimCallResult::Failed:
            Report(id, PHONE_EVENT_FAILED, outcome.reason);
            return;
        case SimCallResult::Logged:
            Report(id, PHONE_EVENT_LOGGED, outcome.reason);
            return;
        case SimCallResult::Placed:
            Report(id, PHONE_EVENT_PLACED, u"");
            if (!outcome.answered) {
                Ring(id, outcome);
                return;
            }
            Report(id, PHONE_EVENT_ANSWERED, u"");
            if (outcome.activeFor != simCallForever)
                Later(outcome.activeFor,
                      [id, outcome] { Report(id, PHONE_EVENT_ENDED, outcome.reason); });
            return;
        }
    });
}

} // namespace

LONG PhoneMakeCall(PHONEMAKECALLINFO* request)
{
    if (request == nullptr || request->pszDestAddress == nullptr ||
        request->pszDestAddress[0] == u'\0')
        return 0;
    LONG id = phone.nextId++;
    // The caller's text need not outlive the call: keep a copy.
    phone.calls.push_back(
        SimCall{SimNow(), request->pszDestAddress, request->dwFlags, request->cbSize, id});
    phone.progress[id] = SimCallProgress{};
    SimCallOutcome outcome = phone.fallback;
    if (!phone.queued.empty()) {
        outcome = phone.queued.front();
        phone.queued.pop_front();
    }
    Play(id, outcome);
    return id;
}

LONG PhoneSendMessage(LPCWSTR number, LPCWSTR text)
{
    if (number == nullptr || number[0] == u'\0' || text == nullptr || phone.channels.empty())
        return 0;
    const LONG id = phone.nextId++;
    phone.messages.push_back(SimMessage{SimNow(), number, text, id});
    for (const SimMessageChannel& channel : phone.channels) {
        const std::u16string name = channel.name + u" to " + number;
        Later(channel.after, [id, name, fails = channel.fails] {
            if (fails)
                Queue(id, PHONE_EVENT_MESSAGE_FAILED, name + u": refused");
            else
                Queue(id, PHONE_EVENT_MESSAGE_SENT, name);
        });
    }
    return id;
}

// News on the virtual clock comes by its time or not at all: nothing to wait for.
void PhoneFinishMessages(DWORD) {}

BOOL PhoneCanCall()
{
    return phone.canCall ? TRUE : FALSE;
}

void PhoneSetNotifyWindow(HWND window, UINT message)
{
    phone.notifyWindow = window;
    phone.notifyMessage = message;
}

BOOL PhoneGetCallEvent(PHONECALLEVENT* event)
{
    if (event == nullptr || phone.news.empty())
        return FALSE;
    *event = phone.news.front();
    phone.news.pop_front();
    return TRUE;
}

DWORD PhoneGetRoute()
{
    return phone.route;
}

void PhoneSetRingTimeout(DWORD milliseconds)
{
    phone.ringTimeoutMs = milliseconds;
}

DWORD SimRingTimeout()
{
    return phone.ringTimeoutMs;
}

std::vector<SimCall> SimCalls()
{
    return phone.calls;
}

std::size_t SimCallCount()
{
    return phone.calls.size();
}

void SimQueueCallOutcome(const SimCallOutcome& outcome)
{
    phone.queued.push_back(outcome);
}

void SimSetDefaultCallOutcome(const SimCallOutcome& outcome)
{
    phone.fallback = outcome;
}

bool SimHangUp(LONG id)
{
    auto found = phone.progress.find(id);
    if (found == phone.progress.end() || !found->second.placed || found->second.over)
        return false;
    Report(id, PHONE_EVENT_ENDED, u"");
    return true;
}

int SimCallsOutstanding()
{
    int outstanding = 0;
    for (const auto& entry : phone.progress)
        outstanding += entry.second.over ? 0 : 1;
    return outstanding;
}

void SimSetPhoneRoute(DWORD route)
{
    phone.route = route;
}

std::vector<SimCallNews> SimPhoneNews()
{
    return phone.history;
}

std::vector<SimMessage> SimMessages()
{
    return phone.messages;
}

void SimSetMessageChannels(const std::vector<SimMessageChannel>& channels)
{
    phone.channels = channels;
}

void SimSetPhoneCanCall(bool canCall)
{
    phone.canCall = canCall;
}
