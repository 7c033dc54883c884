// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>

#include "audio/calibration.h"
#include "audio/capture.h"
#include "platform/dialog.h"
#include "platform/resource.h"
#include "platform/strings.h"
#include "resources/ids.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/ui.h"

int InitDialogFrame(HWND dialog, UINT menuBarId, LPCWSTR caption)
{
    SHINITDLGINFO frame{};
    frame.dwMask = SHIDIM_FLAGS;
    frame.hDlg = dialog;
    frame.dwFlags = SHIDIF_SIZEDLGFULLSCREEN;
    if (!SHInitDialog(&frame))
        return 0;
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    bar.hwndParent = dialog;
    bar.dwFlags = 0;
    bar.nToolBarId = menuBarId;
    bar.hInstRes = shell.appInstance;
    if (!SHCreateMenuBar(&bar))
        return 0;
    SetWindowTextW(dialog, caption);
    // Escape/Back goes to the dialog as WM_HOTKEY instead of closing it.
    constexpr LPARAM passOn = SHMBOF_NODEFAULT | SHMBOF_NOTIFY;
    SendMessageW(bar.hwndMB, SHCMBM_OVERRIDEKEY, VK_ESCAPE, (passOn << 16) | passOn);
    return 1;
}

// Caption and menu bar in the current language (German for an unknown
// one, only from an edited store, so OK and Cancel always exist).
static void StartDialog(HWND dialog)
{
    WCHAR caption[256] = {};
    LoadStringW(shell.appInstance, strAppTitle, caption, 255);
    InitDialogFrame(dialog, CurrentLanguage().dialogMenuBar, caption);
}

static void SetLabel(HWND dialog, int id, UINT stringId)
{
    WCHAR text[256] = {};
    LoadLocalString(shell.appInstance, stringId, text, 255);
    SetDlgItemTextW(dialog, id, text);
}

// Escape (a phone's Back key) deletes in a text box; anywhere else it
// leaves the dialog as Cancel does.
static LRESULT PassBackKey(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(static_cast<WPARAM>(lParam)) != VK_ESCAPE)
        return 0;
    if (!SHSendBackToFocusWindow(message, wParam, lParam))
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return 1;
}

// Microphone dialog. The three percentages and the cry check change live;
// Cancel and close put back what they were when the dialog opened, so that a
// cancelled change is never saved by a later dialog. Calibrate listens to
// the room through the running capture and then sets the bars.
struct MicrophoneDialogState {
    std::int32_t volSensi, volThresh, cryThresh, cryCheck; // as the dialog opened
    std::int32_t listening;                                // 1 while calibration listens
    std::int32_t waitedMs;                                 // how long it has listened
    std::int32_t calibrated; // 1 once it heard the room: the check box calibrates anew
};
static MicrophoneDialogState micOpened;

constexpr UINT_PTR calibrationTimer = 1;
constexpr UINT calibrationPollMs = 500;
// A microphone that gives no sound is not waited for long after the time.
constexpr std::int32_t calibrationWaitMs = (calibrationDefaultSeconds + 5) * 1000;

static void ShowMicrophoneBars(HWND dialog)
{
    SendDlgItemMessageW(dialog, ctlVolSensiBar, PBM_SETPOS, static_cast<WPARAM>(settings.VolSensi),
                        0);
    SendDlgItemMessageW(dialog, ctlVolThreshBar, PBM_SETPOS,
                        static_cast<WPARAM>(settings.VolThresh), 0);
    SendDlgItemMessageW(dialog, ctlCryThreshBar, PBM_SETPOS,
                        static_cast<WPARAM>(settings.CryThresh), 0);
}

static void ShowMicrophoneSettings(HWND dialog)
{
    SetLabel(dialog, ctlMicrophoneGroup, strMicrophone);
    SetLabel(dialog, ctlSensitivityLabel, strSensitivity);
    SetLabel(dialog, ctlVolThreshLabel, strThreshold);
    SetLabel(dialog, ctlCallingGroup, strCalling);
    SetLabel(dialog, ctlCryThreshLabel, strThreshold);
    ShowMicrophoneBars(dialog);
    SetLabel(dialog, ctlRoomGroup, strRoom);
    SetLabel(dialog, ctlCryCheckBox, strCryCheck);
    SetLabel(dialog, ctlCalibrateButton, strCalibrate);
    SendDlgItemMessageW(dialog, ctlCryCheckBox, BM_SETCHECK,
                        settings.CryCheck == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    micOpened = {
        settings.VolSensi, settings.VolThresh, settings.CryThresh, settings.CryCheck, 0, 0, 0};
}

static void ShowCalibrationStatus(HWND dialog, UINT stringId, int number)
{
    WCHAR format[256] = {}, text[300] = {};
    LoadLocalString(shell.appInstance, stringId, format, 255);
    wsprintfW(text, format, number);
    SetDlgItemTextW(dialog, ctlCalibrationStatus, text);
}

static void StopCalibration(HWND dialog)
{
    if (micOpened.listening == 1)
        KillTimer(dialog, calibrationTimer);
    micOpened.listening = 0;
    ListenToRoom(0);
}

static void StartCalibration(HWND dialog)
{
    if (MicrophoneStatus() != MICROPHONE_LISTENING) {
        ShowCalibrationStatus(dialog, strMicrophoneUnavailable, 0);
        return;
    }
    ListenToRoom(CalibrationBlocks(calibrationDefaultSeconds));
    if (micOpened.listening == 0)
        SetTimer(dialog, calibrationTimer, calibrationPollMs, nullptr);
    micOpened.listening = 1;
    micOpened.waitedMs = 0;
    ShowCalibrationStatus(dialog, strCalibrating, calibrationDefaultSeconds);
}

// The bars from what was heard, for the cry check as the box has it now;
// a refusal says why and leaves them.
static void ApplyCalibration(HWND dialog)
{
    Calibration found;
    CalibrateHeardRoom(settings.CryCheck == 1, &found);
    micOpened.calibrated = 1;
    switch (found.outcome) {
    case CALIBRATION_OK:
        settings.VolSensi = found.VolSensi;
        settings.VolThresh = found.VolThresh;
        settings.CryThresh = found.CryThresh;
        ShowMicrophoneBars(dialog);
        ShowCalibrationStatus(dialog, strCalibrated, static_cast<int>(std::lround(found.roomDbfs)));
        return;
    case CALIBRATION_SILENT:
        ShowCalibrationStatus(dialog, strCalibrationSilent, 0);
        return;
    case CALIBRATION_TOO_LOUD:
        ShowCalibrationStatus(dialog, strCalibrationTooLoud, 0);
        return;
    default:
        ShowCalibrationStatus(dialog, strCalibrationTooShort, 0);
        return;
    }
}

static void FollowCalibration(HWND dialog)
{
    if (micOpened.listening == 0)
        return;
    micOpened.waitedMs += static_cast<std::int32_t>(calibrationPollMs);
    if (!RoomHeard() && micOpened.waitedMs < calibrationWaitMs)
        return;
    KillTimer(dialog, calibrationTimer);
    micOpened.listening = 0;
    ApplyCalibration(dialog);
}

static void TakeCryCheckBox(HWND dialog)
{
    LRESULT state = SendDlgItemMessageW(dialog, ctlCryCheckBox, BM_GETCHECK, 0, 0);
    settings.CryCheck = state == static_cast<LRESULT>(BST_CHECKED) ? 1 : 0;
    // The line sits elsewhere with the check: the room heard is judged anew.
    if (micOpened.calibrated == 1 && micOpened.listening == 0)
        ApplyCalibration(dialog);
}

// Only the bound the step moves towards applies: a stored 150 comes down by
// 5 per press of "-".
static void StepPercentage(HWND dialog, std::int32_t* field, int progressId, int step)
{
    std::int32_t value = *field + step;
    if (step < 0 && value < 0)
        value = 0;
    if (step > 0 && value > 100)
        value = 100;
    *field = value;
    SendDlgItemMessageW(dialog, progressId, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

static void CancelMicrophoneDialog(HWND dialog)
{
    StopCalibration(dialog);
    settings.VolSensi = micOpened.volSensi;
    settings.VolThresh = micOpened.volThresh;
    settings.CryThresh = micOpened.cryThresh;
    settings.CryCheck = micOpened.cryCheck;
    EndDialog(dialog, -1);
}

static LRESULT MicrophoneCommand(HWND dialog, WORD id)
{
    switch (id) {
    case IDCANCEL:
        CancelMicrophoneDialog(dialog);
        return 1;
    case IDOK:
        StopCalibration(dialog);
        EndDialog(dialog, 0);
        return 1;
    case ctlCryCheckBox:
        TakeCryCheckBox(dialog);
        return 1;
    case ctlCalibrateButton:
        StartCalibration(dialog);
        return 1;
    case ctlVolSensiLess:
        StepPercentage(dialog, &settings.VolSensi, ctlVolSensiBar, -5);
        return 1;
    case ctlVolSensiMore:
        StepPercentage(dialog, &settings.VolSensi, ctlVolSensiBar, 5);
        return 1;
    case ctlVolThreshLess:
        StepPercentage(dialog, &settings.VolThresh, ctlVolThreshBar, -5);
        return 1;
    case ctlVolThreshMore:
        StepPercentage(dialog, &settings.VolThresh, ctlVolThreshBar, 5);
        return 1;
    case ctlCryThreshLess:
        StepPercentage(dialog, &settings.CryThresh, ctlCryThreshBar, -5);
        return 1;
    case ctlCryThreshMore:
        StepPercentage(dialog, &settings.CryThresh, ctlCryThreshBar, 5);
        return 1;
    default:
        return 0;
    }
}

LRESULT MicDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        StartDialog(dialog);
        ShowMicrophoneSettings(dialog);
        return 1;
    case WM_COMMAND:
        return MicrophoneCommand(dialog, LOWORD(wParam));
    case WM_TIMER:
        FollowCalibration(dialog);
        return 1;
    case WM_CLOSE:
        CancelMicrophoneDialog(dialog);
        return 1;
    case WM_HOTKEY:
        return PassBackKey(dialog, message, wParam, lParam);
    default:
        return 0;
    }
}

// Phone dialog. OK stores only the boxes the user changed: a number that
// another program saved while the dialog was open must not be undone by a
// box nobody touched.
struct PhoneDialogState {
    WCHAR number[256], delay[256], maxCalls[256]; // the boxes as the dialog opened
    WCHAR number2[256], number3[256], ringSeconds[256];
};
static PhoneDialogState phoneOpened;

// The boxes of the call numbers, each with its field and how it opened.
struct NumberBox {
    int id;
    CallNumberField field;
    WCHAR (PhoneDialogState::*opened)[256];
};
static const NumberBox numberBoxes[] = {
    {ctlPhoneNumber, &SettingsRecord::PhoneNumber, &PhoneDialogState::number},
    {ctlPhoneNumber2, &SettingsRecord::PhoneNumber2, &PhoneDialogState::number2},
    {ctlPhoneNumber3, &SettingsRecord::PhoneNumber3, &PhoneDialogState::number3},
};

static void ShowPhoneSettings(HWND dialog)
{
    SetLabel(dialog, ctlPhoneGroup, strPhone);
    SetLabel(dialog, ctlPhoneNumberLabel, strCallNumber);
    SetLabel(dialog, ctlPhoneDelayLabel, strCallingDelay);
    SetLabel(dialog, ctlPhoneMaxCallsLabel, strMaximum);
    SetLabel(dialog, ctlMinutesLabel, strMinutes);
    SetLabel(dialog, ctlCallsLabel, strCalls);
    SetLabel(dialog, ctlMoreNumbersGroup, strMoreNumbers);
    SetLabel(dialog, ctlPhoneNumber2Label, strSecondNumber);
    SetLabel(dialog, ctlPhoneNumber3Label, strThirdNumber);
    SetLabel(dialog, ctlRingSecondsLabel, strSecondsPerNumber);
    // No length limit on a number's box: a limit would cut a pasted number,
    // and a cut number dials a stranger. OK refuses a number that is too long.
    for (const NumberBox& box : numberBoxes) {
        SetDlgItemTextW(dialog, box.id, settings.*(box.field));
        GetDlgItemTextW(dialog, box.id, phoneOpened.*(box.opened), 250);
    }
    wsprintfW(phoneOpened.delay, u"%d", settings.PhoneDelay);
    SetDlgItemTextW(dialog, ctlPhoneDelay, phoneOpened.delay);
    wsprintfW(phoneOpened.maxCalls, u"%d", settings.PhoneMaxCalls);
    SetDlgItemTextW(dialog, ctlPhoneMaxCalls, phoneOpened.maxCalls);
    wsprintfW(phoneOpened.ringSeconds, u"%d", settings.PhoneRingSeconds);
    SetDlgItemTextW(dialog, ctlPhoneRingSeconds, phoneOpened.ringSeconds);
}

// The box's text, and whether the user changed it since the dialog opened.
static bool ReadChangedBox(HWND dialog, int id, const WCHAR* opened, WCHAR (&text)[256])
{
    text[0] = u'\0';
    GetDlgItemTextW(dialog, id, text, 250);
    return wcscmp(text, opened) != 0;
}

static void RefuseBox(HWND dialog, UINT stringId)
{
    WCHAR message[256] = {};
    LoadLocalString(shell.appInstance, stringId, message, 255);
    MessageBoxW(dialog, message, shell.appTitle, MB_OK | MB_ICONEXCLAMATION);
}

// An empty box clears its number; anything else must be a call number. A
// ring time the user changed must be one the phone takes. Refused with a
// message, the dialog stays open and nothing is stored.
static bool AcceptPhoneSettings(HWND dialog)
{
    WCHAR text[256] = {};
    for (const NumberBox& box : numberBoxes) {
        GetDlgItemTextW(dialog, box.id, text, 250);
        std::int32_t check = CheckCallNumber(text);
        if (check == CALLNUMBER_OK || check == CALLNUMBER_EMPTY)
            continue;
        RefuseBox(dialog, check == CALLNUMBER_TOO_LONG ? strCallNumberTooLong : strBadCallNumber);
        return false;
    }
    if (ReadChangedBox(dialog, ctlPhoneRingSeconds, phoneOpened.ringSeconds, text) &&
        CheckSettingValue(u"PhoneRingSeconds", _wtoi(text)) != SETTING_OK) {
        RefuseBox(dialog, strRingSecondsRange);
        return false;
    }
    return true;
}

static void StorePhoneSettings(HWND dialog)
{
    WCHAR text[256] = {};
    for (const NumberBox& box : numberBoxes) {
        if (!ReadChangedBox(dialog, box.id, phoneOpened.*(box.opened), text))
            continue;
        // AcceptPhoneSettings has checked the length: the text fits the field.
        WCHAR(&number)[phoneNumberCapacity] = settings.*(box.field);
        for (int i = 0; i < phoneNumberCapacity; ++i) {
            number[i] = text[i];
            if (text[i] == u'\0')
                break;
        }
        number[phoneNumberCapacity - 1] = u'\0';
    }
    if (ReadChangedBox(dialog, ctlPhoneDelay, phoneOpened.delay, text))
        settings.PhoneDelay = _wtoi(text);
    if (ReadChangedBox(dialog, ctlPhoneMaxCalls, phoneOpened.maxCalls, text))
        settings.PhoneMaxCalls = _wtoi(text);
    if (ReadChangedBox(dialog, ctlPhoneRingSeconds, phoneOpened.ringSeconds, text))
        settings.PhoneRingSeconds = _wtoi(text);
}

// 0 is allowed (as an empty box gives it) but means no call at all: said
// before the dialog closes.
static void WarnIfNoCalls(HWND dialog)
{
    if (settings.PhoneMaxCalls > 0)
        return;
    WCHAR message[256] = {};
    LoadLocalString(shell.appInstance, strNoCallsAllowed, message, 255);
    MessageBoxW(dialog, message, shell.appTitle, MB_OK | MB_ICONEXCLAMATION);
}

static LRESULT EndOnOkOrCancel(HWND dialog, WORD id)
{
    if (id == IDCANCEL) {
        EndDialog(dialog, -1);
        return 1;
    }
    if (id == IDOK) {
        EndDialog(dialog, 0);
        return 1;
    }
    return 0;
}

LRESULT PhoneDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        StartDialog(dialog);
        ShowPhoneSettings(dialog);
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            if (!AcceptPhoneSettings(dialog))
                return 1;
            StorePhoneSettings(dialog);
            WarnIfNoCalls(dialog);
        }
        return EndOnOkOrCancel(dialog, LOWORD(wParam));
    case WM_CLOSE:
        EndDialog(dialog, -1);
        return 1;
    case WM_HOTKEY:
        return PassBackKey(dialog, message, wParam, lParam);
    default:
        return 0;
    }
}

LRESULT ContactDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        StartDialog(dialog);
        SetLabel(dialog, ctlContactLabel, strContact);
        return 1;
    case WM_COMMAND:
        return EndOnOkOrCancel(dialog, LOWORD(wParam));
    case WM_CLOSE:
        EndDialog(dialog, -1);
        return 1;
    case WM_HOTKEY:
        return PassBackKey(dialog, message, wParam, lParam);
    default:
        return 0;
    }
}

// Every language without string loads: each flag with its radio button;
// and the night's dimming.
static void StoreLanguage(HWND dialog)
{
    for (std::int32_t language = 0; language < languageCount; ++language) {
        if (SendDlgItemMessageW(dialog, languages[language].languageButton, BM_GETCHECK, 0, 0) != 0)
            settings.Language = language;
    }
    settings.DimScreen =
        SendDlgItemMessageW(dialog, ctlDimScreen, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

// An unknown Language checks no button.
static void ShowLanguageChoice(HWND dialog)
{
    if (const LanguageRow* row = FindLanguage(settings.Language))
        SendDlgItemMessageW(dialog, row->languageButton, BM_SETCHECK, BST_CHECKED, 0);
    SetLabel(dialog, ctlDimScreen, strDimScreen);
    SendDlgItemMessageW(dialog, ctlDimScreen, BM_SETCHECK,
                        settings.DimScreen != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

LRESULT LanguageDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        StartDialog(dialog);
        ShowLanguageChoice(dialog);
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            StoreLanguage(dialog);
        return EndOnOkOrCancel(dialog, LOWORD(wParam));
    case WM_CLOSE:
        EndDialog(dialog, -1);
        return 1;
    case WM_HOTKEY:
        return PassBackKey(dialog, message, wParam, lParam);
    default:
        return 0;
    }
}
