// SPDX-License-Identifier: GPL-3.0-or-later
// A night recorded while the program monitors, and replayed: the replay of
// the file calls at the moments the run called, and a full disk ends the
// recording, never the monitoring.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "../program/program_fixture.h"
#include "audio/capture.h"
#include "platform/recording/recording.h"
#include "platform/sim/sim_eventlog.h"
#include "platform/sim/sim_nights.h"
#include "platform/sim/sim_phone.h"
#include "replay.h"

namespace {

class NightTest : public ProgramTest {
protected:
    std::filesystem::path folder;

    void SetUp() override
    {
        ProgramTest::SetUp();
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/night-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(folder);
        ProgramTest::TearDown();
    }
};

// The bundled nursery (cries at 7-20.5 s and 27.5-41.5 s) over and over.
std::vector<std::int16_t> Nursery(double seconds)
{
    std::vector<std::int16_t> once;
    std::string error;
    EXPECT_TRUE(
        LoadRecording(std::string(CRADLECOM_DATA_DIR) + "/nursery.flac", 11025, &once, &error))
        << error;
    std::vector<std::int16_t> looped;
    while (static_cast<double>(looped.size()) < seconds * 11025 && !once.empty())
        looped.insert(looped.end(), once.begin(), once.end());
    looped.resize(static_cast<std::size_t>(seconds * 11025));
    return looped;
}

StoredSettings Recorded()
{
    StoredSettings stored;
    stored.PhoneDelay = 0;
    stored.RecordNights = 1;
    return stored;
}

} // namespace

// Start pressed between two ticks of a run that has listened for a while:
// the file begins at the next tick's end with capture started afresh and
// keeps the run's time through every call (capture is down from a call to
// the next restart), so that the replay, pressing Start before its first
// tick, measures what the run measured on every tick and calls when it
// called.
TEST_F(NightTest, TheReplayOfARecordedRunMeasuresAndCallsAsTheRunDid)
{
    std::vector<std::int16_t> room = Nursery(70.0);
    std::string error;
    std::string roomPath = (folder / "room.wav").string();
    ASSERT_TRUE(WriteWavFile(roomPath, 11025, 1, room.data(), room.size(), &error)) << error;
    ReplaySettings chosen;
    AssignSetting(&chosen, u"PhoneNumber=0301234");
    chosen.PhoneDelay = 0;
    auto run = [&](const std::string& path, double start, std::vector<std::string>* rows) {
        std::string tracePath = (folder / "trace.csv").string();
        std::FILE* trace = std::fopen(tracePath.c_str(), "w");
        RecordingStream* stream = OpenRecordingStream(path, 11025, &error);
        EXPECT_NE(stream, nullptr) << error;
        RunInput input;
        input.stream = stream;
        RunResult result = ReplayOnce(chosen, input, start, trace, false);
        CloseRecordingStream(stream);
        std::fclose(trace);
        EXPECT_EQ(result.faults, 0) << result.lastFault;
        std::ifstream in(tracePath);
        // From each row all but the tick, its time and the monitoring flag.
        for (std::string line; std::getline(in, line);)
            rows->push_back(line.substr(line.find(',', line.find(',') + 1)));
        return result;
    };

    chosen.RecordNights = 1;
    std::vector<std::string> liveRows;
    RunResult live = run(roomPath, 3.15, &liveRows);
    std::vector<SimNightRecording> nights = SimNightRecordings();
    ASSERT_EQ(nights.size(), 1u);
    const SimNightRecording& kept = nights[0];
    EXPECT_EQ(kept.opened, Tick(32));
    EXPECT_EQ(kept.rate, 11025u);
    EXPECT_EQ(kept.capBytes, 2000u * 1000000u);
    // Every sample from its start to the end, the silence of the calls too.
    EXPECT_EQ(static_cast<SimTime>(kept.samples.size()), (Tick(700) - Tick(32)) / 10);
    ASSERT_GE(live.calls.size(), 3u);

    chosen.RecordNights = 0;
    std::string nightPath = (folder / kept.name).replace_extension(".wav").string();
    ASSERT_TRUE(WriteWavFile(nightPath, 11025, 1, kept.samples.data(), kept.samples.size(), &error))
        << error;
    std::vector<std::string> replayRows;
    RunResult replay = run(nightPath, 0.0, &replayRows);
    ASSERT_EQ(replay.calls.size(), live.calls.size());
    for (std::size_t i = 0; i < live.calls.size(); ++i)
        EXPECT_NEAR(replay.calls[i].seconds, live.calls[i].seconds - 3.2, 1e-9) << "call " << i;
    ASSERT_EQ(replayRows.size() + 32, liveRows.size());
    int differing = 0;
    for (std::size_t j = 1; j < replayRows.size(); ++j)
        differing += replayRows[j] != liveRows[j + 32] ? 1 : 0;
    EXPECT_EQ(differing, 0);
}

// The disk fills up a minute into the night: the recording stops, the log
// says so once, and the program goes on monitoring and calling.
TEST_F(NightTest, AFullDiskStopsTheRecordingNotTheMonitoring)
{
    StoreSettings(Recorded());
    SimSetInput(Nursery(130.0));
    SimNightRecordingFullAfter(60 * 11025);
    SimAt(Tick(1), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    ASSERT_EQ(RunProgram(), 0);
    std::vector<SimNightRecording> nights = SimNightRecordings();
    ASSERT_EQ(nights.size(), 1u);
    EXPECT_TRUE(nights[0].stopped);
    EXPECT_LE(nights[0].samples.size(), 60u * 11025u);
    EXPECT_GT(nights[0].samples.size(), 45u * 11025u); // a call's silence is one write
    EXPECT_EQ(EventCount("night recording stopped (monitoring goes on): No space left on device"),
              1);
    int laterCalls = 0;
    for (const SimCall& call : SimCalls())
        laterCalls += call.time > Tick(620) ? 1 : 0;
    EXPECT_GE(laterCalls, 2);
    EXPECT_EQ(monitor.monitoring, 1);
}

// Without --record or the setting nothing is recorded; --record records
// whatever the setting says.
TEST_F(NightTest, OnlyARunAskedForIsRecorded)
{
    for (std::int32_t asked : {0, 1}) {
        ResetProgram();
        StoreSettings(StoredSettings{});
        night.asked = asked;
        SimSetInput(Nursery(5.0));
        SimAt(Tick(1), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
        ASSERT_EQ(RunProgram(), 0);
        EXPECT_EQ(SimNightRecordings().size(), static_cast<std::size_t>(asked));
    }
    night.asked = 0;
}
