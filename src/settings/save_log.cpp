// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/eventlog.h"
#include "platform/strings.h"
#include "settings/settings.h"

void LogSaveResult(LONG result)
{
    if (result == ERROR_SUCCESS) {
        AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"settings saved");
        return;
    }
    WCHAR line[128];
    wsprintfW(line, u"settings not saved: %s (error %d)", SaveFailureLogWords(result), result);
    AppendEventLog(EVENTLOG_ERROR_TYPE, line);
}
