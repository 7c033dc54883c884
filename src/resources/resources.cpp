// SPDX-License-Identifier: GPL-3.0-or-later
// The resource script: string tables, menus, menu-bar records, dialog
// templates, the version and the pictures (their bytes are embedded from
// pictures/ at build time, see pictures.h in the build tree).
#include "resources/resources.h"

#include "pictures.h"
#include "platform/dialog.h"
#include "platform/menu.h"

namespace {

template <std::size_t N> constexpr PlatformResource Text(UINT id, const char16_t (&text)[N])
{
    return {RT_STRING, id, text, static_cast<DWORD>((N - 1) * sizeof(char16_t))};
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
    {0, 200, u"Mikrofon", nullptr, 0},
    {0, 300, u"Telefon", nullptr, 0},
    {MF_SEPARATOR, 0, nullptr, nullptr, 0},
    {0, 450, u"Sprache", nullptr, 0},
    {0, 400, u"Kontakt", nullptr, 0},
    {MF_SEPARATOR, 0, nullptr, nullptr, 0},
    {0, 900, u"Beenden", nullptr, 0},
};
// clang-format on
constexpr MENUITEMTEMPLATE germanMain[] = {
    {0, 500, u"Start", nullptr, 0},
    {MF_POPUP, 0, u"Menü", germanPopup, 7},
};
constexpr MENUTEMPLATE menu101 = {germanMain, 2};

// clang-format off
constexpr MENUITEMTEMPLATE englishPopup[] = {
    {0, 200, u"Microphone", nullptr, 0},
    {0, 300, u"Phone", nullptr, 0},
    {MF_SEPARATOR, 0, nullptr, nullptr, 0},
    {0, 450, u"Language", nullptr, 0},
    {0, 400, u"Contact", nullptr, 0},
    {MF_SEPARATOR, 0, nullptr, nullptr, 0},
    {0, 900, u"Exit", nullptr, 0},
};
// clang-format on
constexpr MENUITEMTEMPLATE englishMain[] = {
    {0, 500, u"Start", nullptr, 0},
    {MF_POPUP, 0, u"Menu", englishPopup, 7},
};
constexpr MENUTEMPLATE menu116 = {englishMain, 2};

constexpr MENUITEMTEMPLATE germanDialogItems[] = {
    {0, IDCANCEL, u"Abbrechen", nullptr, 0},
    {0, IDOK, u"OK", nullptr, 0},
};
constexpr MENUTEMPLATE menu114 = {germanDialogItems, 2};

constexpr MENUITEMTEMPLATE englishDialogItems[] = {
    {0, IDCANCEL, u"Cancel", nullptr, 0},
    {0, IDOK, u"OK", nullptr, 0},
};
constexpr MENUTEMPLATE menu115 = {englishDialogItems, 2};

// Menu-bar records: menu id, button count, then per button image, command,
// state, style, text id, reserved, pop-up index.
constexpr WORD imageNone = 65534;
constexpr WORD enabled = 4;
constexpr WORD autoSize = 16;
constexpr WORD dropDown = 24;
constexpr WORD noMenu = 65535;

// clang-format off
constexpr WORD menuBar101[16] = {
    101, 2,
    imageNone, 500, enabled, autoSize, 40014, 0, noMenu,
    imageNone, 100, enabled, dropDown, 40012, 0, 1,
};
constexpr WORD menuBar116[16] = {
    116, 2,
    imageNone, 500, enabled, autoSize, 40014, 0, noMenu,
    imageNone, 100, enabled, dropDown, 40025, 0, 1,
};
constexpr WORD menuBar114[16] = {
    114, 2,
    imageNone, IDCANCEL, enabled, autoSize, 40019, 0, noMenu,
    imageNone, IDOK,     enabled, autoSize, 40021, 0, noMenu,
};
constexpr WORD menuBar115[16] = {
    115, 2,
    imageNone, IDCANCEL, enabled, autoSize, 40024, 0, noMenu,
    imageNone, IDOK,     enabled, autoSize, 40021, 0, noMenu,
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
constexpr DWORD picture = childVisible | SS_BITMAP;
constexpr DWORD icon = childVisible | SS_ICON;
constexpr DWORD dialogStyle = WS_POPUP | DS_SETFONT;

constexpr LPCWSTR buttonClass = u"BUTTON";
constexpr LPCWSTR staticClass = u"STATIC";
constexpr LPCWSTR editClass = u"EDIT";
constexpr LPCWSTR progressClass = u"msctls_progress32";
constexpr int none = -1;

constexpr DLGITEMTEMPLATE microphoneItems[] = {
    {pushButton, 0, 68, 18, 12, 9, 200, buttonClass, u"-", 0},
    {pushButton, 0, 82, 18, 12, 9, 210, buttonClass, u"+", 0},
    {pushButton, 0, 68, 36, 12, 9, 220, buttonClass, u"-", 0},
    {pushButton, 0, 82, 36, 12, 9, 230, buttonClass, u"+", 0},
    {pushButton, 0, 68, 69, 12, 9, 240, buttonClass, u"-", 0},
    {pushButton, 0, 82, 69, 12, 9, 250, buttonClass, u"+", 0},
    {textLeft, 0, 7, 10, 87, 8, 51, staticClass, u"Empfindlichkeit", 0},
    {progressBar, 0, 7, 18, 58, 9, 100, progressClass, u"Progress1", 0},
    {textLeft, 0, 7, 28, 87, 8, 52, staticClass, u"Reaktionsschwelle %", 0},
    {progressBar, 0, 7, 36, 58, 9, 110, progressClass, u"Progress1", 0},
    {textLeft, 0, 7, 61, 87, 8, 61, staticClass, u"Zeitschwelle %", 0},
    {progressBar, 0, 7, 69, 58, 9, 120, progressClass, u"Progress1", 0},
    {groupBox, 0, 3, 0, 95, 49, 50, buttonClass, u"Mikrofon", 0},
    {groupBox, 0, 3, 50, 95, 32, 60, buttonClass, u"Rufauslösung", 0},
};

constexpr DLGITEMTEMPLATE phoneItems[] = {
    {editBox, 0, 9, 19, 83, 12, 100, editClass, u"", 0},
    {digitBox, 0, 9, 42, 39, 12, 110, editClass, u"", 0},
    {digitBox, 0, 9, 65, 39, 12, 120, editClass, u"", 0},
    {textLeft, 0, 9, 11, 78, 8, 60, staticClass, u"Rufnummer", 0},
    {textLeft, 0, 9, 34, 83, 8, 61, staticClass, u"Wahlpause", 0},
    {textLeft, 0, 52, 44, 42, 8, 63, staticClass, u"Minute(n)", 0},
    {textLeft, 0, 9, 57, 79, 8, 62, staticClass, u"Höchstens", 0},
    {textLeft, 0, 52, 67, 43, 8, 64, staticClass, u"Anruf(e)", 0},
    {groupBox, 0, 3, 0, 95, 83, 50, buttonClass, u"Telefon", 0},
};

constexpr DLGITEMTEMPLATE contactItems[] = {
    {textCentred, 0, 8, 10, 85, 9, none, staticClass, u"Cradlecom Version 1.001", 0},
    {textCentred, 0, 8, 52, 85, 9, 50, staticClass, u"Kontakt", 0},
    {textCentred, 0, 8, 61, 85, 9, none, staticClass, u"www.veltrano.de", 0},
    {textCentred, 0, 8, 70, 85, 9, none, staticClass, u"info@veltrano.de", 0},
    {icon, 0, 38, 30, 20, 20, none, staticClass, u"", 106},
    {groupBox, 0, 3, 0, 95, 83, none, buttonClass, u"Information", 0},
};

constexpr DLGITEMTEMPLATE languageItems[] = {
    {radioButton, 0, 20, 34, 10, 8, 100, buttonClass, u"", 0},
    {radioButton, 0, 65, 34, 10, 8, 101, buttonClass, u"", 0},
    {picture, 0, 64, 23, 11, 7, none, staticClass, u"", 120},
    {picture, 0, 20, 23, 11, 7, none, staticClass, u"", 121},
    {textLeft, 0, 12, 46, 40, 8, none, staticClass, u"German", 0},
    {textLeft, 0, 12, 56, 37, 8, none, staticClass, u"Deutsch", 0},
    {textLeft, 0, 57, 46, 36, 8, none, staticClass, u"English", 0},
    {textLeft, 0, 56, 56, 39, 8, none, staticClass, u"Englisch", 0},
    {groupBox, 0, 3, 0, 95, 83, none, buttonClass, u"Sprache / Language", 0},
};

template <std::size_t N> constexpr DLGTEMPLATE Dialog(const DLGITEMTEMPLATE (&items)[N])
{
    return {dialogStyle, 0, 0, 101, 96, u"", u"System", 8, items, static_cast<int>(N)};
}

constexpr DLGTEMPLATE dialog113 = Dialog(microphoneItems);
constexpr DLGTEMPLATE dialog114 = Dialog(phoneItems);
constexpr DLGTEMPLATE dialog115 = Dialog(contactItems);
constexpr DLGTEMPLATE dialog116 = Dialog(languageItems);

constexpr VERSIONRESOURCE version = {{1, 0, 0, 1}, {1, 0, 0, 1}};

} // namespace

extern const PlatformResource resourceTable[] = {
    // German texts; the English twin of each has the id plus 4000.
    Text(1000, u"Möchten Sie das Cradlecom jetzt beenden ?"),
    Text(1001, u"Das Aufzeichnungsgerät konnte nocht initialisiert werden !"),
    Text(1002, u"Bitte tragen Sie vorher eine gültige Telefonnummer ein !"),
    Text(1003, u"Start"),
    Text(1004, u"Stopp"),
    Text(1005, u"Status"),
    Text(1008, u"Kontakt"),
    Text(1009, u"Telefon"),
    Text(1010, u"Telefonnummer"),
    Text(1011, u"Wahlpause"),
    Text(1012, u"Höchstens"),
    Text(1013, u"Minuten(n)"),
    Text(1014, u"Anruf(e)"),
    Text(1015, u"Mikrofon"),
    Text(1016, u"Empfindlichkeit"),
    Text(1017, u"Reaktionsschwelle"),
    Text(1018, u"Rufauslösung"),
    Text(1019, u"Die Rufnummer darf nur Ziffern, Leerzeichen und + * # - / ( ) enthalten, muss "
               u"mindestens eine Ziffer haben und darf nicht mit - beginnen, oder eine SIP-Adresse "
               u"(sip:…) ohne Leerzeichen sein !"),
    Text(1020, u"Die Rufnummer darf höchstens 24 Zeichen lang sein !"),
    Text(1021, u"Mikrofon hört zu"),
    Text(1022, u"Mikrofon nicht verfügbar"),
    Text(1023, u"Anrufe über das Modem"),
    Text(1024, u"Anrufe über den Befehl"),
    Text(1025, u"Anrufe nur protokolliert"),
    Text(1026, u"Anrufe über SIP"),
    Text(1027, u"Anrufe in diesem Lauf: %d"),
    Text(1028, u"Letzter Anruf: %02d:%02d"),
    Text(1029, u"angefordert"),
    Text(1030, u"läuft"),
    Text(1031, u"beendet"),
    Text(1032, u"fehlgeschlagen"),
    Text(1033, u"nur protokolliert"),
    Text(1034, u"Anruflimit erreicht (%d)"),
    Text(1035, u"Anrufe nicht möglich!"),
    Text(1036, u"Höchstens 0 Anrufe: Cradlecom ruft dann nie an, auch wenn das Kind weint."),
    // A failed save: what happened, why, and what becomes of the values.
    Text(1040, u"Die Einstellungen konnten nicht gespeichert werden."),
    Text(1041, u"Cradlecom darf die Einstellungsdatei oder ihren Ordner nicht lesen oder "
               u"beschreiben."),
    Text(1042, u"Der Speicher ist voll."),
    Text(1043, u"Der Speicher ist schreibgeschützt."),
    Text(1044, u"An der Stelle der Einstellungsdatei liegt etwas anderes (etwa ein Ordner); "
               u"es bleibt unverändert."),
    Text(1045, u"Der Ordner für die Einstellungen fehlt und kann nicht angelegt werden."),
    Text(1046, u"Beim Lesen oder Schreiben der Einstellungen ist ein Fehler aufgetreten."),
    Text(1047, u"Die neuen Werte gelten, bis Cradlecom beendet wird."),
    // A store that is refused: why, and what holds meanwhile.
    Text(1060, u"Die Einstellungen konnten nicht gelesen werden."),
    Text(1061, u"Die Einstellungsdatei ist größer als 64 MB; sie bleibt unverändert."),
    Text(1062, u"Die Einstellungsdatei ist abgeschnitten: Ihre letzte Zeile hat kein Ende. "
               u"Sie bleibt unverändert."),
    Text(1063, u"Die Einstellungsdatei oder ihr Ordner gehört einem anderen Benutzer."),
    Text(1064, u"Andere Benutzer dürfen die Einstellungsdatei oder ihren Ordner ändern."),
    Text(1065, u"Bis die Datei in Ordnung ist, gelten die Voreinstellungen ohne Telefonnummer, "
               u"und es wird nichts gespeichert."),

    Text(5000, u"Do you want exit cradlecom now ?"),
    Text(5001, u"Cannot initialize the recorder device !"),
    Text(5002, u"Please define a valid call number first !"),
    Text(5003, u"Start"),
    Text(5004, u"Stop"),
    Text(5005, u"Status"),
    Text(5008, u"Contact"),
    Text(5009, u"Phone"),
    Text(5010, u"Call number"),
    Text(5011, u"Calling delay"),
    Text(5012, u"Maximum"),
    Text(5013, u"Minute(s)"),
    Text(5014, u"Call(s)"),
    Text(5015, u"Microphone"),
    Text(5016, u"Sensitivity"),
    Text(5017, u"Threshold"),
    Text(5018, u"Calling"),
    Text(5019,
         u"The call number may hold only digits, spaces and + * # - / ( ), needs at least "
         u"one digit and must not begin with -, or be a SIP address (sip:…) without spaces !"),
    Text(5020, u"The call number may be at most 24 characters long !"),
    Text(5021, u"Microphone listening"),
    Text(5022, u"Microphone not available"),
    Text(5023, u"Calls go to the modem"),
    Text(5024, u"Calls go to the command"),
    Text(5025, u"Calls are only logged"),
    Text(5026, u"Calls go over SIP"),
    Text(5027, u"Calls in this run: %d"),
    Text(5028, u"Last call: %02d:%02d"),
    Text(5029, u"requested"),
    Text(5030, u"in progress"),
    Text(5031, u"ended"),
    Text(5032, u"failed"),
    Text(5033, u"only logged"),
    Text(5034, u"Call limit reached (%d)"),
    Text(5035, u"No way to place calls!"),
    Text(5036, u"A maximum of 0 calls: Cradlecom will then never call, even when the child "
               u"cries."),
    Text(5040, u"The settings could not be saved."),
    Text(5041, u"Cradlecom may not read or write the settings file or its folder."),
    Text(5042, u"The storage is full."),
    Text(5043, u"The storage is read-only."),
    Text(5044, u"Something else (such as a folder) stands where the settings file belongs; "
               u"it is left as it is."),
    Text(5045, u"The folder for the settings is missing and cannot be created."),
    Text(5046, u"An error occurred while reading or writing the settings."),
    Text(5047, u"The new values apply until Cradlecom is closed."),
    Text(5060, u"The settings could not be read."),
    Text(5061, u"The settings file is larger than 64 MB; it is left as it is."),
    Text(5062, u"The settings file is cut short: its last line has no end. It is left as it is."),
    Text(5063, u"The settings file or its folder belongs to another user."),
    Text(5064, u"Other users may change the settings file or its folder."),
    Text(5065, u"Until the file is mended the defaults apply, without a call number, and nothing "
               u"is saved."),

    // The same in both languages.
    Text(10000, u"Cradlecom"),
    Text(10001, u"Veltrano"),

    // Menu-bar buttonClass texts.
    Text(40012, u"Menü"),
    Text(40014, u"Start"),
    Text(40019, u"Abbrechen"),
    Text(40021, u"OK"),
    Text(40024, u"Cancel"),
    Text(40025, u"Menu"),

    Record(RT_MENU, 101, menu101),
    Record(RT_MENU, 114, menu114),
    Record(RT_MENU, 115, menu115),
    Record(RT_MENU, 116, menu116),

    Record(RT_RCDATA, 101, menuBar101),
    Record(RT_RCDATA, 114, menuBar114),
    Record(RT_RCDATA, 115, menuBar115),
    Record(RT_RCDATA, 116, menuBar116),

    Record(RT_DIALOG, 113, dialog113),
    Record(RT_DIALOG, 114, dialog114),
    Record(RT_DIALOG, 115, dialog115),
    Record(RT_DIALOG, 116, dialog116),

    Picture(RT_BITMAP, 109, picture109),
    Picture(RT_BITMAP, 111, picture111),
    Picture(RT_BITMAP, 116, picture116),
    Picture(RT_BITMAP, 117, picture117),
    Picture(RT_BITMAP, 118, picture118),
    Picture(RT_BITMAP, 119, picture119),
    Picture(RT_BITMAP, 120, picture120),
    Picture(RT_BITMAP, 121, picture121),
    Picture(RT_GROUP_ICON, 106, picture106),

    Record(RT_VERSION, 1, version),
};

extern const std::size_t resourceCount = sizeof(resourceTable) / sizeof(resourceTable[0]);
