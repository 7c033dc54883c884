// SPDX-License-Identifier: GPL-3.0-or-later
// Word to the parent when the monitor stops watching, and the heartbeat:
// a silent microphone, no way to call, Start and the program's end, on the
// virtual clock of whole half-hours.
#include <algorithm>
#include <string>
#include <vector>

#include "alarm/monitor.h"
#include "platform/sim/sim_eventlog.h"
#include "platform/sim/sim_phone.h"
#include "platform/sim/sim_service.h"
#include "program_fixture.h"
#include "resources/ids.h"
#include "shell/shell.h"

namespace {

using WatchTest = ProgramTest;

constexpr SimTime Seconds(double seconds)
{
    return static_cast<SimTime>(seconds * simUnitsPerSecond);
}

// A quiet room without end, monitored from the start, English, messages
// through one channel; the run ends at `end`.
void StartQuietRoom(SimTime end, int notifyStart = 0)
{
    StoredSettings stored;
    stored.Language = 1;
    stored.NotifyStart = notifyStart;
    StoreSettings(stored);
    SimSetInputStream([](std::int16_t* samples, long count) {
        std::fill(samples, samples + count, std::int16_t{0});
        return count;
    });
    SimSetEndTime(end);
    SimSetMessageChannels({{u"SMS"}});
    shell.unattendedStart = 1;
}

// The messages' texts and times, in seconds.
std::vector<std::pair<double, std::u16string>> Sent()
{
    std::vector<std::pair<double, std::u16string>> sent;
    for (const SimMessage& message : SimMessages())
        sent.emplace_back(static_cast<double>(message.time) / simUnitsPerSecond, message.text);
    return sent;
}

const std::u16string silent = u"Cradlecom: the microphone has delivered no sound for 60 s.";
const std::u16string back = u"Cradlecom: the microphone delivers sound again.";

} // namespace

// Silent for 60 s: one message, and one when sound comes again. A second
// silence within the half-hour is not told (nor its end); one after it is.
TEST_F(WatchTest, SilentMicrophoneIsToldOncePerHalfHour)
{
    StartQuietRoom(Seconds(2400));
    SimAt(Seconds(100), [] { SimWaveStall(Seconds(200)); });
    SimAt(Seconds(400), [] { SimWaveStall(Seconds(500)); });
    SimAt(Seconds(2000), [] { SimWaveStall(Seconds(2100)); });
    RunProgram();
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 5u); // the last is the program's end
    EXPECT_EQ(sent[0].second, silent);
    EXPECT_GE(sent[0].first, 160.0);
    EXPECT_LE(sent[0].first, 162.0);
    EXPECT_EQ(sent[1].second, back);
    EXPECT_GE(sent[1].first, 200.0);
    EXPECT_LE(sent[1].first, 211.0);
    EXPECT_EQ(sent[2].second, silent);
    EXPECT_GE(sent[2].first, 2060.0);
    EXPECT_LE(sent[2].first, 2062.0);
    EXPECT_EQ(sent[3].second, back);
    EXPECT_EQ(sent[4].second, u"Cradlecom: monitoring has ended, nobody is listening.");
    EXPECT_EQ(SimMessages()[0].number, u"+49 170 1234567");
    EXPECT_EQ(EventCount("message (microphone silent) to +49 170 1234567: " +
                         std::string(silent.begin(), silent.end())),
              2);
    EXPECT_EQ(EventCount("message (microphone silent) sent: SMS to +49 170 1234567"), 2);
}

// No way to call for five minutes is told, and so is its end; a channel
// that fails is logged with its reason.
TEST_F(WatchTest, NoWayToCallIsToldAfterFiveMinutes)
{
    StartQuietRoom(Seconds(900));
    SimSetMessageChannels({{u"SMS", true}, {u"notify command"}});
    SimAt(Seconds(100), [] { SimSetPhoneCanCall(false); });
    SimAt(Seconds(700), [] { SimSetPhoneCanCall(true); });
    RunProgram();
    const auto sent = Sent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0].second, u"Cradlecom: no call could be placed for 5 minutes.");
    EXPECT_GE(sent[0].first, 400.0);
    EXPECT_LE(sent[0].first, 402.0);
    EXPECT_EQ(sent[1].second, u"Cradlecom: calls can be placed again.");
    EXPECT_GE(sent[1].first, 700.0);
    EXPECT_LE(sent[1].first, 702.0);
    EXPECT_EQ(EventCount("message (calls impossible) failed: SMS to +49 170 1234567: refused"), 1);
    EXPECT_EQ(EventCount("message (calls impossible) sent: notify command to +49 170 1234567"), 1);
}

// NotifyStart tells each Start, in the chosen language; a Stop ends
// monitoring without a word, the program's end while monitoring with one.
TEST_F(WatchTest, StartAndEndAreTold)
{
    StartQuietRoom(Seconds(60), 1);
    SimAt(Seconds(10), [] { SimChooseMenuCommand(SimMainWindow(), cmdStartStop); });
    SimAt(Seconds(20), [] {
        settings.Language = 0;
        SimChooseMenuCommand(SimMainWindow(), cmdStartStop);
    });
    RunProgram();
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].second,
              u"Cradlecom: monitoring is on, 10 calls at most, to +49 170 1234567.");
    // The second Start is within the half-hour: not told again.
    EXPECT_EQ(sent[1].second, Text("Cradlecom: Die Überwachung ist beendet, niemand hört zu."));
    EXPECT_GE(sent[1].first, 59.0);
}

// Beats at the interval while all is well; none from the moment the
// microphone is in doubt, again at once when it delivers. The watchdog is
// pinged every second from the first.
TEST_F(WatchTest, HeartbeatOnlyWhileAllIsWell)
{
    StartQuietRoom(Seconds(400));
    SimSetHeartbeatInterval(30);
    SimAt(Seconds(100), [] { SimWaveStall(Seconds(250)); });
    RunProgram();
    const std::vector<SimTime> beats = SimHeartbeats();
    std::vector<double> before, during, after;
    for (SimTime beat : beats) {
        const double at = static_cast<double>(beat) / simUnitsPerSecond;
        (at < 100 ? before : at < 250 ? during : after).push_back(at);
    }
    EXPECT_EQ(before.size(), 4u); // 1, 31, 61, 91
    EXPECT_LE(during.size(), 1u); // at most the one due before the doubt came
    for (double at : during)
        EXPECT_LE(at, 103.0);
    ASSERT_FALSE(after.empty());
    EXPECT_LE(after.front(), 251.0);
    EXPECT_GE(after.size(), 5u);
    EXPECT_GE(SimServiceReadyTime(), 0);
    EXPECT_GE(SimServiceAliveCount(), 395);

    // A microphone silent from the start was never well: no beat at all.
    ResetProgram();
    StartQuietRoom(Seconds(100));
    SimSetHeartbeatInterval(30);
    SimWaveStall(Seconds(200));
    RunProgram();
    EXPECT_TRUE(SimHeartbeats().empty());
}
