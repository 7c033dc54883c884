// SPDX-License-Identifier: GPL-3.0-or-later
// The calls as the phone reports them: a call clears the stale level, a call
// still running holds the next back, a stored number that breaks the rules
// is never dialled, and the event log tells every step.
#include <algorithm>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/eventlog.h"
#include "platform/platform.h"
#include "platform/sim/sim_eventlog.h"
#include "program_fixture.h"
#include "settings/settings.h"

using CallsTest = ProgramTest;

namespace {

const std::string number = "+49 170 1234567";

void PressStartAtOnce()
{
    SimAt(0, [] { PostMessageW(SimMainWindow(), WM_COMMAND, 500, 0); });
}

std::size_t IndexOf(const std::vector<std::string>& texts, const std::string& text)
{
    return static_cast<std::size_t>(std::find(texts.begin(), texts.end(), text) - texts.begin());
}

} // namespace

// Fourteen seconds of crying, then silence, no pause between calls: one
// call while the child cries, none about the silent room. From the call's
// tick until the first buffer of the restarted capture (after tick 127)
// the level is 0.
TEST_F(CallsTest, CallsOnlyWhileTheChildCries)
{
    StoredSettings stored;
    stored.PhoneDelay = 0;
    StoreSettings(stored);
    SimSetInput(QuietLoud({0.0, 14.0, 46.0}));
    PressStartAtOnce();
    std::vector<double> afterCall;
    for (long n = 26; n <= 127; ++n)
        SimAt(Tick(n) + 1, [&afterCall] { afterCall.push_back(capture.level.load()); });
    double fresh = 0.0;
    SimAt(Tick(129) + 1, [&fresh] { fresh = capture.level.load(); });
    EXPECT_EQ(RunProgram(), 0);

    std::vector<SimCall> calls = SimCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].time, Tick(26));
    ASSERT_EQ(afterCall.size(), 102u);
    for (std::size_t i = 0; i < afterCall.size(); ++i)
        EXPECT_EQ(afterCall[i], 0.0) << "tick " << 26 + i;
    EXPECT_GT(fresh, 0.5); // still crying: the restarted capture measures it
    EXPECT_EQ(SimFaults(), 0) << SimLastFault();
}

// The first call rings and stays active for 40 s, until the phone hangs it
// up; the meter is full long before, yet the next call waits for its end
// and follows it at once. The log tells why it ended.
TEST_F(CallsTest, ACallStillRunningHoldsTheNextBack)
{
    StoredSettings stored;
    stored.PhoneDelay = 0;
    StoreSettings(stored);
    SimSetInput(QuietLoud({0.0, 60.0}));
    SimQueueCallOutcome(
        {SimCallResult::Placed, Tick(10), Tick(400), u"still connected after 30 minutes"});
    PressStartAtOnce();
    std::vector<std::int32_t> inProgress;
    for (long n : {30L, 35L, 37L, 200L, 435L})
        SimAt(Tick(n) + 1, [&inProgress] { inProgress.push_back(CallInProgress() ? 1 : 0); });
    SimAt(Tick(300) + 1, [] { EXPECT_EQ(monitor.cryMeter, 1.0); });
    EXPECT_EQ(RunProgram(), 0);

    std::vector<SimCall> calls = SimCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].time, Tick(26));
    EXPECT_EQ(calls[1].time, Tick(436)); // the end comes before that tick
    EXPECT_EQ(inProgress, (std::vector<std::int32_t>{1, 1, 1, 1, 1}));
    std::vector<SimCallNews> news = SimPhoneNews();
    ASSERT_GE(news.size(), 3u);
    EXPECT_EQ(news[0].event, PHONE_EVENT_PLACED);
    EXPECT_EQ(news[0].time, Tick(36));
    EXPECT_EQ(news[1].event, PHONE_EVENT_ANSWERED);
    EXPECT_EQ(news[2].event, PHONE_EVENT_ENDED);
    EXPECT_EQ(news[2].time, Tick(436));

    std::vector<std::string> texts = EventTexts();
    std::size_t requested = IndexOf(texts, "call requested: " + number);
    std::size_t placed = IndexOf(texts, "call placed: " + number);
    std::size_t answered = IndexOf(texts, "call answered: " + number);
    std::size_t ended =
        IndexOf(texts, "call ended: " + number + ": still connected after 30 minutes");
    ASSERT_LT(ended, texts.size());
    EXPECT_LT(requested, placed);
    EXPECT_LT(placed, answered);
    EXPECT_LT(answered, ended);
    EXPECT_EQ(EventCount("call requested: " + number), static_cast<int>(calls.size()));
}

// Failed and only-logged calls are logged with their reason; they count and
// arm the pause like any requested call.
TEST_F(CallsTest, EveryOutcomeIsLoggedAndCounts)
{
    StoredSettings stored;
    stored.PhoneDelay = 1;
    StoreSettings(stored);
    SimSetInput(QuietLoud({0.0, 150.0}));
    SimQueueCallOutcome({SimCallResult::Failed, Tick(3), 0, u"exit status 3"});
    SimQueueCallOutcome({SimCallResult::Logged, 0, 0, u"no modem: ModemManager lists no modem"});
    PressStartAtOnce();
    SimAt(Tick(40), [] {
        EXPECT_EQ(monitor.callsMade, 1);
        EXPECT_EQ(phoneCall.outcome, CALL_FAILED);
    });
    SimAt(Tick(127), [] { EXPECT_EQ(monitor.delaySeconds, 60); });
    SimAt(Tick(1300), [] { PostMessageW(SimMainWindow(), WM_COMMAND, 500, 0); });
    EXPECT_EQ(RunProgram(), 0);

    std::vector<SimCall> calls = SimCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].time, Tick(126 + 600));
    EXPECT_EQ(phoneCall.outcome, CALL_LOGGED);
    const std::vector<std::string> expected = {
        "program started",
        "microphone opened",
        "monitoring on",
        "call requested: " + number,
        "call failed: " + number + ": exit status 3",
        "call requested: " + number,
        "call only logged, not placed: " + number + ": no modem: ModemManager lists no modem",
        "monitoring off",
        "program ended",
    };
    EXPECT_EQ(EventTexts(), expected);
    std::vector<SimEvent> events = SimEventLog();
    EXPECT_EQ(events[4].type, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(events[6].type, EVENTLOG_WARNING_TYPE);
}

// A microphone that is missing at start and at the first restart: one
// line for the failure with the device's error, one for the recovery.
TEST_F(CallsTest, MicrophoneFailureAndRecoveryAreLoggedOnce)
{
    StoreSettings({});
    SimSetEndTime(Tick(350));
    SimWaveFailNth(SimWaveOp::Open, 1);
    SimAt(Tick(50), [] { SimWaveFailNth(SimWaveOp::Open, 1); });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(SimWaveCalls(SimWaveOp::Open), 4);
    const std::vector<std::string> expected = {
        "program started",
        "microphone failed: no driver (error 6)",
        "microphone recovered",
        "program ended",
    };
    EXPECT_EQ(EventTexts(), expected);
    EXPECT_EQ(SimEventLog()[1].type, EVENTLOG_ERROR_TYPE);
    ASSERT_EQ(SimMessageBoxes().size(), 1u); // message 1001, at start only
}

// A stored number that breaks the rules is refused like an empty one at
// Start, and never dialled even when monitoring is on.
TEST_F(CallsTest, AStoredNumberThatBreaksTheRulesIsNeverDialled)
{
    StoredSettings stored;
    stored.phoneNumber = u"--help";
    StoreSettings(stored);
    SimSetInput(QuietLoud({0.0, 20.0}));
    PressStartAtOnce();
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(monitor.monitoring, 0);
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Text("Bitte tragen Sie vorher eine gültige Telefonnummer ein !"));
    EXPECT_EQ(EventCount("monitoring not started: not a call number: --help"), 1);

    // Monitoring already on (the number came in behind its back): the due
    // call is refused, logged once, and nothing is dialled.
    ResetProgram();
    stored.phoneNumber = u"0171\n2345";
    StoreSettings(stored);
    SimSetInput(QuietLoud({0.0, 20.0}));
    SimAt(Tick(1), [] { monitor.monitoring = 1; });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(SimCalls().empty());
    EXPECT_EQ(EventCount("call not placed: not a call number: 0171\\n2345"), 1);
    EXPECT_EQ(monitor.callsMade, 0);
}

// A round through three numbers that nobody answers: the first rings and
// is hung up by the far end, the second fails, the third rings until
// PhoneRingSeconds hangs it up. The round counts once, ends after the third
// and arms one pause; the next round begins again at PhoneNumber, and its
// answered call ends it.
TEST_F(CallsTest, ARoundTriesEachNumberAndCountsOnce)
{
    StoredSettings stored;
    stored.PhoneDelay = 1;
    stored.PhoneRingSeconds = 10;
    AssignSetting(&stored, u"PhoneNumber2=0171 2222");
    AssignSetting(&stored, u"PhoneNumber3=0171 3333");
    StoreSettings(stored);
    SimSetInput(QuietLoud({0.0, 300.0}));
    SimQueueCallOutcome({SimCallResult::Placed, Tick(5), Tick(20), u"", false});
    SimQueueCallOutcome({SimCallResult::Failed, Tick(3), 0, u"busy"});
    SimQueueCallOutcome({SimCallResult::Placed, Tick(5), simCallForever, u"", false});
    PressStartAtOnce();
    std::vector<std::int32_t> made;
    SimAt(Tick(150), [&made] { made.push_back(monitor.callsMade); });
    SimSetEndTime(Tick(1300));
    EXPECT_EQ(RunProgram(), 0);

    std::vector<SimCall> calls = SimCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].number, u"+49 170 1234567");
    EXPECT_EQ(calls[1].number, u"0171 2222");
    EXPECT_EQ(calls[2].number, u"0171 3333");
    EXPECT_EQ(calls[3].number, u"+49 170 1234567");
    // Each on the first tick that finds the one before over.
    EXPECT_EQ(calls[1].time, Tick(26 + 25));
    EXPECT_EQ(calls[2].time, calls[1].time + Tick(3));
    EXPECT_EQ(SimRingTimeout(), 10000u);
    // The pause runs from the restart after the round's last call.
    EXPECT_GE(calls[3].time, calls[2].time + Tick(100) + 60 * simUnitsPerSecond);
    EXPECT_LT(calls[3].time, calls[2].time + Tick(100) + 62 * simUnitsPerSecond);
    EXPECT_EQ(made, std::vector<std::int32_t>{1});
    EXPECT_EQ(monitor.callsMade, 2);
    EXPECT_EQ(phoneCall.outcome, CALL_ENDED);
    EXPECT_EQ(phoneCall.answered, 1);

    std::vector<std::string> texts = EventTexts();
    const std::vector<std::string> round = {
        "call requested: " + number,
        "call placed: " + number,
        "call not answered: " + number,
        "call requested: 0171 2222",
        "call failed: 0171 2222: busy",
        "call requested: 0171 3333",
        "call placed: 0171 3333",
        "call not answered: 0171 3333: not answered within 10 s, hung up",
        "call round over: no answer from 3 numbers",
        "call requested: " + number,
        "call placed: " + number,
        "call answered: " + number,
        "call ended: " + number,
    };
    std::size_t first = IndexOf(texts, round[0]);
    ASSERT_LE(first + round.size(), texts.size());
    EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<long>(first),
                                       texts.begin() + static_cast<long>(first + round.size())),
              round);
}
