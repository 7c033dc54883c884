// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/eventlog.h"
#include "platform/strings.h"
#include "platform/window.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/ui.h"

void TellUserText(HWND window, LPCWSTR text, UINT style)
{
    if (shell.unattendedStart == 0) {
        MessageBoxW(window, text, shell.appTitle, style);
        return;
    }
    WCHAR line[1024];
    wsprintfW(line, u"%s: %s", shell.appTitle, text);
    WriteStandardErrorW(line);
}

void TellUser(HWND window, UINT stringId, UINT style)
{
    WCHAR text[256] = {};
    LoadLocalString(shell.appInstance, stringId, text, 255);
    TellUserText(window, text, style);
}
