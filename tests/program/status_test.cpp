// SPDX-License-Identifier: GPL-3.0-or-later
// The status lines below the Start/Stop picture: what they say in both
// languages, where they are drawn, and when.
#include <algorithm>

#include "alarm/monitor.h"
#include "platform/platform.h"
#include "platform/sim/sim_phone.h"
#include "program_fixture.h"
#include "settings/settings.h"
#include "ui/layout.h"
#include "ui/ui.h"

using StatusTest = ProgramTest;

namespace {

constexpr LONG statusTop = screenLayout.statusTop;
constexpr LONG statusBottom =
    statusTop + screenLayout.statusLineHeight * screenLayout.statusLineCount;
// Between the bars of the simulated 240 pixel screen.
constexpr LONG statusLeft = screenLayout.statusLeft;
constexpr LONG statusRight = 240 - screenLayout.statusFromRight;

// The status lines drawn at `when`, top to bottom ("" for an empty line),
// or nothing when none were drawn then.
std::vector<std::u16string> StatusAt(SimTime from, SimTime to)
{
    std::vector<std::u16string> lines;
    for (const SimText& text : SimTextLog()) {
        if (text.time >= from && text.time <= to && text.rect.top >= statusTop)
            lines.push_back(text.text);
    }
    return lines;
}

// Line `index` of the status drawn between the two times; "" when none.
std::u16string LineAt(SimTime from, SimTime to, std::size_t index)
{
    std::vector<std::u16string> lines = StatusAt(from, to);
    return index < lines.size() ? lines[index] : u"";
}

// The status lines as the screen shows them at `when`: the last ones drawn.
std::vector<std::u16string> ShownAt(SimTime when)
{
    SimTime last = -1;
    for (const SimText& text : SimTextLog()) {
        if (text.time <= when && text.rect.top >= statusTop)
            last = text.time;
    }
    return StatusAt(last, last);
}

int StatusDrawings(SimTime from, SimTime to)
{
    int count = 0;
    for (const SimText& text : SimTextLog())
        count += text.time >= from && text.time <= to && text.rect.top >= statusTop ? 1 : 0;
    return count;
}

} // namespace

// The microphone, the route, the calls of this run and the last call's time
// and outcome, redrawn as they change.
TEST_F(StatusTest, TellsTheMicrophoneTheRouteAndTheCalls)
{
    StoredSettings stored;
    stored.Language = 1;
    stored.PhoneDelay = 0;
    StoreSettings(stored);
    SimSetLocalTime(7, 5);
    SimSetInput(QuietLoud({3.0, 10.0}));
    SimQueueCallOutcome({SimCallResult::Placed, Tick(5), Tick(20), u"", false});
    SimAt(Tick(2), [] { PostMessageW(SimMainWindow(), WM_COMMAND, 500, 0); });
    EXPECT_EQ(RunProgram(), 0);

    EXPECT_EQ(StatusAt(Tick(1), Tick(1)),
              (std::vector<std::u16string>{u"Microphone listening", u"Calls go to the modem",
                                           u"Calls in this run: 0"}));
    // The meter reaches its limit 25 loud ticks after the first loud buffer.
    std::vector<SimCall> calls = SimCalls();
    ASSERT_EQ(calls.size(), 1u);
    const long callTick = calls[0].time / tickUnits;
    EXPECT_EQ(
        StatusAt(calls[0].time, calls[0].time),
        (std::vector<std::u16string>{u"Microphone listening", u"Calls go to the modem",
                                     u"Calls in this run: 1", u"Last call: 07:05", u"requested"}));
    EXPECT_EQ(StatusAt(Tick(callTick + 5), Tick(callTick + 5)).back(), u"in progress");
    EXPECT_EQ(StatusAt(Tick(callTick + 25), Tick(callTick + 25)).back(), u"not answered");
    // Nothing changes between those ticks: nothing is drawn.
    EXPECT_EQ(StatusDrawings(Tick(callTick + 6), Tick(callTick + 24)), 0);
}

TEST_F(StatusTest, GermanAndTheOtherRoutesAndOutcomes)
{
    StoredSettings stored;
    stored.PhoneDelay = 0;
    StoreSettings(stored);
    SimSetLocalTime(23, 59);
    SimSetInput(QuietLoud({0.0, 40.0}));
    SimSetPhoneRoute(PHONE_ROUTE_LOG);
    SimQueueCallOutcome({SimCallResult::Failed, 0, 0, u"exit status 3"});
    SimQueueCallOutcome({SimCallResult::Logged, 0, 0, u"no modem"});
    SimWaveFailNth(SimWaveOp::Open, 2); // the restart after the call finds no microphone
    SimAt(0, [] { PostMessageW(SimMainWindow(), WM_COMMAND, 500, 0); });
    SimAt(Tick(30), [] { SimSetPhoneRoute(PHONE_ROUTE_COMMAND); });
    EXPECT_EQ(RunProgram(), 0);

    EXPECT_EQ(
        StatusAt(Tick(1), Tick(1)),
        (std::vector<std::u16string>{Text("Mikrofon hört zu"), Text("Anrufe nur protokolliert"),
                                     Text("Anrufe in diesem Lauf: 0")}));
    std::vector<SimCall> calls = SimCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].time, Tick(26));
    EXPECT_GT(calls[1].time, Tick(226)); // no microphone, no level, no call
    EXPECT_EQ(LineAt(Tick(27), Tick(27), 3), Text("Letzter Anruf: 23:59"));
    EXPECT_EQ(LineAt(Tick(27), Tick(27), 4), Text("fehlgeschlagen (exit status 3)"));
    EXPECT_EQ(LineAt(Tick(30), Tick(30), 1), Text("Anrufe über den Befehl"));
    EXPECT_EQ(LineAt(Tick(126), Tick(126), 0), Text("Mikrofon nicht verfügbar"));
    EXPECT_EQ(LineAt(Tick(226), Tick(226), 0), Text("Mikrofon hört zu"));
    EXPECT_EQ(LineAt(calls[1].time + 1, calls[1].time + tickUnits, 4), Text("nur protokolliert"));
}

// A call limit that allows no call and one reached after a call: monitoring
// goes on without calling, the status says so, and the first cry it holds
// back is logged once a run.
TEST_F(StatusTest, TheCallLimitIsShownAndLoggedOnceARun)
{
    for (int maxCalls : {0, 1}) {
        SCOPED_TRACE(maxCalls);
        ResetProgram();
        StoredSettings stored;
        stored.Language = 1;
        stored.PhoneDelay = 0;
        stored.PhoneMaxCalls = maxCalls;
        StoreSettings(stored);
        SimSetInput(QuietLoud({0.0, 120.0}));
        SimSetEndTime(Tick(1100));
        SimAt(0, [] { PostMessageW(SimMainWindow(), WM_COMMAND, 500, 0); });
        SimAt(Tick(500), [] { SimPressMenuBarButton(SimMainWindow(), 0); }); // Stop
        SimAt(Tick(600), [] { SimPressMenuBarButton(SimMainWindow(), 0); }); // Start
        EXPECT_EQ(RunProgram(), 0);

        const std::string n = std::to_string(maxCalls);
        const std::u16string n16(n.begin(), n.end());
        EXPECT_EQ(SimCalls().size(), 2u * static_cast<std::size_t>(maxCalls));
        EXPECT_EQ(EventCount("call limit reached (" + n + ")"), 2);
        EXPECT_EQ(ShownAt(Tick(499)).at(2), u"Call limit reached (" + n16 + u")");
        EXPECT_EQ(ShownAt(Tick(599)).at(2), u"Calls in this run: " + n16); // off: no limit
        EXPECT_EQ(ShownAt(Tick(602)).at(2),
                  maxCalls == 0 ? u"Call limit reached (0)" : u"Calls in this run: 0");
    }
}

// Between the bars and below the picture: drawing the lines changes no
// pixel outside them. A paint that erases the strip gets them back at the
// next tick.
TEST_F(StatusTest, DrawnBetweenTheBarsAndBackAfterAPaint)
{
    StoreSettings({});
    SimSetEndTime(Tick(40));
    SimAt(Tick(20) + 1, [] {
        HWND window = SimMainWindow();
        std::vector<COLORREF> before;
        for (LONG y = 0; y < 268; ++y)
            for (LONG x = 0; x < 240; ++x)
                before.push_back(SimPixel(window, x, y));
        statusScreen.shown = 0;
        PaintStatus(window);
        int marks = 0;
        for (LONG y = 0; y < 268; ++y) {
            for (LONG x = 0; x < 240; ++x) {
                COLORREF now = SimPixel(window, x, y);
                if (x >= statusLeft && x < statusRight && y >= statusTop && y < statusBottom) {
                    ASSERT_TRUE(now == backgroundColour || now == 0) << x << "," << y;
                    marks += now == 0 ? 1 : 0;
                } else {
                    ASSERT_EQ(now, before[static_cast<std::size_t>(y * 240 + x)]) << x << "," << y;
                }
            }
        }
        EXPECT_GT(marks, 100);
        RECT strip{static_cast<LONG>(240 * screenLayout.middleLeft), screenLayout.middleStripTop,
                   static_cast<LONG>(240 * screenLayout.middleRight), 268};
        InvalidateRect(window, &strip, TRUE);
    });
    EXPECT_EQ(RunProgram(), 0);
    // Drawn after the first paint, then only after the strip's paint.
    EXPECT_EQ(StatusDrawings(Tick(2), Tick(20)), 0);
    EXPECT_EQ(StatusDrawings(Tick(21), Tick(21)), 3);
    EXPECT_EQ(StatusDrawings(Tick(22), Tick(40)), 0);
}

// Every status text fits between the bars of a 240 pixel screen in the
// simulated font, in both languages.
TEST_F(StatusTest, EveryLineFitsBetweenTheBars)
{
    const int widthBetweenBars = statusRight - statusLeft;
    for (UINT id = 1021; id <= 1035; ++id) {
        for (UINT language : {0u, 4000u}) {
            WCHAR text[256] = {};
            LoadStringW(SimInstance(), id + language, text, 255);
            WCHAR filled[1024] = {};
            wsprintfW(filled, text, 999, 59);
            std::u16string line(filled);
            EXPECT_LE(static_cast<int>(line.size()) * simFontWidth, widthBetweenBars)
                << id + language;
            EXPECT_FALSE(line.empty()) << id + language;
        }
    }
}
