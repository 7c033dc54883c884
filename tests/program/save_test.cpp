// SPDX-License-Identifier: GPL-3.0-or-later
// A save that fails after a confirmed dialog is told in the chosen language
// with its reason and logged; the values stay in effect. One that succeeds
// is logged and shows nothing.
#include <algorithm>

#include "platform/eventlog.h"
#include "platform/platform.h"
#include "platform/sim/sim_eventlog.h"
#include "program_fixture.h"
#include "settings/settings.h"

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
    const LONG codes[] = {ERROR_ACCESS_DENIED,  ERROR_DISK_FULL,     ERROR_WRITE_PROTECT,
                          ERROR_FILE_INVALID,   ERROR_PATH_NOT_FOUND, ERROR_FILE_TOO_LARGE,
                          ERROR_FILE_CORRUPT,   ERROR_INVALID_OWNER, ERROR_INVALID_ACL,
                          31};
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

} // namespace
