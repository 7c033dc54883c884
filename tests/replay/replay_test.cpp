// SPDX-License-Identifier: GPL-3.0-or-later
// The replay tool's parts: levels that follow the recording's own samples,
// the final tick, a bounded stream, the peak index against a direct search,
// runs on the index against runs on the samples, a phone's rate against the
// capture rate, the scoring of calls against noted cries, the picture, and
// calibration on a recording's start with the cry check.
#include <QImage>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <samplerate.h>
#include <sndfile.h>

#include "platform/recording/recording.h"
#include "platform/sim/sim.h"
#include "replay.h"

namespace {

constexpr double never = 1e9; // Start is not pressed

class ReplayTest : public ::testing::Test {
protected:
    std::filesystem::path folder;

    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/replay-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        // Qt keeps its runtime files here, not in a shared folder.
        setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string Write(const std::string& name, const std::vector<short>& samples)
    {
        std::string path = (folder / name).string();
        std::string error;
        EXPECT_TRUE(WriteWavFile(path, 11025, 1, samples.data(), samples.size(), &error)) << error;
        return path;
    }

    // Runs the program over the file; the trace as text.
    std::string Replay(const std::string& path, const ReplaySettings& chosen, bool fromIndex,
                       double start, RunResult* result = nullptr, const std::string& answers = "")
    {
        std::string tracePath = (folder / "trace.csv").string();
        std::FILE* trace = std::fopen(tracePath.c_str(), "w");
        EXPECT_NE(trace, nullptr);
        WriteTraceHeader(trace);
        std::string error;
        RecordingStream* stream = OpenRecordingStream(path, 11025, &error);
        EXPECT_NE(stream, nullptr) << error;
        PeakIndex index;
        RunInput input;
        input.answers = answers;
        if (fromIndex) {
            BuildPeakIndex(stream, &index);
            input.peaks = &index;
        } else {
            input.stream = stream;
        }
        RunResult run = ReplayOnce(chosen, input, start, trace, true);
        CloseRecordingStream(stream);
        std::fclose(trace);
        EXPECT_EQ(run.faults, 0) << run.lastFault;
        if (result != nullptr)
            *result = run;
        std::ifstream in(tracePath);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

struct Row {
    long tick;
    double seconds;
    double level;
    double meter;
};

std::vector<Row> Rows(const std::string& trace)
{
    std::vector<Row> rows;
    std::istringstream in(trace);
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        Row row{};
        EXPECT_EQ(std::sscanf(line.c_str(), "%ld,%lf,%lf,%lf", &row.tick, &row.seconds, &row.level,
                              &row.meter),
                  4)
            << line;
        rows.push_back(row);
    }
    return rows;
}

// Noise whose loudness changes every 3000 samples, never full scale.
std::vector<short> Noise(std::size_t count, std::uint32_t seed)
{
    std::vector<short> samples(count);
    std::uint32_t x = seed;
    for (std::size_t i = 0; i < count; ++i) {
        x = x * 1664525u + 1013904223u;
        int amplitude = static_cast<int>((i / 3000 * 7 + seed) % 14 + 1) * 1000;
        samples[i] = static_cast<short>(static_cast<int>(x >> 8) % amplitude);
    }
    return samples;
}

// Loud (a cry) from `from` to `to` seconds, quiet otherwise.
std::vector<short> Cries(double seconds, const std::vector<std::pair<double, double>>& loud)
{
    std::vector<short> samples = Noise(static_cast<std::size_t>(seconds * 11025), 7);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        double t = static_cast<double>(i) / 11025;
        bool crying = false;
        for (const auto& span : loud)
            crying = crying || (t >= span.first && t < span.second);
        samples[i] = static_cast<short>(crying ? samples[i] * 2 : samples[i] / 20);
    }
    return samples;
}

std::int64_t TickStart(std::int64_t n)
{
    return (n * 2205 + 1) / 2;
}

} // namespace

// Without a call, capture starts at ticks 0, 100, 200 ... and returns
// buffer after buffer; each tick sees the level of the last full buffer
// that came back by then, computed here from the file's own samples. The
// trace's numbers read back as exactly these values, in their shortest
// text (0.1, not 0.10000000000000001).
TEST_F(ReplayTest, LevelsAreThoseOfTheRecordingsOwnSamples)
{
    std::vector<short> samples = Noise(11025 * 25 + 1234, 3);
    std::string path = Write("noise.wav", samples);
    ReplaySettings chosen;
    chosen.VolSensi = 50; // a full level at a peak of 15250
    std::string trace = Replay(path, chosen, false, never);
    EXPECT_NE(trace.find("\n1,0.1,0,0,0,0,0\n"), std::string::npos) << trace.substr(0, 200);
    std::vector<Row> rows = Rows(trace);
    ASSERT_EQ(rows.size(), 251u);
    for (const Row& row : rows)
        EXPECT_EQ(row.seconds, static_cast<double>(row.tick) / 10) << row.tick;

    std::vector<std::pair<std::int64_t, double>> buffers; // end sample, level
    for (std::int64_t run = 0; TickStart(run * 100) < static_cast<std::int64_t>(samples.size());
         ++run) {
        std::int64_t stop = TickStart((run + 1) * 100);
        for (std::int64_t start = TickStart(run * 100); start + 2048 <= stop; start += 2048) {
            if (start + 2048 > static_cast<std::int64_t>(samples.size()))
                break;
            int peak = 0;
            for (std::int64_t i = start; i < start + 2048; ++i)
                peak = std::max(peak, std::abs(int{samples[static_cast<std::size_t>(i)]}));
            buffers.emplace_back(start + 2048, std::min(peak, 15250) / 15250.0);
        }
    }
    std::size_t next = 0;
    double level = 0.0;
    int differing = 0;
    for (const Row& row : rows) {
        while (next < buffers.size() && buffers[next].first * 10 <= row.tick * 11025)
            level = buffers[next++].second;
        differing += row.level != level ? 1 : 0;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(next, 120u);
}

// The run ends after the last tick at or before the end of the recording,
// that tick included.
TEST_F(ReplayTest, TheFinalTickAtTheVeryEndIsRunAndTraced)
{
    for (auto [length, ticks] : {std::pair{77175, 70}, std::pair{77174, 69}, std::pair{77200, 70},
                                 std::pair{1102, 0}, std::pair{1103, 1}}) {
        std::string path = Write("end" + std::to_string(length) + ".wav",
                                 Noise(static_cast<std::size_t>(length), 1));
        RunResult run;
        std::vector<Row> rows = Rows(Replay(path, ReplaySettings{}, false, never, &run));
        EXPECT_EQ(run.ticks, ticks) << length << " samples";
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(ticks)) << length << " samples";
        if (ticks > 0) {
            EXPECT_EQ(rows.back().tick, ticks);
        }
    }
}

// Ten minutes of recording, of which the replay holds only a window.
TEST_F(ReplayTest, TheRecordingIsStreamedNotHeld)
{
    std::string path = Write("long.wav", Noise(11025 * 600, 5));
    RunResult run;
    Replay(path, ReplaySettings{}, false, never, &run);
    EXPECT_EQ(run.ticks, 6000);
    EXPECT_LE(SimInputHeldMost(), 2 * 2048 + 2 * 16384);
}

// The index holds the peak of every buffer a capture started on a tick can
// return, as a direct search finds it.
TEST_F(ReplayTest, ThePeakIndexAgreesWithADirectSearch)
{
    std::vector<short> samples = Noise(11025 * 30 + 999, 9);
    samples[50000] = -32768;
    std::string path = Write("index.wav", samples);
    std::string error;
    RecordingStream* stream = OpenRecordingStream(path, 11025, &error);
    ASSERT_NE(stream, nullptr) << error;
    PeakIndex index;
    BuildPeakIndex(stream, &index);
    CloseRecordingStream(stream);
    EXPECT_EQ(index.samples, static_cast<std::int64_t>(samples.size()));
    int checked = 0;
    for (std::int64_t n = 0; TickStart(n) < index.samples; ++n) {
        PeakCursor cursor;
        for (int k = 0; k < buffersPerStart; ++k) {
            std::int64_t start = TickStart(n) + 2048 * k;
            std::int32_t found = -1;
            bool held = LookUpPeak(index, start, &found, &cursor);
            if (start + 2048 > index.samples) {
                EXPECT_FALSE(held);
                break;
            }
            int peak = 0;
            for (std::int64_t i = start; i < start + 2048; ++i)
                peak = std::max(peak, std::abs(int{samples[static_cast<std::size_t>(i)]}));
            ASSERT_TRUE(held) << "tick " << n << " buffer " << k;
            ASSERT_EQ(found, peak) << "tick " << n << " buffer " << k;
            ++checked;
        }
    }
    EXPECT_GT(checked, 10000);
    std::int32_t peak = 0;
    PeakCursor cursor;
    EXPECT_FALSE(LookUpPeak(index, 5, &peak, &cursor)); // capture never starts there
}

// Runs on the index trace exactly what runs on the samples trace, also when
// calls move the restarts off their first rhythm.
TEST_F(ReplayTest, RunsOnTheIndexEqualRunsOnTheSamples)
{
    std::string path = Write("cries.wav", Cries(95, {{5, 30}, {40, 41}, {50, 80}}));
    int calls = 0;
    for (int sensitivity : {35, 60}) {
        for (int delay : {0, 1}) {
            ReplaySettings chosen;
            chosen.VolSensi = sensitivity;
            chosen.PhoneDelay = delay;
            AssignSetting(&chosen, u"PhoneNumber=0301234");
            RunResult run;
            std::string fromSamples = Replay(path, chosen, false, 2.35, &run);
            std::string fromIndex = Replay(path, chosen, true, 2.35);
            EXPECT_EQ(fromIndex, fromSamples) << "VolSensi " << sensitivity;
            calls += static_cast<int>(run.calls.size());
        }
    }
    EXPECT_GE(calls, 8);
}

// The bundled recordings as a phone records them (44.1 kHz, two channels
// that differ) call within a tick of a careful conversion of the same sound
// to 11025 Hz, which the replay reads sample for sample.
TEST_F(ReplayTest, APhonesRateCallsWhenTheCaptureRateDoes)
{
    // `values` at `from` Hz brought to `to` Hz by libsamplerate's best.
    auto convert = [](const std::vector<float>& values, int from, int to) {
        std::vector<float> out(
            values.size() * static_cast<std::size_t>(to) / static_cast<std::size_t>(from) + 16);
        SRC_DATA data{};
        data.data_in = values.data();
        data.input_frames = static_cast<long>(values.size());
        data.data_out = out.data();
        data.output_frames = static_cast<long>(out.size());
        data.src_ratio = static_cast<double>(to) / from;
        EXPECT_EQ(src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1), 0);
        out.resize(static_cast<std::size_t>(data.output_frames_gen));
        return out;
    };
    auto write = [&](const std::string& name, int rate, int channels,
                     const std::vector<float>& frames) {
        std::string path = (folder / name).string();
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
        sf_writef_float(file, frames.data(), static_cast<sf_count_t>(frames.size()) / channels);
        sf_close(file);
        return path;
    };
    int calls = 0;
    for (const char* name : {"nursery.flac", "cry_bouts.flac", "room_hum.flac"}) {
        SF_INFO info{};
        SNDFILE* file =
            sf_open((std::string(CRADLECOM_DATA_DIR) + "/" + name).c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << name;
        ASSERT_EQ(info.channels, 1);
        std::vector<float> sound(static_cast<std::size_t>(info.frames));
        sf_readf_float(file, sound.data(), info.frames);
        sf_close(file);
        std::vector<float> phone = convert(sound, info.samplerate, 44100);
        std::vector<float> stereo;
        for (std::size_t i = 0; i < phone.size(); ++i) {
            float apart = 0.02f * static_cast<float>(std::sin(0.05 * static_cast<double>(i)));
            stereo.push_back(phone[i] + apart);
            stereo.push_back(phone[i] - apart);
        }
        std::string phonePath = write("phone.wav", 44100, 2, stereo);
        std::string capturePath =
            write("capture.wav", 11025, 1, convert(sound, info.samplerate, 11025));
        for (bool sensitive : {false, true}) {
            ReplaySettings chosen;
            AssignSetting(&chosen, u"PhoneNumber=0301234");
            if (sensitive) {
                chosen.VolThresh = 30;
                chosen.CryThresh = 20;
                chosen.PhoneDelay = 0;
            }
            RunResult fromPhone;
            RunResult fromCapture;
            Replay(phonePath, chosen, false, 0.0, &fromPhone);
            Replay(capturePath, chosen, false, 0.0, &fromCapture);
            ASSERT_EQ(fromPhone.calls.size(), fromCapture.calls.size()) << name;
            for (std::size_t i = 0; i < fromPhone.calls.size(); ++i)
                EXPECT_NEAR(fromPhone.calls[i].seconds, fromCapture.calls[i].seconds, 0.1 + 1e-9)
                    << name << " call " << i;
            calls += static_cast<int>(fromPhone.calls.size());
        }
    }
    EXPECT_GE(calls, 6);
}

// A cry is answered by the first call within it or the minute after it;
// other calls are false alarms.
TEST(CryScore, AnsweredCriesFalseAlarmsAndDelay)
{
    std::vector<Cry> cries = {{10, 20}, {200, 210}, {400, 405}, {1000, 1010}};
    auto calls = [](std::vector<double> times) {
        std::vector<RunCall> made;
        for (double t : times)
            made.push_back(RunCall{t, u"1", ""});
        return made;
    };
    // 25: the minute after the first cry; 30: the same cry again, not
    // false; 100: false; 270: exactly a minute after the second cry ends;
    // 399: a second early for the third; none for the fourth.
    CryScore score = ScoreCalls(cries, calls({25, 30, 100, 270, 399}));
    EXPECT_EQ(score.answered, 2);
    EXPECT_EQ(score.falseAlarms, 2);
    EXPECT_DOUBLE_EQ(score.meanDelay, (15.0 + 70.0) / 2);
    score = ScoreCalls(cries, calls({}));
    EXPECT_EQ(score.answered, 0);
    EXPECT_EQ(score.falseAlarms, 0);
    EXPECT_EQ(score.meanDelay, 0.0);
    score = ScoreCalls({}, calls({5}));
    EXPECT_EQ(score.falseAlarms, 1);
}

TEST_F(ReplayTest, CriesAreReadWithOrWithoutAHeader)
{
    std::string path = (folder / "cries.csv").string();
    std::ofstream(path) << "start,end\n12.5,20\n\n# later\n300, 310.25\r\n";
    std::vector<Cry> cries;
    std::string error;
    ASSERT_TRUE(ReadCries(path, &cries, &error)) << error;
    ASSERT_EQ(cries.size(), 2u);
    EXPECT_EQ(cries[1].start, 300.0);
    EXPECT_EQ(cries[1].end, 310.25);
    std::ofstream(path) << "12,20\n30,25\n";
    EXPECT_FALSE(ReadCries(path, &cries, &error));
    EXPECT_NE(error.find(":2:"), std::string::npos) << error;
}

// 1600 x 500, with a call marker in the column of each call and nowhere
// else.
TEST_F(ReplayTest, ThePlotMarksTheCallsWhereTheyWere)
{
    RunResult run;
    run.seconds = 8 * 3600;
    run.volLimit = 0.5;
    run.cryLimit = 0.6;
    run.calls = {RunCall{3600, u"1", ""}, RunCall{5 * 3600 + 125, u"1", ""}};
    for (long tick = 1; tick <= 288000; ++tick)
        AddToTrack(&run.track, tick, (tick % 977) / 977.0, tick > 100000 ? 0.3 : 0.0, tick > 50000);
    std::string path = (folder / "night.png").string();
    std::string error;
    ASSERT_TRUE(WritePlot(path, "night", run, 22 * 3600, {{7200, 7300}}, &error)) << error;
    QImage image(QString::fromStdString(path));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), plotWidth);
    EXPECT_EQ(image.height(), plotHeight);
    // Rows in the middle of the plot, below the legend and the labels.
    auto marked = [&](int x) {
        int count = 0;
        for (int y = plotHeight / 4; y < plotHeight * 3 / 4; ++y)
            count += (image.pixel(x, y) & 0xFFFFFF) == callMarkerRgb ? 1 : 0;
        return count;
    };
    for (const RunCall& call : run.calls)
        EXPECT_EQ(marked(PlotColumn(call.seconds, run.seconds)), plotHeight / 2);
    int elsewhere = 0;
    for (int x = 0; x < image.width(); ++x) {
        bool nearCall = false;
        for (const RunCall& call : run.calls)
            nearCall = nearCall || std::abs(x - PlotColumn(call.seconds, run.seconds)) <= 1;
        if (!nearCall)
            elsewhere += marked(x);
    }
    EXPECT_EQ(elsewhere, 0);
}

// On a short run the level is a line: every column from the first tick to
// the last holds some of it, each meeting the next. The pause after a call
// and the call limit run along the top, and the legend names only what is
// drawn: without a call, no call's colour anywhere.
TEST_F(ReplayTest, AShortRunIsDrawnAsLinesWithWhatHeldCallsBack)
{
    RunResult run;
    run.seconds = 41.5;
    run.ticks = 415;
    run.volLimit = 0.9;
    run.cryLimit = 0.95;
    for (long tick = 1; tick <= run.ticks; ++tick)
        AddToTrack(&run.track, tick, tick / 5 % 2 == 0 ? 0.3 : 0.7, 0.05, false);
    std::string path = (folder / "short.png").string();
    std::string error;
    ASSERT_TRUE(WritePlot(path, "short", run, 0, {}, &error)) << error;
    QImage image(QString::fromStdString(path));
    auto rowsOf = [&](int x, unsigned rgb) {
        std::pair<int, int> rows{plotHeight, -1};
        for (int y = PlotRow(1.0); y <= PlotRow(0.0); ++y) {
            if ((image.pixel(x, y) & 0xFFFFFF) == rgb)
                rows = {std::min(rows.first, y), std::max(rows.second, y)};
        }
        return rows;
    };
    int count = 0;
    for (int x = PlotColumn(0.0, run.seconds); x + 1 < PlotColumn(run.seconds, run.seconds); ++x) {
        auto here = rowsOf(x, levelRgb);
        auto next = rowsOf(x + 1, levelRgb);
        ASSERT_GE(here.second, 0) << "column " << x;
        EXPECT_TRUE(here.first <= next.second && next.first <= here.second) << "column " << x;
        ++count;
    }
    EXPECT_GT(count, 1000);
    int callColoured = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            callColoured += (image.pixel(x, y) & 0xFFFFFF) == callMarkerRgb ? 1 : 0;
    }
    EXPECT_EQ(callColoured, 0);

    run.calls = {RunCall{10.0, u"1", ""}};
    run.pauses = {RunSpan{10.0, 19.9}};
    run.callLimitAt = 30.0;
    run.maxCalls = 1;
    ASSERT_TRUE(WritePlot(path, "short", run, 0, {}, &error)) << error;
    image.load(QString::fromStdString(path));
    auto topStrip = [&](double seconds) {
        return image.pixel(PlotColumn(seconds, run.seconds), PlotRow(1.0) + 4) & 0xFFFFFF;
    };
    EXPECT_EQ(topStrip(15.0), pauseRgb);
    EXPECT_EQ(topStrip(35.0), callLimitRgb);
    EXPECT_NE(topStrip(5.0), pauseRgb);
    EXPECT_NE(topStrip(25.0), pauseRgb);
    EXPECT_NE(topStrip(25.0), callLimitRgb);
}

// A run records the pause after each call, from its tick to the last one
// before the next call may come, and when the call limit first held a call
// back.
TEST_F(ReplayTest, ARunRecordsThePausesAndTheCallLimit)
{
    std::string path = Write("three.wav", Cries(120, {{5, 30}, {45, 60}, {80, 110}}));
    ReplaySettings chosen;
    AssignSetting(&chosen, u"PhoneNumber=0301234");
    chosen.PhoneDelay = 0;
    chosen.PhoneMaxCalls = 2;
    RunResult run;
    Replay(path, chosen, false, 0.0, &run);
    ASSERT_EQ(run.calls.size(), 2u);
    ASSERT_EQ(run.pauses.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_DOUBLE_EQ(run.pauses[i].start, run.calls[i].seconds);
        EXPECT_NEAR(run.pauses[i].end, run.calls[i].seconds + 9.9, 1e-9);
    }
    // Both calls come from the first cry; the second cry finds the limit.
    EXPECT_LT(run.calls[1].seconds, 30.0);
    EXPECT_GT(run.callLimitAt, 45.0);
    EXPECT_LT(run.callLimitAt, 60.0);
    EXPECT_EQ(run.maxCalls, 2);

    chosen.PhoneDelay = 1;
    Replay(path, chosen, false, 0.0, &run);
    ASSERT_EQ(run.calls.size(), 2u);
    EXPECT_NEAR(run.pauses[0].end, run.calls[0].seconds + 10.0 + 60.0 - 0.1, 1.0);
    EXPECT_LT(run.callLimitAt, 0.0);
}

// A night in a humming room: a minute of hum, then a child crying across
// the room, then a loud buzz held at 120 Hz (an appliance). Calibrated on
// the first minute, the monitor answers the cry with the cry check and
// without it; only without it does the buzz call too. A silent recording
// and a loud one are refused.
TEST_F(ReplayTest, CalibrationThenReplayAnswersTheCryAndTheCheckRefusesTheBuzz)
{
    std::vector<short> hum, cry, night;
    std::string error;
    ASSERT_TRUE(LoadRecording(CRADLECOM_DATA_DIR "/room_hum.flac", 11025, &hum, &error));
    ASSERT_TRUE(LoadRecording(CRADLECOM_DATA_DIR "/cry_bouts.flac", 11025, &cry, &error));
    auto addHum = [&](double seconds) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(seconds * 11025); ++i)
            night.push_back(hum[i % hum.size()]);
    };
    addHum(60);
    double cryStart = 60, cryEnd = 60 + 3 * static_cast<double>(cry.size()) / 11025;
    for (int bout = 0; bout < 3; ++bout) {
        for (std::size_t i = 0; i < cry.size(); ++i)
            night.push_back(static_cast<short>(cry[i] / 4 + hum[i % hum.size()])); // -12 dB: 2.5 m
    }
    addHum(120);
    double buzzStart = static_cast<double>(night.size()) / 11025;
    const double pi = std::acos(-1.0);
    for (std::size_t i = 0; i < 90 * 11025; ++i) {
        double v = 0.0;
        for (int k = 1; k <= 8; ++k)
            v += std::sin(2.0 * pi * 120.0 * k * static_cast<double>(i) / 11025) / k;
        night.push_back(static_cast<short>(2500.0 * v));
    }
    addHum(60);
    std::string path = Write("night.wav", night);

    for (int check : {0, 1}) {
        ReplaySettings chosen;
        chosen.CryCheck = check;
        chosen.PhoneDelay = 0;
        chosen.PhoneMaxCalls = 1000;
        AssignSetting(&chosen, u"PhoneNumber=0301234");
        RecordingStream* stream = OpenRecordingStream(path, 11025, &error);
        ASSERT_NE(stream, nullptr) << error;
        std::string said;
        ASSERT_TRUE(CalibrateFromRecording(stream, 60, &chosen, &said)) << said;
        CloseRecordingStream(stream);
        EXPECT_EQ(chosen.CryThresh, check == 1 ? 30 : 50) << said;
        RunResult run;
        Replay(path, chosen, false, 0.0, &run);
        int forCry = 0, forBuzz = 0, other = 0;
        for (const RunCall& call : run.calls) {
            if (call.seconds >= cryStart && call.seconds <= cryEnd + answerGraceSeconds)
                ++forCry;
            else if (call.seconds >= buzzStart && call.seconds <= buzzStart + 100)
                ++forBuzz;
            else
                ++other;
        }
        EXPECT_GE(forCry, 1) << said;
        EXPECT_EQ(forBuzz > 0, check == 0) << forBuzz << " calls for the buzz; " << said;
        EXPECT_EQ(other, 0) << said;
    }

    for (short level : {0, 8000}) {
        std::vector<short> room(20 * 11025);
        for (std::size_t i = 0; i < room.size(); ++i)
            room[i] = static_cast<short>(i % 2 == 0 ? level : -level);
        std::string quiet = Write("room.wav", room);
        RecordingStream* stream = OpenRecordingStream(quiet, 11025, &error);
        ASSERT_NE(stream, nullptr) << error;
        ReplaySettings chosen;
        std::string said;
        EXPECT_FALSE(CalibrateFromRecording(stream, 10, &chosen, &said));
        CloseRecordingStream(stream);
        EXPECT_NE(said.find(level == 0 ? "silence" : "too loud"), std::string::npos) << said;
        EXPECT_EQ(chosen.VolSensi, 50); // nothing chosen
    }
}

// --answers: the first number rings out, the second fails, the third
// answers; one round, so PhoneMaxCalls=1 lets all three through.
TEST_F(ReplayTest, TheAnswersPlayARoundThroughTheNumbers)
{
    std::string path = Write("cry.wav", Cries(200, {{5, 190}}));
    ReplaySettings chosen;
    AssignSetting(&chosen, u"PhoneNumber=0301234");
    AssignSetting(&chosen, u"PhoneNumber2=0302222");
    AssignSetting(&chosen, u"PhoneNumber3=0303333");
    chosen.PhoneMaxCalls = 1;
    chosen.PhoneRingSeconds = 20;
    RunResult run;
    Replay(path, chosen, false, 0.0, &run, "nf");
    ASSERT_EQ(run.calls.size(), 3u);
    EXPECT_EQ(run.calls[0].outcome, "not answered");
    EXPECT_EQ(run.calls[1].outcome, "failed (busy)");
    EXPECT_EQ(run.calls[2].outcome, "answered");
    EXPECT_EQ(run.calls[2].number, u"0303333");
    EXPECT_NEAR(run.calls[1].seconds, run.calls[0].seconds + 20.0, 0.15);
}
