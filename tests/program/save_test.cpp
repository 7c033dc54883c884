// SPDX-License-Identifier: GPL-3.0-or-later
// A save that fails after a confirmed dialog is told in the chosen language
// with its reason and logged; the values stay in effect. One that succeeds
// is logged and shows nothing.
#include <algorithm>

#include "platform/eventlog.h"
#include "platform/platform.h"
#include "platform/sim/sim_eventlog.h"
#include "platform/sim/sim_phone.h"
#include "program_fixture.h"
#include "settings/settings.h"
#include "shell/shell.h"

namespace {

using SaveTest = ProgramTest;

// Confirms the dialog of `command` at tick 5 after `prepare`; the run ends at
// tick 40. Every message box is answered with OK.
void ConfirmDialog(WORD command, std::function<void(HWND)> prepare)
{
    SimSetEndTime(Tick(40));
    SimOnDialog([prepare](HWND dialog) {
        prepare(dialog);
        SimPressDialogMenuBarButton(dialog, 1); // OK
    });
    SimAt(Tick(5), [command] { SimChooseMenuCommand(SimMainWindow(), command); });
    EXPECT_EQ(RunProgram(), 0);
}

std::vector<std::string> Events(WORD type)
{
    std::vector<std::string> texts;
    for (const SimEvent& event : SimEventLog()) {
        if (event.type == type)
            texts.push_back(event.text);
    }
    return texts;
}

TEST_F(SaveTest, RefusedStoreIsToldWithItsReasonAndTheNumberStillCounts)
{
    StoreSettings({});
    SimRegistryFailCreate(true);
    ConfirmDialog(300, [](HWND dialog) { SimDialogType(dialog, 100, u"0301234"); });
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              Text("Die Einstellungen konnten nicht gespeichert werden.\n\n"
                   "Cradlecom darf die Einstellungsdatei oder ihren Ordner nicht lesen oder "
                   "beschreiben.\n\nDie neuen Werte gelten, bis Cradlecom beendet wird."));
    EXPECT_EQ(boxes[0].caption, u"Cradlecom");
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(Events(EVENTLOG_ERROR_TYPE),
              std::vector<std::string>{"settings not saved: access denied (error 5)"});
    std::vector<std::string> info = Events(EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(std::find(info.begin(), info.end(), "settings saved"), info.end());
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"0301234"); // in effect until the end
    std::vector<BYTE> stored;
    ASSERT_TRUE(SimRegistryGetValue(settingsKey, u"PhoneNumber", nullptr, &stored));
    EXPECT_EQ(stored[0], '+'); // the old number is still the stored one
}

// The language dialog saves before the new bar: the box speaks the new
// language, and the bar is rebuilt all the same.
TEST_F(SaveTest, FullDiskAfterTheLanguageDialogIsToldInTheChosenLanguage)
{
    StoreSettings({});
    SimRegistryFailCommit(ERROR_DISK_FULL);
    std::vector<SimMenuButton> bar;
    SimAt(Tick(30), [&] { bar = SimMenuBarButtons(SimMainWindow()); });
    ConfirmDialog(450, [](HWND dialog) { SimDialogClickRadio(dialog, 101); });
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"The settings could not be saved.\n\nThe storage is full.\n\n"
                             u"The new values apply until Cradlecom is closed.");
    EXPECT_EQ(Events(EVENTLOG_ERROR_TYPE),
              std::vector<std::string>{"settings not saved: disk full (error 112)"});
    EXPECT_EQ(settings.Language, 1);
    ASSERT_EQ(bar.size(), 2u);
    EXPECT_EQ(bar[1].text, u"Menu");
}

// Every reason has its words in both languages; an unexpected code still
// gets a sentence, never an empty line.
TEST_F(SaveTest, EveryReasonReadsInBothLanguages)
{
    const LONG codes[] = {ERROR_ACCESS_DENIED,  ERROR_DISK_FULL,
                          ERROR_WRITE_PROTECT,  ERROR_FILE_INVALID,
                          ERROR_PATH_NOT_FOUND, ERROR_FILE_TOO_LARGE,
                          ERROR_FILE_CORRUPT,   ERROR_INVALID_OWNER,
                          ERROR_INVALID_ACL,    31};
    std::vector<UINT> ids;
    for (LONG code : codes) {
        UINT id = SaveFailureTextId(code);
        EXPECT_EQ(std::find(ids.begin(), ids.end(), id), ids.end()) << code;
        ids.push_back(id);
        EXPECT_NE(std::u16string(SaveFailureLogWords(code)), u"") << code;
        for (UINT localId : {id, id + 4000}) {
            WCHAR text[256] = {};
            EXPECT_GT(LoadStringW(nullptr, localId, text, 256), 15) << localId;
        }
    }
    StoreSettings({});
    SimRegistryFailCommit(31);
    ConfirmDialog(200, [](HWND dialog) { SimDialogPush(dialog, 210); });
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(Text("Beim Lesen oder Schreiben der Einstellungen")),
              std::u16string::npos);
    EXPECT_EQ(Events(EVENTLOG_ERROR_TYPE),
              std::vector<std::string>{"settings not saved: read or write error (error 31)"});
}

TEST_F(SaveTest, SuccessfulSaveIsLoggedAndShowsNothing)
{
    StoreSettings({});
    ConfirmDialog(200, [](HWND) {});
    EXPECT_TRUE(SimMessageBoxes().empty());
    std::vector<std::string> info = Events(EVENTLOG_INFORMATION_TYPE);
    EXPECT_NE(std::find(info.begin(), info.end(), "settings saved"), info.end());
    EXPECT_TRUE(Events(EVENTLOG_ERROR_TYPE).empty());
}

// Another program saves a new number and threshold while the phone dialog
// is open: its OK, the boxes untouched, keeps them; the microphone dialog
// opened next shows the new threshold and its OK writes only its own change;
// the call goes to the new number, and the log tells what was taken.
TEST_F(SaveTest, ARunningCopyTakesWhatAnotherProgramSavedAndNeverUndoesIt)
{
    StoreSettings({});
    SimSetInput(QuietLoud({30.0, 30.0}));
    SimSetEndTime(Tick(600));
    SimAt(0, [] { PostMessageW(SimMainWindow(), WM_COMMAND, 500, 0); });
    SimAt(Tick(5), [] { SimChooseMenuCommand(SimMainWindow(), 300); });
    SimAt(Tick(20), [] {
        SimRegistrySetText(settingsKey, u"PhoneNumber", u"0170 2222222");
        SimRegistrySetText(settingsKey, u"CryThresh", u"60");
    });
    SimAt(Tick(160), [] { SimChooseMenuCommand(SimMainWindow(), 200); });
    int shownThreshold = -1;
    SimOnDialog([&shownThreshold](HWND dialog) {
        if (SimDialogTemplateId(dialog) == 114) {
            SimAt(Tick(150), [dialog] { SimPressDialogMenuBarButton(dialog, 1); });
            return;
        }
        shownThreshold = SimDialogProgress(dialog, 120);
        SimDialogPush(dialog, 210);
        SimPressDialogMenuBarButton(dialog, 1);
    });
    EXPECT_EQ(RunProgram(), 0);

    EXPECT_EQ(shownThreshold, 60);
    std::vector<SimCall> calls = SimCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].number, u"0170 2222222");
    auto stored = [](const char16_t* name) {
        std::vector<BYTE> bytes;
        SimRegistryGetValue(settingsKey, name, nullptr, &bytes);
        std::u16string text;
        for (std::size_t i = 0; i + 3 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
        return text;
    };
    EXPECT_EQ(stored(u"PhoneNumber"), u"0170 2222222");
    EXPECT_EQ(stored(u"CryThresh"), u"60");
    EXPECT_EQ(stored(u"VolSensi"), u"55");
    EXPECT_EQ(EventCount("settings taken from the store: PhoneNumber=0170 2222222"), 1);
    EXPECT_EQ(EventCount("settings taken from the store: CryThresh=60"), 1);
}

// A store that cannot be read is named at start, in the window and in the
// log, instead of leaving the user to wonder why no number is set; at an
// unattended start the same goes to standard error.
TEST_F(SaveTest, RefusedStoreIsToldAtStartWithItsReason)
{
    for (int unattended : {0, 1}) {
        ResetProgram();
        StoreSettings({});
        SimRegistryFailOpen(true);
        shell.unattendedStart = unattended;
        SimSetEndTime(Tick(20));
        RunProgram();
        EXPECT_EQ(EventCount("settings not read: access denied (error 5); the defaults apply and "
                             "nothing is saved"),
                  1);
        const std::string told = "Die Einstellungen konnten nicht gelesen werden.";
        if (unattended == 0) {
            std::vector<SimMessageBox> boxes = SimMessageBoxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text.find(Text(told.c_str())), 0u);
            EXPECT_NE(boxes[0].text.find(Text("Cradlecom darf die Einstellungsdatei")),
                      std::u16string::npos);
        } else {
            std::vector<std::string> lines = SimStandardError();
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines[0].find("Cradlecom: " + told + " Cradlecom darf"), 0u) << lines[0];
        }
    }
}

} // namespace
