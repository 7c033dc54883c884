// SPDX-License-Identifier: GPL-3.0-or-later
// Every resource id by name: commands, dialogs, menus, menu bars, controls,
// strings and pictures. The numbers are the program's own (the menu bars,
// the dialogs and the pictures are found by them); the names are for people.
// One number may name things of different kinds: 116 is the English menu,
// the language dialog and the alarm clock's picture.
#pragma once

#include "platform/types.h"

// Commands (WM_COMMAND of the main window's menu and menu bar).
constexpr UINT cmdMenu = 100; // the menu bar's right button: opens the pop-up
constexpr UINT cmdMicrophoneDialog = 200;
constexpr UINT cmdPhoneDialog = 300;
constexpr UINT cmdContactDialog = 400;
constexpr UINT cmdLanguageDialog = 450;
constexpr UINT cmdStartStop = 500;
constexpr UINT cmdExit = 900;

// Dialog templates (RT_DIALOG).
constexpr UINT dlgMicrophone = 113;
constexpr UINT dlgPhone = 114;
constexpr UINT dlgContact = 115;
constexpr UINT dlgLanguage = 116;

// Menus (RT_MENU) and the menu-bar records (RT_RCDATA) built from them; each
// bar has the id of its menu.
constexpr UINT menuMainGerman = 101;
constexpr UINT menuMainEnglish = 116;
constexpr UINT menuDialogGerman = 114;
constexpr UINT menuDialogEnglish = 115;
constexpr UINT barMainGerman = menuMainGerman;
constexpr UINT barMainEnglish = menuMainEnglish;
constexpr UINT barDialogGerman = menuDialogGerman;
constexpr UINT barDialogEnglish = menuDialogEnglish;

// Controls of the dialogs; -1 is a control without id. The same number
// names different controls in different dialogs.
constexpr int ctlNone = -1;
// Microphone dialog: a progress bar, a "-" and a "+" per percentage.
constexpr int ctlMicrophoneGroup = 50;
constexpr int ctlSensitivityLabel = 51;
constexpr int ctlVolThreshLabel = 52;
constexpr int ctlCallingGroup = 60;
constexpr int ctlCryThreshLabel = 61;
constexpr int ctlVolSensiBar = 100;
constexpr int ctlVolThreshBar = 110;
constexpr int ctlCryThreshBar = 120;
constexpr int ctlVolSensiLess = 200;
constexpr int ctlVolSensiMore = 210;
constexpr int ctlVolThreshLess = 220;
constexpr int ctlVolThreshMore = 230;
constexpr int ctlCryThreshLess = 240;
constexpr int ctlCryThreshMore = 250;
// Below them: the room, the cry check and calibration.
constexpr int ctlRoomGroup = 300;
constexpr int ctlCryCheckBox = 301;
constexpr int ctlCalibrateButton = 302;
constexpr int ctlCalibrationStatus = 303;
// Phone dialog.
constexpr int ctlPhoneGroup = 50;
constexpr int ctlPhoneNumberLabel = 60;
constexpr int ctlPhoneDelayLabel = 61;
constexpr int ctlPhoneMaxCallsLabel = 62;
constexpr int ctlMinutesLabel = 63;
constexpr int ctlCallsLabel = 64;
constexpr int ctlPhoneNumber = 100;
constexpr int ctlPhoneDelay = 110;
constexpr int ctlPhoneMaxCalls = 120;
// Phone dialog, below the first group: the numbers tried when the first
// does not answer, and how long each may ring.
constexpr int ctlMoreNumbersGroup = 300;
constexpr int ctlPhoneNumber2Label = 301;
constexpr int ctlPhoneNumber2 = 302;
constexpr int ctlPhoneNumber3Label = 303;
constexpr int ctlPhoneNumber3 = 304;
constexpr int ctlPhoneRingSeconds = 305;
constexpr int ctlRingSecondsLabel = 306;
// Contact dialog.
constexpr int ctlContactLabel = 50;
// Language dialog: one radio button per language.
constexpr int ctlGermanButton = 100;
constexpr int ctlEnglishButton = 101;
// Language dialog: the switch for the night's dimmed screen.
constexpr int ctlDimScreen = 300;

// Strings (RT_STRING). The localised texts have German ids from
// strLocalFirst up to (not including) strLocalEnd; each other language's
// twin sits at the German id plus that language's offset (see the language
// table in settings/settings.h), so the English texts run from 5000 to 8999.
// The ids from strSharedFirst, outside every language's range, are the same
// in every language.
constexpr UINT strLocalFirst = 1000;
constexpr UINT strLocalEnd = 5000;
constexpr UINT strEnglishOffset = 4000;
constexpr UINT strSharedFirst = 10000;

constexpr UINT strExitQuestion = 1000;
constexpr UINT strNoRecorder = 1001;
constexpr UINT strNoCallNumber = 1002;
constexpr UINT strStart = 1003;
constexpr UINT strStop = 1004;
constexpr UINT strStatus = 1005;
constexpr UINT strContact = 1008;
constexpr UINT strPhone = 1009;
constexpr UINT strCallNumber = 1010;
constexpr UINT strCallingDelay = 1011;
constexpr UINT strMaximum = 1012;
constexpr UINT strMinutes = 1013;
constexpr UINT strCalls = 1014;
constexpr UINT strMicrophone = 1015;
constexpr UINT strSensitivity = 1016;
constexpr UINT strThreshold = 1017;
constexpr UINT strCalling = 1018;
constexpr UINT strBadCallNumber = 1019;
constexpr UINT strCallNumberTooLong = 1020;
// The status lines.
constexpr UINT strMicrophoneListening = 1021;
constexpr UINT strMicrophoneUnavailable = 1022;
constexpr UINT strRouteModem = 1023;
constexpr UINT strRouteCommand = 1024;
constexpr UINT strRouteLogged = 1025;
constexpr UINT strRouteSip = 1026;
constexpr UINT strCallsThisRun = 1027;
constexpr UINT strLastCall = 1028;
constexpr UINT strCallRequested = 1029;
constexpr UINT strCallInProgress = 1030;
constexpr UINT strCallEnded = 1031;
constexpr UINT strCallFailed = 1032;
constexpr UINT strCallLogged = 1033;
constexpr UINT strCallLimitReached = 1034;
constexpr UINT strNoWayToCall = 1035;
constexpr UINT strNoCallsAllowed = 1036;
// A failed save: what happened, why, and what becomes of the values.
constexpr UINT strSaveFailed = 1040;
constexpr UINT strStoreAccessDenied = 1041;
constexpr UINT strStoreFull = 1042;
constexpr UINT strStoreReadOnly = 1043;
constexpr UINT strStoreNotAFile = 1044;
constexpr UINT strStoreNoFolder = 1045;
constexpr UINT strStoreError = 1046;
constexpr UINT strValuesKeptUntilExit = 1047;
// A store that is refused: why, and what holds meanwhile.
constexpr UINT strReadFailed = 1060;
constexpr UINT strStoreTooLarge = 1061;
constexpr UINT strStoreCutShort = 1062;
constexpr UINT strStoreOtherOwner = 1063;
constexpr UINT strStoreOpenToOthers = 1064;
constexpr UINT strDefaultsMeanwhile = 1065;
// The room, the cry check and calibration (microphone dialog).
constexpr UINT strRoom = 1070;
constexpr UINT strCryCheck = 1071;
constexpr UINT strCalibrate = 1072;
constexpr UINT strCalibrating = 1073;
constexpr UINT strCalibrated = 1074;
constexpr UINT strCalibrationSilent = 1075;
constexpr UINT strCalibrationTooLoud = 1076;
constexpr UINT strCalibrationTooShort = 1077;
// The window for any screen.
constexpr UINT strRecorderError = 1140; // the second line under strNoRecorder: the device's error
constexpr UINT strRunningUnseen = 1141; // a start beside a copy nobody can see
// The night's dimmed screen.
constexpr UINT strDimScreen = 1150;
// A call answered or not, and the numbers tried in turn.
constexpr UINT strCallAnswered = 1090;
constexpr UINT strCallNotAnswered = 1091;
constexpr UINT strCallFailedBecause = 1092; // %s: the phone's reason
constexpr UINT strMoreNumbers = 1093;
constexpr UINT strSecondNumber = 1094;
constexpr UINT strThirdNumber = 1095;
constexpr UINT strSecondsPerNumber = 1096;
constexpr UINT strRingSecondsRange = 1097;
// The parent's word when the monitor stops watching, and when it watches again.
constexpr UINT strWordMicrophoneSilent = 1105;
constexpr UINT strWordMicrophoneBack = 1106;
constexpr UINT strWordCallsImpossible = 1107;
constexpr UINT strWordCallsBack = 1108;
constexpr UINT strWordMonitoringEnded = 1109;
constexpr UINT strWordMonitoringOn = 1110; // %d calls at most, %s the number
// The same in every language.
constexpr UINT strAppTitle = 10000; // the caption of every window and message box
constexpr UINT strMaker = 10001;
// The menu bars' button texts, one set per bar.
constexpr UINT strBarMenuGerman = 40012;
constexpr UINT strBarStart = 40014;
constexpr UINT strBarCancelGerman = 40019;
constexpr UINT strBarOk = 40021;
constexpr UINT strBarCancelEnglish = 40024;
constexpr UINT strBarMenuEnglish = 40025;

// Pictures (RT_BITMAP) and the icon (RT_GROUP_ICON).
constexpr UINT icoProgram = 106;
constexpr UINT bmpDummy = 109;
constexpr UINT bmpBottle = 111;
constexpr UINT bmpAlarmClock = 116;
constexpr UINT bmpTelephone = 117;
constexpr UINT bmpPlay = 118; // shown while monitoring runs
constexpr UINT bmpStop = 119; // shown while it does not
constexpr UINT bmpBritishFlag = 120;
constexpr UINT bmpGermanFlag = 121;

// The version record (RT_VERSION).
constexpr UINT versionRecord = 1;
