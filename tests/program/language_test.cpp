// SPDX-License-Identifier: GPL-3.0-or-later
// The platform's own texts (message-box buttons) follow the chosen language:
// from the stored one before anything can be shown, and after a confirmed
// change in the language dialog.
#include <vector>

#include "platform/platform.h"
#include "platform/sim/sim_nls.h"
#include "program_fixture.h"
#include "settings/settings.h"

namespace {

using LanguageTest = ProgramTest;

// The capture failure is the first box the program can show at creation;
// it must already speak the stored language.
TEST_F(LanguageTest, StoredLanguageIsSetBeforeTheFirstBox)
{
    struct Case {
        int stored;
        LANGID expected;
    };
    for (Case c :
         {Case{0, LANG_GERMAN_GERMANY}, Case{1, LANG_ENGLISH_US}, Case{7, LANG_GERMAN_GERMANY}}) {
        ResetProgram();
        StoredSettings stored;
        stored.Language = c.stored;
        StoreSettings(stored);
        SimSetEndTime(Tick(20));
        SimWaveFailNth(SimWaveOp::Open, 1);
        std::vector<LANGID> atBox;
        SimOnMessageBox([&](const SimMessageBox&) {
            atBox.push_back(SimUILanguage());
            return IDOK;
        });
        EXPECT_EQ(RunProgram(), 0);
        ASSERT_EQ(atBox.size(), 1u) << "stored " << c.stored;
        EXPECT_EQ(atBox[0], c.expected) << "stored " << c.stored;
        EXPECT_EQ(SimUILanguageCalls(), std::vector<LANGID>{c.expected}) << "stored " << c.stored;
    }
}

// A confirmed change switches at once, so the next exit question speaks it;
// a cancelled dialog leaves the language alone.
TEST_F(LanguageTest, ConfirmedDialogSwitchesAndCancelDoesNot)
{
    for (bool confirm : {true, false}) {
        ResetProgram();
        StoreSettings({});
        SimSetEndTime(Tick(60));
        SimOnDialog([confirm](HWND dialog) {
            SimDialogClickRadio(dialog, 101);
            SimPressDialogMenuBarButton(dialog, confirm ? 1 : 0);
        });
        LANGID atExitQuestion = 0;
        SimOnMessageBox([&](const SimMessageBox&) {
            atExitQuestion = SimUILanguage();
            return IDNO;
        });
        SimAt(Tick(5), [] { EXPECT_TRUE(SimChooseMenuCommand(SimMainWindow(), 450)); });
        SimAt(Tick(20), [] { EXPECT_TRUE(SimChooseMenuCommand(SimMainWindow(), 900)); });
        EXPECT_EQ(RunProgram(), 0);
        if (confirm) {
            EXPECT_EQ(SimUILanguageCalls(),
                      (std::vector<LANGID>{LANG_GERMAN_GERMANY, LANG_ENGLISH_US}));
            EXPECT_EQ(atExitQuestion, LANG_ENGLISH_US);
        } else {
            EXPECT_EQ(SimUILanguageCalls(), std::vector<LANGID>{LANG_GERMAN_GERMANY});
            EXPECT_EQ(atExitQuestion, LANG_GERMAN_GERMANY);
        }
    }
}

// The new bar of a confirmed switch must not read "Start" while monitoring
// runs: pressing it would stop monitoring. Found by the soak.
TEST_F(LanguageTest, SwitchWhileMonitoringKeepsTheButtonReadingStop)
{
    for (bool monitoring : {true, false}) {
        ResetProgram();
        StoreSettings({});
        SimSetEndTime(Tick(60));
        SimOnDialog([](HWND dialog) {
            SimDialogClickRadio(dialog, 101);
            SimPressDialogMenuBarButton(dialog, 1);
        });
        if (monitoring)
            SimAt(Tick(2), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
        SimAt(Tick(5), [] { EXPECT_TRUE(SimChooseMenuCommand(SimMainWindow(), 450)); });
        std::u16string caption;
        SimAt(Tick(10), [&] { caption = SimMenuBarButtons(SimMainWindow())[0].text; });
        // Pressing it does what it says.
        SimAt(Tick(20), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
        std::u16string after;
        SimAt(Tick(30), [&] { after = SimMenuBarButtons(SimMainWindow())[0].text; });
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_EQ(SimMenuBarsCreated(SimMainWindow()), 2);
        EXPECT_EQ(caption, monitoring ? u"Stop" : u"Start");
        EXPECT_EQ(after, monitoring ? u"Start" : u"Stop");
        EXPECT_EQ(settings.Language, 1);
    }
}

} // namespace
