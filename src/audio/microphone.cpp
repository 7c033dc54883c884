// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/capture.h"
#include "platform/eventlog.h"
#include "platform/strings.h"

// Transitions only: a device that stays missing is not logged again at
// every ten-second restart.
void ReportMicrophone()
{
    std::int32_t now = MicrophoneStatus();
    if (now == microphone.reported || now == MICROPHONE_UNKNOWN)
        return;
    if (now == MICROPHONE_LISTENING) {
        AppendEventLog(EVENTLOG_INFORMATION_TYPE, microphone.reported == MICROPHONE_FAILED
                                                      ? u"microphone recovered"
                                                      : u"microphone opened");
    } else {
        WCHAR error[128] = {};
        waveInGetErrorTextW(microphone.startResult, error, 128);
        WCHAR text[256] = {};
        wsprintfW(text, u"microphone failed: %s", error);
        AppendEventLog(EVENTLOG_ERROR_TYPE, text);
    }
    microphone.reported = now;
}
