// SPDX-License-Identifier: GPL-3.0-or-later
// The four dialogs, run from the main window's menu as a user would, and
// what the main window does with their results.
#include <algorithm>
#include <climits>

#include "alarm/monitor.h"
#include "audio/calibration.h"
#include "platform/platform.h"
#include "program_fixture.h"
#include "resources/ids.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/ui.h"

namespace {

class DialogsTest : public ProgramTest {
protected:
    // Runs the program with `stored`, opens the dialog of `command` at tick 5
    // and hands it to `handler`; the run ends at tick 50.
    void RunDialogOf(WORD command, const StoredSettings& stored, std::function<void(HWND)> handler)
    {
        StoreSettings(stored);
        SimSetEndTime(Tick(50));
        SimOnDialog(std::move(handler));
        SimAt(Tick(5), [command] { EXPECT_TRUE(SimChooseMenuCommand(SimMainWindow(), command)); });
        writesBefore = SimRegistryWriteCount();
        EXPECT_EQ(RunProgram(), 0);
    }

    static std::u16string Stored(const char16_t* name)
    {
        std::vector<BYTE> bytes;
        if (!SimRegistryGetValue(settingsKey, name, nullptr, &bytes))
            return u"<absent>";
        std::u16string text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
            if (unit == 0)
                break;
            text.push_back(unit);
        }
        return text;
    }

    static void Ok(HWND dialog) { SimPressDialogMenuBarButton(dialog, 1); }
    static void Cancel(HWND dialog) { SimPressDialogMenuBarButton(dialog, 0); }

    LRESULT LastResult()
    {
        std::vector<SimDialogRun> runs = SimDialogRuns();
        return runs.empty() ? 999 : runs.back().result;
    }

    long writesBefore = 0;
};

} // namespace

// Each button moves its field by 5 and only the bound it moves towards
// applies; the progress bar follows.
TEST_F(DialogsTest, MicrophoneButtonsAtTheirBounds)
{
    struct Case {
        int start;
        int button;
        int result;
    } cases[] = {{3, 200, 0},     {0, 200, 0},     {98, 210, 100}, {100, 210, 100},
                 {150, 200, 145}, {150, 210, 100}, {-7, 210, -2},  {50, 210, 55}};
    for (const Case& c : cases) {
        ResetProgram();
        StoredSettings stored;
        stored.VolSensi = c.start;
        int progress = -1;
        RunDialogOf(200, stored, [&](HWND dialog) {
            // A bar shows at most its range, 0 to 100.
            EXPECT_EQ(SimDialogProgress(dialog, 100), std::clamp(c.start, 0, 100));
            SimDialogPush(dialog, c.button);
            progress = SimDialogProgress(dialog, 100);
            Ok(dialog);
        });
        EXPECT_EQ(settings.VolSensi, c.result) << c.start << " " << c.button;
        EXPECT_EQ(progress, std::clamp(c.result, 0, 100));
        EXPECT_EQ(LastResult(), 0);
        // OK recomputes and saves.
        EXPECT_EQ(limits.sensiFactor.load(), 30000.0 - 295.0 * std::clamp(c.result, 0, 100));
        EXPECT_EQ(Stored(u"VolSensi"), Text(std::to_string(c.result).c_str()));
    }
}

// Cancel puts the live edits back, so that a later dialog's save cannot
// store them; nothing is recomputed or saved.
TEST_F(DialogsTest, MicrophoneCancelRestoresWhatItChanged)
{
    for (bool viaClose : {false, true}) {
        ResetProgram();
        RunDialogOf(200, {}, [&](HWND dialog) {
            for (int i = 0; i < 3; ++i)
                SimDialogPush(dialog, 230);
            SimDialogPush(dialog, 240);
            EXPECT_EQ(settings.VolThresh, 65); // live while open
            if (viaClose)
                SimDialogClose(dialog);
            else
                Cancel(dialog);
        });
        EXPECT_EQ(LastResult(), -1);
        EXPECT_EQ(settings.VolThresh, 50);
        EXPECT_EQ(settings.CryThresh, 50);
        EXPECT_EQ(limits.volLimit, 0.5);
        EXPECT_EQ(SimRegistryWriteCount(), writesBefore);
    }
}

TEST_F(DialogsTest, MicrophoneLabelsInBothLanguages)
{
    for (int language : {0, 1, 7}) {
        ResetProgram();
        StoredSettings stored;
        stored.Language = language;
        std::u16string caption, group, threshold, calling;
        std::vector<SimMenuButton> bar;
        RunDialogOf(200, stored, [&](HWND dialog) {
            caption = SimDialogCaption(dialog);
            group = SimDialogItemText(dialog, 50);
            threshold = SimDialogItemText(dialog, 61);
            calling = SimDialogItemText(dialog, 60);
            bar = SimDialogMenuBarButtons(dialog);
            EXPECT_TRUE(SimDialogFullScreen(dialog));
            Cancel(dialog);
        });
        EXPECT_EQ(caption, u"Cradlecom");
        ASSERT_EQ(bar.size(), 2u);
        EXPECT_EQ(bar[1].text, u"OK");
        EXPECT_EQ(bar[1].command, IDOK);
        EXPECT_EQ(bar[0].command, IDCANCEL);
        if (language == 1) {
            EXPECT_EQ(group, u"Microphone");
            EXPECT_EQ(threshold, u"Threshold");
            EXPECT_EQ(calling, u"Calling");
            EXPECT_EQ(bar[0].text, u"Cancel");
        } else { // an unknown language shows German, never an empty label
            EXPECT_EQ(group, u"Mikrofon");
            EXPECT_EQ(threshold, u"Reaktionsschwelle");
            EXPECT_EQ(calling, Text("Rufauslösung"));
            EXPECT_EQ(bar[0].text, u"Abbrechen");
        }
    }
}

TEST_F(DialogsTest, PhoneOkStoresTheBoxesAndCancelNothing)
{
    RunDialogOf(300, {}, [](HWND dialog) {
        EXPECT_EQ(SimDialogItemText(dialog, 100), u"+49 170 1234567");
        EXPECT_EQ(SimDialogItemText(dialog, 110), u"1");
        EXPECT_EQ(SimDialogItemText(dialog, 120), u"10");
        EXPECT_EQ(SimDialogItemText(dialog, 64), u"Anruf(e)");
        EXPECT_EQ(SimDialogItemText(dialog, 63), u"Minuten(n)");
        SimDialogType(dialog, 100, u"0049 30 987654");
        SimDialogType(dialog, 110, u"");
        SimDialogType(dialog, 120, u"3");
        Ok(dialog);
    });
    EXPECT_EQ(LastResult(), 0);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"0049 30 987654");
    EXPECT_EQ(settings.PhoneDelay, 0); // an emptied box gives 0
    EXPECT_EQ(settings.PhoneMaxCalls, 3);
    EXPECT_EQ(Stored(u"PhoneDelay"), u"0");
    EXPECT_EQ(Stored(u"PhoneNumber"), u"0049 30 987654");
    EXPECT_TRUE(SimMessageBoxes().empty()); // 3 calls: nothing to warn of

    ResetProgram();
    RunDialogOf(300, {}, [](HWND dialog) {
        SimDialogType(dialog, 100, u"999");
        SimDialogType(dialog, 110, u"7");
        SimDialogType(dialog, 120, u"1");
        Cancel(dialog);
    });
    EXPECT_EQ(LastResult(), -1);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"+49 170 1234567");
    EXPECT_EQ(settings.PhoneDelay, 1);
    EXPECT_EQ(settings.PhoneMaxCalls, 10);
    EXPECT_EQ(SimRegistryWriteCount(), writesBefore);
}

// 0 calls (an emptied box gives it) is stored, after a warning that the
// monitor will then never call.
TEST_F(DialogsTest, PhoneOkWarnsThatZeroCallsMeansNoCall)
{
    HWND shown = nullptr;
    RunDialogOf(300, {}, [&shown](HWND dialog) {
        shown = dialog;
        SimDialogType(dialog, 120, u"");
        Ok(dialog);
    });
    EXPECT_EQ(LastResult(), 0);
    EXPECT_EQ(Stored(u"PhoneMaxCalls"), u"0");
    const std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, shown);
    EXPECT_EQ(boxes[0].text,
              Text("Höchstens 0 Anrufe: Cradlecom ruft dann nie an, auch wenn das Kind weint."));
}

// A pasted number longer than the field stays whole in the box and OK
// refuses it instead of storing a cut number; the digit boxes clamp numbers
// beyond 32 bits.
TEST_F(DialogsTest, PhoneBoxesNeverCutOrOverflow)
{
    RunDialogOf(300, {}, [](HWND dialog) {
        SimDialogType(dialog, 100, u"123456789012345678901234567890");
        EXPECT_EQ(SimDialogItemText(dialog, 100), u"123456789012345678901234567890");
        SimDialogType(dialog, 110, u"99999999999");
        SimDialogType(dialog, 120, u"4294967296");
        Ok(dialog);
        EXPECT_EQ(SimDialogOpen(), dialog);
        EXPECT_EQ(std::u16string(settings.PhoneNumber), u"+49 170 1234567");
        SimDialogType(dialog, 100, u"123456789012345678901234");
        Ok(dialog);
    });
    EXPECT_EQ(LastResult(), 0);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"123456789012345678901234");
    EXPECT_EQ(settings.PhoneDelay, INT32_MAX);
    EXPECT_EQ(settings.PhoneMaxCalls, INT32_MAX);
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Text("Die Rufnummer darf höchstens 24 Zeichen lang sein !"));
}

// Only call numbers pass OK: letters, a leading - or no digit at all are
// refused in the chosen language and nothing is stored; an empty box clears
// the number.
TEST_F(DialogsTest, PhoneOkTakesOnlyCallNumbers)
{
    StoredSettings english;
    english.Language = 1;
    RunDialogOf(300, english, [](HWND dialog) {
        for (const char16_t* bad : {u"0170 555 CALL", u"-0170555", u"0170;555", u"()"}) {
            SimDialogType(dialog, 100, bad);
            SimDialogType(dialog, 110, u"9");
            Ok(dialog);
            EXPECT_EQ(SimDialogOpen(), dialog);
        }
        EXPECT_EQ(settings.PhoneDelay, 1);
        SimDialogType(dialog, 100, u"+49 (30) 123-45/6 *31#");
        Ok(dialog);
    });
    EXPECT_EQ(LastResult(), 0);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"+49 (30) 123-45/6 *31#");
    EXPECT_EQ(settings.PhoneDelay, 9);
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    for (const SimMessageBox& box : boxes) {
        EXPECT_EQ(box.text, u"The call number may hold only digits, spaces and + * # - / ( ), "
                            u"needs at least one digit and must not begin with -, or be a SIP "
                            u"address (sip:…) without spaces !");
        EXPECT_EQ(box.type, MB_OK | MB_ICONEXCLAMATION);
        EXPECT_EQ(box.caption, u"Cradlecom");
    }

    ResetProgram();
    RunDialogOf(300, {}, [](HWND dialog) {
        SimDialogType(dialog, 100, u"");
        Ok(dialog);
    });
    EXPECT_EQ(LastResult(), 0);
    EXPECT_EQ(settings.PhoneNumber[0], u'\0');
    EXPECT_TRUE(SimMessageBoxes().empty());
}

// The second and third number keep the first's rules, and the ring time
// its bounds: a bad one keeps the dialog open and stores nothing; each box
// is stored in its own setting.
TEST_F(DialogsTest, PhoneMoreNumbersAndTheRingTime)
{
    StoredSettings english;
    english.Language = 1;
    RunDialogOf(300, english, [](HWND dialog) {
        SimDialogType(dialog, ctlPhoneNumber2, u"0171 CALL");
        Ok(dialog);
        EXPECT_EQ(SimDialogOpen(), dialog);
        SimDialogType(dialog, ctlPhoneNumber2, u"0171 2222");
        SimDialogType(dialog, ctlPhoneNumber3, u"sip:nurse@example.org");
        for (const char16_t* ring : {u"9", u"301", u""}) {
            SimDialogType(dialog, ctlPhoneRingSeconds, ring);
            Ok(dialog);
            EXPECT_EQ(SimDialogOpen(), dialog);
        }
        EXPECT_EQ(settings.PhoneNumber2[0], u'\0');
        SimDialogType(dialog, ctlPhoneRingSeconds, u"30");
        Ok(dialog);
    });
    EXPECT_EQ(LastResult(), 0);
    EXPECT_EQ(Stored(u"PhoneNumber2"), u"0171 2222");
    EXPECT_EQ(Stored(u"PhoneNumber3"), u"sip:nurse@example.org");
    EXPECT_EQ(Stored(u"PhoneRingSeconds"), u"30");
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"+49 170 1234567");
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[1].text, u"Each number may ring for 10 to 300 seconds !");
}

// The Back key deletes in the focused box instead of closing the dialog.
TEST_F(DialogsTest, EscapeGoesToTheFocusedControl)
{
    bool stillOpen = false;
    RunDialogOf(300, {}, [&](HWND dialog) {
        SimDialogFocus(dialog, 100);
        SimDialogPressEscape(dialog);
        stillOpen = SimDialogOpen() == dialog;
        EXPECT_EQ(SimDialogItemText(dialog, 100), u"+49 170 123456");
        Ok(dialog);
    });
    EXPECT_TRUE(stillOpen);
    std::vector<SimBackKey> keys = SimBackKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].control, 100);
    EXPECT_EQ(LastResult(), 0);
}

// Anywhere but in a text box Escape is Cancel: the microphone dialog puts
// back what a "+" changed, the others end with -1 as well.
TEST_F(DialogsTest, EscapeOutsideATextBoxCancels)
{
    for (WORD command : {200, 300, 400, 450}) {
        ResetProgram();
        RunDialogOf(command, {}, [](HWND dialog) {
            if (SimDialogTemplateId(dialog) == 113)
                SimDialogPush(dialog, 210); // the sensitivity's "+"
            for (const SimDialogControl& control : SimDialogItems(dialog)) {
                if (control.className != u"EDIT" && control.id >= 0 &&
                    SimDialogFocus(dialog, control.id))
                    break;
            }
            SimDialogPressEscape(dialog);
        });
        EXPECT_EQ(LastResult(), -1) << command;
        EXPECT_EQ(settings.VolSensi, 50) << command;
    }
}

TEST_F(DialogsTest, CloseGivesMinusOneForEveryDialog)
{
    for (WORD command : {200, 300, 400, 450}) {
        ResetProgram();
        RunDialogOf(command, {}, [](HWND dialog) { SimDialogClose(dialog); });
        EXPECT_EQ(LastResult(), -1) << command;
        EXPECT_EQ(SimRegistryWriteCount(), writesBefore) << command;
    }
}

TEST_F(DialogsTest, ContactShowsItsHeadingAndJustCloses)
{
    for (int answer : {0, 1}) {
        ResetProgram();
        StoredSettings stored;
        stored.Language = 1;
        std::u16string heading;
        RunDialogOf(400, stored, [&](HWND dialog) {
            heading = SimDialogItemText(dialog, 50);
            SimPressDialogMenuBarButton(dialog, answer);
        });
        EXPECT_EQ(heading, u"Contact");
        EXPECT_EQ(LastResult(), answer == 1 ? 0 : -1);
        EXPECT_EQ(SimRegistryWriteCount(), writesBefore);
    }
}

// Confirming without a change still saves (writing nothing, as nothing
// changed) and builds a new bar; a change to English gives the English bar
// at once.
TEST_F(DialogsTest, LanguageConfirmedSavesAndRebuildsTheBar)
{
    RunDialogOf(450, {}, [](HWND dialog) {
        EXPECT_TRUE(SimDialogChecked(dialog, 100));
        EXPECT_FALSE(SimDialogChecked(dialog, 101));
        Ok(dialog);
    });
    EXPECT_EQ(LastResult(), 0);
    EXPECT_EQ(settings.Language, 0);
    EXPECT_EQ(SimRegistryWriteCount() - writesBefore, 0);
    EXPECT_EQ(EventCount("settings saved"), 1);
    EXPECT_EQ(SimMenuBarsCreated(SimMainWindow()), 2);

    ResetProgram();
    std::vector<SimMenuButton> bar;
    SimAt(Tick(40), [&] { bar = SimMenuBarButtons(SimMainWindow()); });
    RunDialogOf(450, {}, [](HWND dialog) {
        SimDialogClickRadio(dialog, 101);
        EXPECT_FALSE(SimDialogChecked(dialog, 100));
        Ok(dialog);
    });
    EXPECT_EQ(settings.Language, 1);
    EXPECT_EQ(Stored(u"Language"), u"1");
    ASSERT_EQ(bar.size(), 2u);
    EXPECT_EQ(bar[0].text, u"Start");
    EXPECT_EQ(bar[1].text, u"Menu");

    ResetProgram();
    RunDialogOf(450, {}, [](HWND dialog) {
        SimDialogClickRadio(dialog, 101);
        Cancel(dialog);
    });
    EXPECT_EQ(settings.Language, 0);
    EXPECT_EQ(SimMenuBarsCreated(SimMainWindow()), 1);
}

// Calibrate listens to the room for 30 s while the dialog says so, then
// shows the bars chosen for the cry check as its box stands; OK stores
// them with the box, Cancel keeps the old values. A dead microphone is
// refused and changes nothing.
TEST_F(DialogsTest, MicrophoneCalibrationSetsTheBarsOrSaysWhyNot)
{
    // A quiet room: noise of at most 40 steps (about -58 dBFS).
    std::vector<std::int16_t> room(static_cast<std::size_t>(60 * 11025));
    std::uint32_t seed = 1;
    for (std::int16_t& sample : room) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<std::int16_t>(static_cast<int>(seed >> 24) % 81 - 40);
    }
    struct Case {
        bool silent;
        bool cryCheck;
        bool ok;
    } cases[] = {
        {false, false, true}, {false, true, true}, {false, true, false}, {true, false, true}};
    for (const Case& c : cases) {
        ResetProgram();
        SimSetInput(c.silent ? std::vector<std::int16_t>(room.size(), 0) : room);
        Calibration expected;
        CalibrateSamples(room.data(), static_cast<std::int64_t>(room.size()), c.cryCheck,
                         &expected);
        ASSERT_EQ(expected.outcome, CALIBRATION_OK);
        std::u16string listening, done;
        int bars[3] = {};
        StoredSettings stored;
        StoreSettings(stored);
        SimSetEndTime(Tick(420));
        SimOnDialog([&](HWND dialog) {
            if (c.cryCheck) {
                EXPECT_TRUE(SimDialogClickCheckBox(dialog, ctlCryCheckBox));
            }
            SimDialogPush(dialog, ctlCalibrateButton);
            listening = SimDialogItemText(dialog, ctlCalibrationStatus);
        });
        SimAt(Tick(5), [] { EXPECT_TRUE(SimChooseMenuCommand(SimMainWindow(), 200)); });
        SimAt(Tick(360), [&] {
            HWND dialog = SimDialogOpen();
            ASSERT_NE(dialog, nullptr);
            done = SimDialogItemText(dialog, ctlCalibrationStatus);
            for (int i = 0; i < 3; ++i)
                bars[i] = SimDialogProgress(dialog, ctlVolSensiBar + 10 * i);
            c.ok ? Ok(dialog) : Cancel(dialog);
        });
        writesBefore = SimRegistryWriteCount();
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_EQ(listening, Text("Hört 30 s in den Raum. Bitte leise sein."));
        if (c.silent) {
            EXPECT_EQ(done, Text("Das Mikrofon liefert nichts. Nichts geändert."));
            EXPECT_EQ(bars[0], 50);
            EXPECT_EQ(settings.VolSensi, 50);
            continue;
        }
        EXPECT_EQ(done.substr(0, 8), Text("Raum bei"));
        EXPECT_EQ(bars[0], expected.VolSensi);
        EXPECT_EQ(bars[1], expected.VolThresh);
        EXPECT_EQ(bars[2], expected.CryThresh);
        if (c.ok) {
            EXPECT_EQ(Stored(u"VolSensi"), Text(std::to_string(expected.VolSensi).c_str()));
            EXPECT_EQ(Stored(u"VolThresh"), Text(std::to_string(expected.VolThresh).c_str()));
            EXPECT_EQ(Stored(u"CryCheck"), c.cryCheck ? u"1" : u"0");
            EXPECT_EQ(limits.cryCheck.load(), c.cryCheck ? 1 : 0);
        } else {
            EXPECT_EQ(settings.VolSensi, 50);
            EXPECT_EQ(settings.CryThresh, 50);
            EXPECT_EQ(settings.CryCheck, 0);
            EXPECT_EQ(SimRegistryWriteCount(), writesBefore);
        }
    }
}
