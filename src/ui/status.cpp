// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/gdi.h"
#include "platform/phone.h"
#include "platform/strings.h"
#include "resources/ids.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/layout.h"
#include "ui/ui.h"

StatusScreen statusScreen;

constexpr int statusLineCount = screenLayout.statusLineCount;

static bool SameStatus(const StatusScreen& a, const StatusScreen& b)
{
    return a.language == b.language && a.microphone == b.microphone && a.route == b.route &&
           a.callsMade == b.callsMade && a.outcome == b.outcome && a.hour == b.hour &&
           a.minute == b.minute && a.routeWarned == b.routeWarned &&
           a.limitReached == b.limitReached && a.maxCalls == b.maxCalls &&
           a.answered == b.answered && a.callId == b.callId;
}

// Without a way to call the line reads as for calls only logged, until an
// unattended start has warned of it: then it says so loudly.
static UINT RouteStringId(DWORD route, std::int32_t warned)
{
    switch (route) {
    case PHONE_ROUTE_NONE:
        return warned != 0 ? strNoWayToCall : strRouteLogged;
    case PHONE_ROUTE_MODEM:
        return strRouteModem;
    case PHONE_ROUTE_COMMAND:
        return strRouteCommand;
    case PHONE_ROUTE_SIP:
        return strRouteSip;
    default:
        return strRouteLogged;
    }
}

// Once over, a placed call was answered or not; while it lasts, an answered
// one says so at once.
static UINT OutcomeStringId(std::int32_t outcome, std::int32_t answered)
{
    switch (outcome) {
    case CALL_REQUESTED:
        return strCallRequested;
    case CALL_PLACED:
        return answered != 0 ? strCallAnswered : strCallInProgress;
    case CALL_ENDED:
        return answered != 0 ? strCallAnswered : strCallNotAnswered;
    case CALL_FAILED:
        return strCallFailedBecause;
    default:
        return strCallLogged;
    }
}

static void LoadStatusLine(UINT id, WCHAR (&line)[256])
{
    LoadLocalString(shell.appInstance, id, line, 255);
}

// The microphone; where calls go; calls in this run, or the call limit once
// it allows no more; the last call's time and what became of it.
static void ComposeStatus(const StatusScreen& status, WCHAR (&lines)[statusLineCount][256])
{
    WCHAR format[256] = {};
    LoadStatusLine(status.microphone == MICROPHONE_LISTENING ? strMicrophoneListening
                                                             : strMicrophoneUnavailable,
                   lines[0]);
    LoadStatusLine(RouteStringId(status.route, status.routeWarned), lines[1]);
    LoadStatusLine(status.limitReached != 0 ? strCallLimitReached : strCallsThisRun, format);
    wsprintfW(lines[2], format, status.limitReached != 0 ? status.maxCalls : status.callsMade);
    if (status.outcome == CALL_NONE)
        return;
    format[0] = u'\0';
    LoadStatusLine(strLastCall, format);
    wsprintfW(lines[3], format, status.hour, status.minute);
    // The line cuts a long reason off anyway; the text stays within the line.
    WCHAR reason[128] = {};
    for (int i = 0; i < 127 && phoneCall.reason[i] != u'\0'; ++i)
        reason[i] = phoneCall.reason[i];
    LoadStatusLine(OutcomeStringId(status.outcome, status.answered), format);
    wsprintfW(lines[4], format, reason);
}

void PaintStatus(HWND window)
{
    StatusScreen now{1,
                     settings.Language,
                     MicrophoneStatus(),
                     PhoneGetRoute(),
                     monitor.callsMade,
                     phoneCall.outcome,
                     phoneCall.hour,
                     phoneCall.minute,
                     phoneCall.routeWarning == ROUTE_WARNING_GIVEN ? 1 : 0,
                     monitor.monitoring == 1 && monitor.callsMade >= settings.PhoneMaxCalls ? 1 : 0,
                     settings.PhoneMaxCalls,
                     phoneCall.answered,
                     phoneCall.callId};
    if (statusScreen.shown == 1 && SameStatus(now, statusScreen))
        return;
    statusScreen = now;
    WCHAR lines[statusLineCount][256] = {};
    ComposeStatus(now, lines);

    HDC dc = GetDC(window);
    RECT client;
    GetClientRect(window, &client);
    SetBkColor(dc, backgroundColour);
    HBRUSH background = CreateSolidBrush(backgroundColour);
    for (int i = 0; i < statusLineCount; ++i) {
        const ScreenLayout& at = screenLayout;
        RECT line{client.left + at.statusLeft, at.statusTop + at.statusLineHeight * i,
                  client.right - at.statusFromRight, at.statusTop + at.statusLineHeight * (i + 1)};
        FillRect(dc, &line, background);
        if (lines[i][0] != u'\0')
            DrawTextW(dc, lines[i], -1, &line, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    DeleteObject(background);
    ReleaseDC(window, dc);
}
