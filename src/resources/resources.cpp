// SPDX-License-Identifier: GPL-3.0-or-later
// The resource script: string tables, menus, menu-bar records, dialog
// templates, the version and the pictures (their bytes are embedded from
// pictures/ at build time, see pictures.h in the build tree).
#include "resources/resources.h"

#include "pictures.h"
#include "platform/dialog.h"
#include "platform/menu.h"
#include "resources/ids.h"

namespace {

template <std::size_t N> constexpr PlatformResource Text(UINT id, const char16_t (&text)[N])
{
    return {RT_STRING, id, text, static_cast<DWORD>((N - 1) * sizeof(char16_t))};
}

// The English twin of German text `germanId`.
template <std::size_t N>
constexpr PlatformResource English(UINT germanId, const char16_t (&text)[N])
{
    return Text(germanId + strEnglishOffset, text);
}

template <std::size_t N>
constexpr PlatformResource Picture(UINT type, UINT id, const unsigned char (&bytes)[N])
{
    return {type, id, bytes, static_cast<DWORD>(N)};
}

template <typename T> constexpr PlatformResource Record(UINT type, UINT id, const T& record)
{
    return {type, id, &record, static_cast<DWORD>(sizeof(T))};
}

// Menus. The main menus carry the Start command and the pop-up that the
// menu bar's right button opens; the dialog menus the two dialog commands.

// clang-format off
constexpr MENUITEMTEMPLATE germanPopup[] = {
    {0, cmdMicrophoneDialog, u"Mikrofon", nullptr, 0},
    {0, cmdPhoneDialog, u"Telefon", nullptr, 0},
    {MF_SEPARATOR, 0, nullptr, nullptr, 0},
    {0, cmdLanguageDialog, u"Sprache", nullptr, 0},
    {0, cmdContactDialog, u"Kontakt", nullptr, 0},
    {MF_SEPARATOR, 0, nullptr, nullptr, 0},
    {0, cmdExit, u"Beenden", nullptr, 0},
};
// clang-format on
constexpr MENUITEMTEMPLATE germanMain[] = {
    {0, cmdStartStop, u"Start", nullptr, 0},
    {MF_POPUP, 0, u"Menü", germanPopup, 7},
};
constexpr MENUTEMPLATE mainGerman = {germanMain, 2};

// clang-format off
constexpr MENUITEMTEMPLATE englishPopup[] = {
    {0, cmdMicrophoneDialog, u"Microphone", nullptr, 0},
    {0, cmdPhoneDialog, u"Phone", nullptr, 0},
    {MF_SEPARATOR, 0, nullptr, nullptr, 0},
    {0, cmdLanguageDialog, u"Language", nullptr, 0},
    {0, cmdContactDialog, u"Contact", nullptr, 0},
    {MF_SEPARATOR, 0, nullptr, nullptr, 0},
    {0, cmdExit, u"Exit", nullptr, 0},
};
// clang-format on
constexpr MENUITEMTEMPLATE englishMain[] = {
    {0, cmdStartStop, u"Start", nullptr, 0},
    {MF_POPUP, 0, u"Menu", englishPopup, 7},
};
constexpr MENUTEMPLATE mainEnglish = {englishMain, 2};

constexpr MENUITEMTEMPLATE germanDialogItems[] = {
    {0, IDCANCEL, u"Abbrechen", nullptr, 0},
    {0, IDOK, u"OK", nullptr, 0},
};
constexpr MENUTEMPLATE dialogGerman = {germanDialogItems, 2};

constexpr MENUITEMTEMPLATE englishDialogItems[] = {
    {0, IDCANCEL, u"Cancel", nullptr, 0},
    {0, IDOK, u"OK", nullptr, 0},
};
constexpr MENUTEMPLATE dialogEnglish = {englishDialogItems, 2};

// Menu-bar records: menu id, button count, then per button image, command,
// state, style, text id, reserved, pop-up index.
constexpr WORD imageNone = 65534;
constexpr WORD enabled = 4;
constexpr WORD autoSize = 16;
constexpr WORD dropDown = 24;
constexpr WORD noMenu = 65535;

// clang-format off
constexpr WORD mainGermanBar[16] = {
    menuMainGerman, 2,
    imageNone, cmdStartStop, enabled, autoSize, strBarStart,      0, noMenu,
    imageNone, cmdMenu,      enabled, dropDown, strBarMenuGerman, 0, 1,
};
constexpr WORD mainEnglishBar[16] = {
    menuMainEnglish, 2,
    imageNone, cmdStartStop, enabled, autoSize, strBarStart,       0, noMenu,
    imageNone, cmdMenu,      enabled, dropDown, strBarMenuEnglish, 0, 1,
};
constexpr WORD dialogGermanBar[16] = {
    menuDialogGerman, 2,
    imageNone, IDCANCEL, enabled, autoSize, strBarCancelGerman, 0, noMenu,
    imageNone, IDOK,     enabled, autoSize, strBarOk,           0, noMenu,
};
constexpr WORD dialogEnglishBar[16] = {
    menuDialogEnglish, 2,
    imageNone, IDCANCEL, enabled, autoSize, strBarCancelEnglish, 0, noMenu,
    imageNone, IDOK,     enabled, autoSize, strBarOk,            0, noMenu,
};
// clang-format on

// Dialog templates. Every control is a visible child; the kinds differ in
// the remaining bits.
constexpr DWORD childVisible = WS_CHILD | WS_VISIBLE;
constexpr DWORD pushButton = childVisible | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD textLeft = childVisible | WS_GROUP | SS_LEFT;
constexpr DWORD textCentred = childVisible | WS_GROUP | SS_CENTER;
constexpr DWORD progressBar = childVisible | WS_BORDER | PBS_SMOOTH;
constexpr DWORD groupBox = childVisible | BS_GROUPBOX;
constexpr DWORD editBox = childVisible | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD digitBox = editBox | ES_NUMBER;
constexpr DWORD radioButton = childVisible | BS_AUTORADIOBUTTON;
constexpr DWORD checkBox = childVisible | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD picture = childVisible | SS_BITMAP;
constexpr DWORD icon = childVisible | SS_ICON;
constexpr DWORD dialogStyle = WS_POPUP | DS_SETFONT;

constexpr LPCWSTR buttonClass = u"BUTTON";
constexpr LPCWSTR staticClass = u"STATIC";
constexpr LPCWSTR editClass = u"EDIT";
constexpr LPCWSTR progressClass = u"msctls_progress32";

constexpr DLGITEMTEMPLATE microphoneItems[] = {
    {pushButton, 0, 68, 18, 12, 9, ctlVolSensiLess, buttonClass, u"-", 0},
    {pushButton, 0, 82, 18, 12, 9, ctlVolSensiMore, buttonClass, u"+", 0},
    {pushButton, 0, 68, 36, 12, 9, ctlVolThreshLess, buttonClass, u"-", 0},
    {pushButton, 0, 82, 36, 12, 9, ctlVolThreshMore, buttonClass, u"+", 0},
    {pushButton, 0, 68, 69, 12, 9, ctlCryThreshLess, buttonClass, u"-", 0},
    {pushButton, 0, 82, 69, 12, 9, ctlCryThreshMore, buttonClass, u"+", 0},
    {textLeft, 0, 7, 10, 87, 8, ctlSensitivityLabel, staticClass, u"Empfindlichkeit", 0},
    {progressBar, 0, 7, 18, 58, 9, ctlVolSensiBar, progressClass, u"Progress1", 0},
    {textLeft, 0, 7, 28, 87, 8, ctlVolThreshLabel, staticClass, u"Reaktionsschwelle %", 0},
    {progressBar, 0, 7, 36, 58, 9, ctlVolThreshBar, progressClass, u"Progress1", 0},
    {textLeft, 0, 7, 61, 87, 8, ctlCryThreshLabel, staticClass, u"Zeitschwelle %", 0},
    {progressBar, 0, 7, 69, 58, 9, ctlCryThreshBar, progressClass, u"Progress1", 0},
    {groupBox, 0, 3, 0, 95, 49, ctlMicrophoneGroup, buttonClass, u"Mikrofon", 0},
    {groupBox, 0, 3, 50, 95, 32, ctlCallingGroup, buttonClass, u"Rufauslösung", 0},
    {checkBox, 0, 7, 96, 87, 10, ctlCryCheckBox, buttonClass, u"Schreiprüfung", 0},
    {pushButton, 0, 7, 108, 87, 12, ctlCalibrateButton, buttonClass, u"Raum einmessen", 0},
    {textLeft, 0, 7, 122, 87, 24, ctlCalibrationStatus, staticClass, u"", 0},
    {groupBox, 0, 3, 86, 95, 62, ctlRoomGroup, buttonClass, u"Raum", 0},
};

constexpr DLGITEMTEMPLATE phoneItems[] = {
    {editBox, 0, 9, 19, 83, 12, ctlPhoneNumber, editClass, u"", 0},
    {digitBox, 0, 9, 42, 39, 12, ctlPhoneDelay, editClass, u"", 0},
    {digitBox, 0, 9, 65, 39, 12, ctlPhoneMaxCalls, editClass, u"", 0},
    {textLeft, 0, 9, 11, 78, 8, ctlPhoneNumberLabel, staticClass, u"Rufnummer", 0},
    {textLeft, 0, 9, 34, 83, 8, ctlPhoneDelayLabel, staticClass, u"Wahlpause", 0},
    {textLeft, 0, 52, 44, 42, 8, ctlMinutesLabel, staticClass, u"Minute(n)", 0},
    {textLeft, 0, 9, 57, 79, 8, ctlPhoneMaxCallsLabel, staticClass, u"Höchstens", 0},
    {textLeft, 0, 52, 67, 43, 8, ctlCallsLabel, staticClass, u"Anruf(e)", 0},
    {groupBox, 0, 3, 0, 95, 83, ctlPhoneGroup, buttonClass, u"Telefon", 0},
    {editBox, 0, 9, 104, 83, 12, ctlPhoneNumber2, editClass, u"", 0},
    {editBox, 0, 9, 127, 83, 12, ctlPhoneNumber3, editClass, u"", 0},
    {digitBox, 0, 9, 142, 25, 12, ctlPhoneRingSeconds, editClass, u"", 0},
    {textLeft, 0, 9, 96, 83, 8, ctlPhoneNumber2Label, staticClass, u"2. Telefonnummer", 0},
    {textLeft, 0, 9, 119, 83, 8, ctlPhoneNumber3Label, staticClass, u"3. Telefonnummer", 0},
    {textLeft, 0, 38, 144, 57, 8, ctlRingSecondsLabel, staticClass, u"Sek. je Nummer", 0},
    {groupBox, 0, 3, 86, 95, 69, ctlMoreNumbersGroup, buttonClass, u"Weitere Nummern", 0},
};

constexpr DLGITEMTEMPLATE contactItems[] = {
    {textCentred, 0, 8, 10, 85, 9, ctlNone, staticClass,
     u"Cradlecom Version " CRADLECOM_VERSION_SHORT, 0},
    {textCentred, 0, 8, 52, 85, 9, ctlContactLabel, staticClass, u"Kontakt", 0},
    {textCentred, 0, 8, 61, 85, 9, ctlNone, staticClass, u"www.veltrano.de", 0},
    {textCentred, 0, 8, 70, 85, 9, ctlNone, staticClass, u"info@veltrano.de", 0},
    {icon, 0, 38, 30, 20, 20, ctlNone, staticClass, u"", icoProgram},
    {groupBox, 0, 3, 0, 95, 83, ctlNone, buttonClass, u"Information", 0},
};

constexpr DLGITEMTEMPLATE languageItems[] = {
    {radioButton, 0, 20, 34, 10, 8, ctlGermanButton, buttonClass, u"", 0},
    {radioButton, 0, 65, 34, 10, 8, ctlEnglishButton, buttonClass, u"", 0},
    {picture, 0, 64, 23, 11, 7, ctlNone, staticClass, u"", bmpBritishFlag},
    {picture, 0, 20, 23, 11, 7, ctlNone, staticClass, u"", bmpGermanFlag},
    {textLeft, 0, 12, 46, 40, 8, ctlNone, staticClass, u"German", 0},
    {textLeft, 0, 12, 56, 37, 8, ctlNone, staticClass, u"Deutsch", 0},
    {textLeft, 0, 57, 46, 36, 8, ctlNone, staticClass, u"English", 0},
    {textLeft, 0, 56, 56, 39, 8, ctlNone, staticClass, u"Englisch", 0},
    {groupBox, 0, 3, 0, 95, 83, ctlNone, buttonClass, u"Sprache / Language", 0},
    {checkBox, 0, 5, 86, 93, 10, ctlDimScreen, buttonClass, u"", 0},
};

template <std::size_t N>
constexpr DLGTEMPLATE Dialog(const DLGITEMTEMPLATE (&items)[N], short height = 96)
{
    return {dialogStyle, 0, 0, 101, height, u"", u"System", 8, items, static_cast<int>(N)};
}

constexpr DLGTEMPLATE microphoneDialog = Dialog(microphoneItems, 150);
constexpr DLGTEMPLATE phoneDialog = Dialog(phoneItems, 158);
constexpr DLGTEMPLATE contactDialog = Dialog(contactItems);
constexpr DLGTEMPLATE languageDialog = Dialog(languageItems);

constexpr VERSIONRESOURCE version = {{CRADLECOM_VERSION_PARTS}, {CRADLECOM_VERSION_PARTS}};

} // namespace

extern const PlatformResource resourceTable[] = {
    // German texts, then their English twins.
    Text(strExitQuestion, u"Möchten Sie das Cradlecom jetzt beenden ?"),
    Text(strNoRecorder, u"Das Aufzeichnungsgerät konnte nocht initialisiert werden !"),
    Text(strNoCallNumber, u"Bitte tragen Sie vorher eine gültige Telefonnummer ein !"),
    Text(strStart, u"Start"),
    Text(strStop, u"Stopp"),
    Text(strStatus, u"Status"),
    Text(strContact, u"Kontakt"),
    Text(strPhone, u"Telefon"),
    Text(strCallNumber, u"Telefonnummer"),
    Text(strCallingDelay, u"Wahlpause"),
    Text(strMaximum, u"Höchstens"),
    Text(strMinutes, u"Minuten(n)"),
    Text(strCalls, u"Anruf(e)"),
    Text(strMicrophone, u"Mikrofon"),
    Text(strSensitivity, u"Empfindlichkeit"),
    Text(strThreshold, u"Reaktionsschwelle"),
    Text(strCalling, u"Rufauslösung"),
    Text(strBadCallNumber,
         u"Die Rufnummer darf nur Ziffern, Leerzeichen und + * # - / ( ) enthalten, muss "
         u"mindestens eine Ziffer haben und darf nicht mit - beginnen, oder eine SIP-Adresse "
         u"(sip:…) ohne Leerzeichen sein !"),
    Text(strCallNumberTooLong, u"Die Rufnummer darf höchstens 24 Zeichen lang sein !"),
    Text(strMicrophoneListening, u"Mikrofon hört zu"),
    Text(strMicrophoneUnavailable, u"Mikrofon nicht verfügbar"),
    Text(strRouteModem, u"Anrufe über das Modem"),
    Text(strRouteCommand, u"Anrufe über den Befehl"),
    Text(strRouteLogged, u"Anrufe nur protokolliert"),
    Text(strRouteSip, u"Anrufe über SIP"),
    Text(strCallsThisRun, u"Anrufe in diesem Lauf: %d"),
    Text(strLastCall, u"Letzter Anruf: %02d:%02d"),
    Text(strCallRequested, u"angefordert"),
    Text(strCallInProgress, u"läuft"),
    Text(strCallEnded, u"beendet"),
    Text(strCallFailed, u"fehlgeschlagen"),
    Text(strCallLogged, u"nur protokolliert"),
    Text(strCallLimitReached, u"Anruflimit erreicht (%d)"),
    Text(strNoWayToCall, u"Anrufe nicht möglich!"),
    Text(strNoCallsAllowed,
         u"Höchstens 0 Anrufe: Cradlecom ruft dann nie an, auch wenn das Kind weint."),
    // A failed save: what happened, why, and what becomes of the values.
    Text(strSaveFailed, u"Die Einstellungen konnten nicht gespeichert werden."),
    Text(strStoreAccessDenied,
         u"Cradlecom darf die Einstellungsdatei oder ihren Ordner nicht lesen oder "
         u"beschreiben."),
    Text(strStoreFull, u"Der Speicher ist voll."),
    Text(strStoreReadOnly, u"Der Speicher ist schreibgeschützt."),
    Text(strStoreNotAFile,
         u"An der Stelle der Einstellungsdatei liegt etwas anderes (etwa ein Ordner); "
         u"es bleibt unverändert."),
    Text(strStoreNoFolder,
         u"Der Ordner für die Einstellungen fehlt und kann nicht angelegt werden."),
    Text(strStoreError, u"Beim Lesen oder Schreiben der Einstellungen ist ein Fehler aufgetreten."),
    Text(strValuesKeptUntilExit, u"Die neuen Werte gelten, bis Cradlecom beendet wird."),
    // A store that is refused: why, and what holds meanwhile.
    Text(strReadFailed, u"Die Einstellungen konnten nicht gelesen werden."),
    Text(strStoreTooLarge, u"Die Einstellungsdatei ist größer als 64 MB; sie bleibt unverändert."),
    Text(strStoreCutShort,
         u"Die Einstellungsdatei ist abgeschnitten: Ihre letzte Zeile hat kein Ende. "
         u"Sie bleibt unverändert."),
    Text(strStoreOtherOwner,
         u"Die Einstellungsdatei oder ihr Ordner gehört einem anderen Benutzer."),
    Text(strStoreOpenToOthers,
         u"Andere Benutzer dürfen die Einstellungsdatei oder ihren Ordner ändern."),
    Text(strDefaultsMeanwhile,
         u"Bis die Datei in Ordnung ist, gelten die Voreinstellungen ohne Telefonnummer, "
         u"und es wird nichts gespeichert."),
    Text(strRoom, u"Raum"),
    Text(strCryCheck, u"Schreiprüfung"),
    Text(strCalibrate, u"Raum einmessen"),
    Text(strCalibrating, u"Hört %d s in den Raum. Bitte leise sein."),
    Text(strCalibrated, u"Raum bei %d dBFS: neue Balken gesetzt. OK behält sie."),
    Text(strCalibrationSilent, u"Das Mikrofon liefert nichts. Nichts geändert."),
    Text(strCalibrationTooLoud,
         u"Der Raum ist zu laut: ein Weinen ginge darin unter. Nichts geändert."),
    Text(strCalibrationTooShort, u"Zu wenig vom Raum gehört. Nichts geändert."),
    Text(strRecorderError, u"Fehler des Geräts: %s"),
    Text(strRunningUnseen,
         u"Cradlecom läuft schon, aber ohne Fenster, das man sehen kann (etwa als Dienst "
         u"ohne Bildschirm). Um es hier zu sehen, beenden Sie diesen Lauf, zum Beispiel mit "
         u"»systemctl --user stop cradlecom«, und starten Sie Cradlecom noch einmal."),
    Text(strDimScreen, u"Bildschirm nachts abdunkeln"),
    Text(strCallAnswered, u"angenommen"),
    Text(strCallNotAnswered, u"nicht angenommen"),
    Text(strCallFailedBecause, u"fehlgeschlagen (%s)"),
    Text(strMoreNumbers, u"Weitere Nummern"),
    Text(strSecondNumber, u"2. Telefonnummer"),
    Text(strThirdNumber, u"3. Telefonnummer"),
    Text(strSecondsPerNumber, u"Sek. je Nummer"),
    Text(strRingSecondsRange, u"Jede Nummer darf 10 bis 300 Sekunden klingeln !"),
    // Short messages to the parent (an SMS holds 70 characters with umlauts).
    Text(strWordMicrophoneSilent, u"Cradlecom: Das Mikrofon liefert seit 60 s keinen Ton."),
    Text(strWordMicrophoneBack, u"Cradlecom: Das Mikrofon liefert wieder Ton."),
    Text(strWordCallsImpossible, u"Cradlecom: Seit 5 Minuten sind keine Anrufe möglich."),
    Text(strWordCallsBack, u"Cradlecom: Anrufe sind wieder möglich."),
    Text(strWordMonitoringEnded, u"Cradlecom: Die Überwachung ist beendet, niemand hört zu."),
    Text(strWordMonitoringOn, u"Cradlecom: Die Überwachung läuft, höchstens %d Anrufe an %s."),

    English(strExitQuestion, u"Do you want exit cradlecom now ?"),
    English(strNoRecorder, u"Cannot initialize the recorder device !"),
    English(strNoCallNumber, u"Please define a valid call number first !"),
    English(strStart, u"Start"),
    English(strStop, u"Stop"),
    English(strStatus, u"Status"),
    English(strContact, u"Contact"),
    English(strPhone, u"Phone"),
    English(strCallNumber, u"Call number"),
    English(strCallingDelay, u"Calling delay"),
    English(strMaximum, u"Maximum"),
    English(strMinutes, u"Minute(s)"),
    English(strCalls, u"Call(s)"),
    English(strMicrophone, u"Microphone"),
    English(strSensitivity, u"Sensitivity"),
    English(strThreshold, u"Threshold"),
    English(strCalling, u"Calling"),
    English(strBadCallNumber,
            u"The call number may hold only digits, spaces and + * # - / ( ), needs at least "
            u"one digit and must not begin with -, or be a SIP address (sip:…) without spaces !"),
    English(strCallNumberTooLong, u"The call number may be at most 24 characters long !"),
    English(strMicrophoneListening, u"Microphone listening"),
    English(strMicrophoneUnavailable, u"Microphone not available"),
    English(strRouteModem, u"Calls go to the modem"),
    English(strRouteCommand, u"Calls go to the command"),
    English(strRouteLogged, u"Calls are only logged"),
    English(strRouteSip, u"Calls go over SIP"),
    English(strCallsThisRun, u"Calls in this run: %d"),
    English(strLastCall, u"Last call: %02d:%02d"),
    English(strCallRequested, u"requested"),
    English(strCallInProgress, u"in progress"),
    English(strCallEnded, u"ended"),
    English(strCallFailed, u"failed"),
    English(strCallLogged, u"only logged"),
    English(strCallLimitReached, u"Call limit reached (%d)"),
    English(strNoWayToCall, u"No way to place calls!"),
    English(strNoCallsAllowed,
            u"A maximum of 0 calls: Cradlecom will then never call, even when the child "
            u"cries."),
    English(strSaveFailed, u"The settings could not be saved."),
    English(strStoreAccessDenied,
            u"Cradlecom may not read or write the settings file or its folder."),
    English(strStoreFull, u"The storage is full."),
    English(strStoreReadOnly, u"The storage is read-only."),
    English(strStoreNotAFile,
            u"Something else (such as a folder) stands where the settings file belongs; "
            u"it is left as it is."),
    English(strStoreNoFolder, u"The folder for the settings is missing and cannot be created."),
    English(strStoreError, u"An error occurred while reading or writing the settings."),
    English(strValuesKeptUntilExit, u"The new values apply until Cradlecom is closed."),
    English(strReadFailed, u"The settings could not be read."),
    English(strStoreTooLarge, u"The settings file is larger than 64 MB; it is left as it is."),
    English(strStoreCutShort,
            u"The settings file is cut short: its last line has no end. It is left as it is."),
    English(strStoreOtherOwner, u"The settings file or its folder belongs to another user."),
    English(strStoreOpenToOthers, u"Other users may change the settings file or its folder."),
    English(strDefaultsMeanwhile,
            u"Until the file is mended the defaults apply, without a call number, and nothing "
            u"is saved."),
    English(strRoom, u"Room"),
    English(strCryCheck, u"Cry check"),
    English(strCalibrate, u"Calibrate"),
    English(strCalibrating, u"Listening to the room for %d s. Please keep it quiet."),
    English(strCalibrated, u"Room at %d dBFS: new bars set. OK keeps them."),
    English(strCalibrationSilent, u"The microphone gives nothing. Nothing changed."),
    English(strCalibrationTooLoud,
            u"The room is too loud: a cry would not stand out. Nothing changed."),
    English(strCalibrationTooShort, u"Too little of the room was heard. Nothing changed."),
    English(strRecorderError, u"Device error: %s"),
    English(strRunningUnseen,
            u"Cradlecom is running already, but without a window anybody can see (as a service "
            u"without a screen, for example). To see it here, end that run, for example with "
            u"\"systemctl --user stop cradlecom\", and start Cradlecom again."),
    English(strDimScreen, u"Dim the screen at night"),
    English(strCallAnswered, u"answered"),
    English(strCallNotAnswered, u"not answered"),
    English(strCallFailedBecause, u"failed (%s)"),
    English(strMoreNumbers, u"More numbers"),
    English(strSecondNumber, u"Second call number"),
    English(strThirdNumber, u"Third call number"),
    English(strSecondsPerNumber, u"s per number"),
    English(strRingSecondsRange, u"Each number may ring for 10 to 300 seconds !"),
    English(strWordMicrophoneSilent, u"Cradlecom: the microphone has delivered no sound for 60 s."),
    English(strWordMicrophoneBack, u"Cradlecom: the microphone delivers sound again."),
    English(strWordCallsImpossible, u"Cradlecom: no call could be placed for 5 minutes."),
    English(strWordCallsBack, u"Cradlecom: calls can be placed again."),
    English(strWordMonitoringEnded, u"Cradlecom: monitoring has ended, nobody is listening."),
    English(strWordMonitoringOn, u"Cradlecom: monitoring is on, %d calls at most, to %s."),

    // The same in both languages.
    Text(strAppTitle, u"Cradlecom"),
    Text(strMaker, u"Veltrano"),

    // Menu-bar button texts.
    Text(strBarMenuGerman, u"Menü"),
    Text(strBarStart, u"Start"),
    Text(strBarCancelGerman, u"Abbrechen"),
    Text(strBarOk, u"OK"),
    Text(strBarCancelEnglish, u"Cancel"),
    Text(strBarMenuEnglish, u"Menu"),

    Record(RT_MENU, menuMainGerman, mainGerman),
    Record(RT_MENU, menuDialogGerman, dialogGerman),
    Record(RT_MENU, menuDialogEnglish, dialogEnglish),
    Record(RT_MENU, menuMainEnglish, mainEnglish),

    Record(RT_RCDATA, barMainGerman, mainGermanBar),
    Record(RT_RCDATA, barDialogGerman, dialogGermanBar),
    Record(RT_RCDATA, barDialogEnglish, dialogEnglishBar),
    Record(RT_RCDATA, barMainEnglish, mainEnglishBar),

    Record(RT_DIALOG, dlgMicrophone, microphoneDialog),
    Record(RT_DIALOG, dlgPhone, phoneDialog),
    Record(RT_DIALOG, dlgContact, contactDialog),
    Record(RT_DIALOG, dlgLanguage, languageDialog),

    Picture(RT_BITMAP, bmpDummy, picture109),
    Picture(RT_BITMAP, bmpBottle, picture111),
    Picture(RT_BITMAP, bmpAlarmClock, picture116),
    Picture(RT_BITMAP, bmpTelephone, picture117),
    Picture(RT_BITMAP, bmpPlay, picture118),
    Picture(RT_BITMAP, bmpStop, picture119),
    Picture(RT_BITMAP, bmpBritishFlag, picture120),
    Picture(RT_BITMAP, bmpGermanFlag, picture121),
    Picture(RT_GROUP_ICON, icoProgram, picture106),

    Record(RT_VERSION, versionRecord, version),
};

extern const std::size_t resourceCount = sizeof(resourceTable) / sizeof(resourceTable[0]);
