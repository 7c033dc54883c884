// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, the single-instance rule, the main window's messages and the
// exit, with the whole program on the simulated platform.
#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/platform.h"
#include "platform/sim/sim_eventlog.h"
#include "platform/sim/sim_nls.h"
#include "program_fixture.h"
#include "settings/settings.h"
#include "shell/shell.h"

using ShellTest = ProgramTest;

// Settings are loaded before the menu bar, so an English store gives the
// English bar; capture and the timer run from the first tick.
TEST_F(ShellTest, StartsWithStoredLanguageCaptureAndTimer)
{
    StoredSettings stored;
    stored.Language = 1;
    StoreSettings(stored);
    SimSetInput(QuietLoud({3.0}));
    bool checked = false;
    SimAt(Tick(1), [&] {
        HWND window = SimMainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(SimWindowVisible(window));
        EXPECT_EQ(SimWindowTitle(window), u"Cradlecom");
        std::vector<SimMenuButton> buttons = SimMenuBarButtons(window);
        ASSERT_EQ(buttons.size(), 2u);
        EXPECT_EQ(buttons[0].text, u"Start");
        EXPECT_EQ(buttons[0].command, 500);
        EXPECT_EQ(buttons[1].text, u"Menu");
        EXPECT_TRUE(SimHasTimer(window, 100));
        EXPECT_TRUE(SimWaveIsOpen());
        EXPECT_EQ(SimWaveQueued(), 2);
        checked = true;
    });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(SimDialogRuns().empty());
    EXPECT_TRUE(SimMessageBoxes().empty());
    EXPECT_FALSE(SimWaveIsOpen()); // taken down on destroy
    EXPECT_EQ(SimHeapLiveBlocks(), 0);
    EXPECT_EQ(SimFaults(), 0) << SimLastFault();
}

// The three first-use cases: no key, key without marker, key with marker.
// Without a key the very first start writes the defaults in the locale's
// language, and so asks for the language at once.
TEST_F(ShellTest, LanguageDialogOpensOnlyOnTheFirstStart)
{
    SimSetUserLanguage(LANG_ENGLISH_US);
    SimSetEndTime(Tick(30));
    SimOnDialog([](HWND dialog) {
        EXPECT_TRUE(SimDialogChecked(dialog, 101)); // English, from the locale
        SimPressDialogMenuBarButton(dialog, 0);     // Cancel keeps it
    });
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(SimDialogRuns().size(), 1u);
    EXPECT_EQ(SimDialogRuns()[0].templateId, 116u);
    std::vector<BYTE> written;
    ASSERT_TRUE(SimRegistryGetValue(settingsKey, u"Language", nullptr, &written));
    EXPECT_EQ(written, (std::vector<BYTE>{'1', 0, 0, 0}));
    EXPECT_TRUE(SimRegistryGetValue(settingsKey, u"VolSensi", nullptr, &written));
    EXPECT_TRUE(SimRegistryGetValue(settingsKey, u"FirstUse", nullptr, nullptr));

    ResetProgram();
    StoredSettings stored;
    stored.firstUse = false;
    StoreSettings(stored);
    SimSetEndTime(Tick(30));
    std::vector<SimMenuButton> bar;
    SimAt(Tick(20), [&] { bar = SimMenuBarButtons(SimMainWindow()); });
    SimOnDialog([](HWND dialog) {
        EXPECT_TRUE(SimWindowVisible(SimMainWindow())); // after the window is shown
        SimDialogClickRadio(dialog, 101);
        SimPressDialogMenuBarButton(dialog, 1); // OK
    });
    EXPECT_EQ(RunProgram(), 0);
    std::vector<SimDialogRun> runs = SimDialogRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].templateId, 116u);
    EXPECT_EQ(runs[0].result, 0);
    EXPECT_TRUE(SimRegistryGetValue(settingsKey, u"FirstUse", nullptr, nullptr));
    std::vector<BYTE> language;
    ASSERT_TRUE(SimRegistryGetValue(settingsKey, u"Language", nullptr, &language));
    EXPECT_EQ(language, (std::vector<BYTE>{'1', 0, 0, 0}));
    EXPECT_EQ(SimMenuBarsCreated(SimMainWindow()), 2);
    ASSERT_EQ(bar.size(), 2u);
    EXPECT_EQ(bar[1].text, u"Menu");

    ResetProgram();
    StoreSettings(stored);
    SimRegistrySetText(settingsKey, u"FirstUse", u"0"); // any text counts
    SimSetEndTime(Tick(30));
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(SimDialogRuns().empty());
}

TEST_F(ShellTest, ExitOnlyAfterYes)
{
    StoreSettings({});
    SimSetEndTime(Tick(200));
    int asked = 0;
    SimOnMessageBox([&](const SimMessageBox& box) {
        ++asked;
        EXPECT_EQ(box.text, Text("Möchten Sie das Cradlecom jetzt beenden ?"));
        EXPECT_EQ(box.caption, u"Cradlecom");
        EXPECT_EQ(box.type, MB_YESNO | MB_ICONQUESTION);
        SimPumpMessages(SimNow() + Tick(5)); // the tick goes on while asking
        return asked == 1 ? IDNO : IDYES;
    });
    long ticksWhileAsking = 0;
    SimAt(Tick(10), [&] { SimChooseMenuCommand(SimMainWindow(), 900); });
    SimAt(Tick(20), [&] { ticksWhileAsking = monitor.tickCount; });
    SimAt(Tick(30), [&] { SimChooseMenuCommand(SimMainWindow(), 900); });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ticksWhileAsking, 19); // ticks 10 to 15 came while the box was open
    EXPECT_LT(SimNow(), Tick(40));   // ended at the second answer, not at the end of the run
    EXPECT_FALSE(SimWindowAlive(SimMainWindow()));
}

// The title bar's close button asks as Exit does; No keeps monitoring.
TEST_F(ShellTest, CloseButtonAsksTheExitQuestion)
{
    StoreSettings({});
    SimSetEndTime(Tick(200));
    std::vector<std::u16string> asked;
    SimOnMessageBox([&](const SimMessageBox& box) {
        asked.push_back(box.text);
        return asked.size() == 1 ? IDNO : IDYES;
    });
    SimAt(Tick(5), [] { SimPressMenuBarButton(SimMainWindow(), 0); }); // Start
    SimAt(Tick(10), [] { SimPressCloseButton(SimMainWindow()); });
    bool monitoringAfterNo = false;
    SimAt(Tick(20), [&] { monitoringAfterNo = monitor.monitoring == 1; });
    SimAt(Tick(30), [] { SimPressCloseButton(SimMainWindow()); });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(asked, (std::vector<std::u16string>(2, Text("Möchten Sie das Cradlecom jetzt "
                                                          "beenden ?"))));
    EXPECT_TRUE(monitoringAfterNo);
    EXPECT_LT(SimNow(), Tick(31));
}

// A close from outside goes to the default procedure: no question.
TEST_F(ShellTest, ExternalCloseEndsWithoutTheQuestion)
{
    StoreSettings({});
    SimSetEndTime(Tick(200));
    SimAt(Tick(15), [] { PostMessageW(SimMainWindow(), WM_CLOSE, 0, 0); });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(SimMessageBoxes().empty());
    EXPECT_LT(SimNow(), Tick(16));
    EXPECT_FALSE(SimWaveIsOpen());
}

TEST_F(ShellTest, CaptureFailureIsToldOnceAndRetriedByTheRestart)
{
    StoreSettings({});
    SimSetInput(QuietLoud({12.0}));
    SimWaveFailNth(SimWaveOp::Open, 1);
    bool visibleWhenTold = true;
    SimOnMessageBox([&](const SimMessageBox&) {
        visibleWhenTold = SimWindowVisible(SimMainWindow());
        return IDOK;
    });
    bool openAfterRestart = false;
    SimAt(Tick(99), [] { EXPECT_FALSE(SimWaveIsOpen()); });
    SimAt(Tick(101), [&] { openAfterRestart = SimWaveIsOpen(); });
    EXPECT_EQ(RunProgram(), 0);
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Text("Das Aufzeichnungsgerät konnte nocht initialisiert werden !\n"
                                  "Fehler des Geräts: no driver (error 6)"));
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONHAND);
    EXPECT_FALSE(visibleWhenTold);
    EXPECT_TRUE(openAfterRestart);
}

// Nobody may be there to close the box at an unattended start: monitoring
// and the ten-second retry go on while it waits. Found by the soak.
TEST_F(ShellTest, CaptureIsRetriedWhileTheFailureBoxWaits)
{
    StoreSettings({});
    SimSetInput(QuietLoud({40.0}));
    SimWaveFailNth(SimWaveOp::Open, 1);
    long ticksWhileOpen = 0;
    bool openWhileTold = false;
    SimOnMessageBox([&](const SimMessageBox&) {
        long ticks = 0;
        SimOnTimerHandled([&ticks](HWND, UINT_PTR) { ++ticks; });
        SimPumpMessages(Tick(250));
        SimOnTimerHandled(nullptr);
        ticksWhileOpen = ticks;
        openWhileTold = SimWaveIsOpen();
        return IDOK;
    });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(SimMessageBoxes().size(), 1u);
    EXPECT_EQ(ticksWhileOpen, 250);
    EXPECT_TRUE(openWhileTold);
    EXPECT_EQ(EventCount("microphone recovered"), 1);
}

// Only the whole wParam names a command; 100 is the menu button's own.
TEST_F(ShellTest, CommandsWithANotificationCodeMatchNothing)
{
    StoreSettings({});
    SimSetEndTime(Tick(20));
    SimAt(Tick(2), [] {
        PostMessageW(SimMainWindow(), WM_COMMAND, (1u << 16) | 500u, 0);
        PostMessageW(SimMainWindow(), WM_COMMAND, (1u << 16) | 900u, 0);
        PostMessageW(SimMainWindow(), WM_COMMAND, 100, 0);
    });
    SimAt(Tick(3), [] { EXPECT_EQ(monitor.monitoring, 0); });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(SimMessageBoxes().empty());
    EXPECT_EQ(MainWndProc(SimMainWindow(), WM_COMMAND, 100, 0), 0);
}

TEST_F(ShellTest, SecondCopyActivatesTheFirstWithoutSleeping)
{
    SimHoldForeignLock(u"CradleCom", -1);
    HWND running = SimDeclareForeignWindow(u"CradleCom", u"Cradlecom", 0);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(SimMainWindow(), nullptr);
    EXPECT_TRUE(SimSleeps().empty());
    std::vector<HWND> activations = SimActivations();
    ASSERT_EQ(activations.size(), 1u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(activations[0]),
              reinterpret_cast<std::uintptr_t>(running) | 1);
}

// Beside a copy nobody can see (the service's, offscreen), a start says so
// in the stored language, in a box where it has a screen and on standard
// error where it has none, and fails; the copy is neither raised nor asked.
TEST_F(ShellTest, SecondStartBesideAnUnseenCopySaysSo)
{
    for (int screens : {1, 0}) {
        ResetProgram();
        StoredSettings stored;
        stored.Language = 1;
        StoreSettings(stored);
        SimSetScreens(screens);
        SimHoldForeignLock(u"CradleCom", -1);
        SimSetForeignWindowSeen(SimDeclareForeignWindow(u"CradleCom", u"Cradlecom", 0), false);
        EXPECT_EQ(RunProgram(), 1);
        EXPECT_EQ(SimMainWindow(), nullptr);
        EXPECT_TRUE(SimActivations().empty());
        std::vector<std::string> told = SimStandardError();
        for (const SimMessageBox& box : SimMessageBoxes())
            told.push_back(std::string(box.text.begin(), box.text.end()));
        ASSERT_EQ(told.size(), 1u) << screens;
        EXPECT_NE(told[0].find("Cradlecom is running already, but without a window anybody can "
                               "see"),
                  std::string::npos);
        EXPECT_NE(told[0].find("systemctl --user stop cradlecom"), std::string::npos);
        EXPECT_EQ(SimMessageBoxes().size(), screens == 1 ? 1u : 0u);
    }
}

TEST_F(ShellTest, SecondCopyWaitsForTheFirstCopysWindow)
{
    SimHoldForeignLock(u"CradleCom", -1);
    SimDeclareForeignWindow(u"CradleCom", u"Cradlecom", 3);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(SimSleeps(), (std::vector<DWORD>{500, 500, 500}));
    EXPECT_EQ(SimActivations().size(), 1u);
    EXPECT_EQ(SimMainWindow(), nullptr);

    // A window of the class with another title is not the running copy.
    ResetProgram();
    SimHoldForeignLock(u"CradleCom", -1);
    SimDeclareForeignWindow(u"CradleCom", u"Other", 0);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(SimSleeps().size(), 5u); // five attempts, then give up
    EXPECT_TRUE(SimActivations().empty());
    EXPECT_EQ(SimMainWindow(), nullptr);
}

TEST_F(ShellTest, SecondCopyCarriesOnWhenTheFirstEndsWhileItWaits)
{
    SimHoldForeignLock(u"CradleCom", 2);
    StoreSettings({});
    SimSetEndTime(Tick(5));
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(SimSleeps().size(), 2u);
    EXPECT_NE(SimMainWindow(), nullptr);
    EXPECT_EQ(SimLockHandles(u"CradleCom"), 1); // kept for the life of the process
}
