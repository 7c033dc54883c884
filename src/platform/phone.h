// SPDX-License-Identifier: GPL-3.0-or-later
// The phone: places a voice call and reports what became of it.
//
// Guarantees to the caller, in every implementation:
// - PhoneMakeCall returns at once with the request's id (greater than 0,
//   never reused in the process); the call goes on without the caller, and
//   the request and its text need not outlive the call. A request without a
//   number is refused with 0 and nothing is reported for it.
// - Every request with an id ends with exactly one of PHONE_EVENT_ENDED,
//   PHONE_EVENT_FAILED or PHONE_EVENT_LOGGED, possibly after one
//   PHONE_EVENT_PLACED and then one PHONE_EVENT_ANSWERED; nothing is
//   reported for it after its last event.
//   Failures that show at once (no modem, a program that cannot start) are
//   reported as news too, never only through the result.
// - No request stays open for ever: the real phone hangs up a call that
//   nobody has answered within the ring timeout (PhoneSetRingTimeout) after
//   it was dialled, and one still connected after thirty minutes (a call
//   command is bounded by its timeout), and gives its last news then. The simulated phone plays
//   what its script says, a call that never ends included.
// - News is kept in order, oldest first, until taken with PhoneGetCallEvent.
//   Whenever news is added, the phone posts the registered message (wParam
//   and lParam 0) to the registered window; a message may find the news
//   already taken.
// - Everything here runs on the window thread; nothing waits for the
//   network, a modem or a program.
#pragma once

#include "platform/types.h"

constexpr DWORD PMCF_DEFAULT = 0x00000001;

struct PHONEMAKECALLINFO {
    DWORD cbSize;
    DWORD dwFlags;
    LPCWSTR pszDestAddress;
    LPCWSTR pszAppName;
    LPCWSTR pszCalledParty;
    LPCWSTR pszComment;
};

// What became of a request.
// PLACED: the call reached the other side (a modem's or a SIP call rings
// or is answered; a call command exited with status 0).
// ANSWERED: after PLACED, somebody took the call: a modem's call became
// active, a SIP call was established, a call command exited with status 0
// (the program's own judgement that its call got through).
// ENDED: a placed call is over, answered or not; reason is empty when the
// far end or the network ended it, and tells why when the phone hung up
// itself (nobody answered within the ring timeout, or still connected
// after its bound).
// FAILED: the call was never placed, or (after PLACED) it could carry no
// sound from the room (the sound could not be had); reason tells why.
// LOGGED: no call was attempted, the request was only written to the log;
// reason tells why.
constexpr DWORD PHONE_EVENT_PLACED = 1;
constexpr DWORD PHONE_EVENT_ENDED = 2;
constexpr DWORD PHONE_EVENT_FAILED = 3;
constexpr DWORD PHONE_EVENT_LOGGED = 4;
constexpr DWORD PHONE_EVENT_ANSWERED = 5;

constexpr int phoneReasonCapacity = 256;

struct PHONECALLEVENT {
    LONG callId;                       // as PhoneMakeCall returned it
    DWORD event;                       // PHONE_EVENT_*
    WCHAR reason[phoneReasonCapacity]; // short English text, or empty (see above)
};

// Where a call requested now would go.
constexpr DWORD PHONE_ROUTE_MODEM = 1;
constexpr DWORD PHONE_ROUTE_COMMAND = 2;
constexpr DWORD PHONE_ROUTE_LOG = 3;
constexpr DWORD PHONE_ROUTE_SIP = 4;
// No way to place a call is known: the phone was to find one by itself and
// has looked and found none, so a call now would only be logged. (Calls that
// are only logged because that was asked for are PHONE_ROUTE_LOG.)
constexpr DWORD PHONE_ROUTE_NONE = 5;

// What became of a short message on one of its channels (see
// PhoneSendMessage): SENT, reason naming the channel and the recipient
// ("SMS to +49 170 1234567"), or FAILED, reason naming the channel and why.
constexpr DWORD PHONE_EVENT_MESSAGE_SENT = 6;
constexpr DWORD PHONE_EVENT_MESSAGE_FAILED = 7;

LONG PhoneMakeCall(PHONEMAKECALLINFO* request);
// Sends `text` to `number` through every channel there is: the phone's own
// (an SMS through the modem, a SIP MESSAGE through baresip) and a notify
// command. Returns at once with the message's id (from the calls' series)
// under which each channel gives exactly one piece of news, SENT or FAILED,
// bounded as a call command is; 0 when there is no channel (nothing is
// reported then).
LONG PhoneSendMessage(LPCWSTR number, LPCWSTR text);
// Lets the messages still under way finish, for at most `milliseconds`
// (the program is ending); their news is queued as ever. Window thread.
void PhoneFinishMessages(DWORD milliseconds);
// TRUE when a call requested now could reach the parent as far as the
// phone knows without waiting: a usable modem was found at the last look,
// baresip is up and registered, a call command is chosen, or calls are
// only to be logged, as asked.
BOOL PhoneCanCall();
// Where the phone posts `message` when news waits; a null window stops the
// posting (the news is kept all the same).
void PhoneSetNotifyWindow(HWND window, UINT message);
// Takes the oldest news into *event; FALSE when there is none.
BOOL PhoneGetCallEvent(PHONECALLEVENT* event);
// PHONE_ROUTE_*, told from what the phone already knows, without waiting.
DWORD PhoneGetRoute();
// How long a call the phone dials from now on may go unanswered before it
// is hung up (ENDED with why), counted from the request; a call command
// keeps its own timeout. 120000 ms until set.
void PhoneSetRingTimeout(DWORD milliseconds);
