// SPDX-License-Identifier: GPL-3.0-or-later
// The night: a minute of monitoring untouched dims the window; the first
// touch or press only wakes it; not monitoring, or DimScreen=0, keeps it
// bright; the language dialog's check box stores the choice.
#include "platform/platform.h"
#include "program_fixture.h"
#include "resources/ids.h"
#include "shell/shell.h"

namespace {

using NightTest = ProgramTest;

constexpr long minute = 60 * ticksPerSecond;

TEST_F(NightTest, AMinuteUntouchedDimsAndTheFirstPressOnlyWakes)
{
    StoreSettings({});
    SimSetEndTime(Tick(5 * minute));
    HWND window = nullptr;
    SimAt(Tick(5), [&] {
        window = SimMainWindow();
        SimPressMenuBarButton(window, 0); // Start
    });
    // A touch half a minute in starts the minute again.
    SimAt(Tick(5 + minute / 2), [] { SimTouchWindow(); });
    SimAt(Tick(minute + 20), [&] { EXPECT_FALSE(SimWindowDimmed(window)); });
    SimAt(Tick(5 + minute / 2 + minute + 2), [&] {
        EXPECT_TRUE(SimWindowDimmed(window));
        SimPressMenuBarButton(window, 0); // in the dark: wakes, does not stop
    });
    SimAt(Tick(5 + minute / 2 + minute + 4), [&] {
        EXPECT_FALSE(SimWindowDimmed(window));
        EXPECT_EQ(monitor.monitoring, 1);
        SimPressMenuBarButton(window, 0); // awake: Stop
    });
    // Not monitoring: bright however long nobody touches it.
    SimAt(Tick(5 * minute - 1), [&] {
        EXPECT_EQ(monitor.monitoring, 0);
        EXPECT_FALSE(SimWindowDimmed(window));
    });
    EXPECT_EQ(RunProgram(), 0);
}

TEST_F(NightTest, SwitchedOffInTheLanguageDialogItStaysBright)
{
    StoreSettings({});
    SimSetEndTime(Tick(3 * minute));
    SimOnDialog([](HWND dialog) {
        EXPECT_TRUE(SimDialogChecked(dialog, ctlDimScreen)); // on by default
        EXPECT_EQ(SimDialogItemText(dialog, ctlDimScreen), u"Bildschirm nachts abdunkeln");
        EXPECT_TRUE(SimDialogClickCheckBox(dialog, ctlDimScreen));
        SimPressDialogMenuBarButton(dialog, 1); // OK
    });
    SimAt(Tick(5), [] { EXPECT_TRUE(SimChooseMenuCommand(SimMainWindow(), cmdLanguageDialog)); });
    SimAt(Tick(10), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    SimAt(Tick(3 * minute - 1), [] {
        EXPECT_EQ(monitor.monitoring, 1);
        EXPECT_FALSE(SimWindowDimmed(SimMainWindow()));
    });
    EXPECT_EQ(RunProgram(), 0);
    std::vector<BYTE> bytes;
    ASSERT_TRUE(SimRegistryGetValue(settingsKey, u"DimScreen", nullptr, &bytes));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], '0'); // stored as text
    EXPECT_EQ(bytes[1], 0);
}

} // namespace
