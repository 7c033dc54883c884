// SPDX-License-Identifier: GPL-3.0-or-later
// How well the monitor tells a crying child from the rest of a household:
// marked nights replayed through the whole program on the simulated
// platform, with the default settings, with calibration on the first minute
// alone, and with calibration and the cry check (CryCheck=1), scored by the
// nights' own rule. The settings go through the store as the program's own
// and the sound through its capture engine, which judges every block;
// calibration is the replay tool's --calibrate. The nights are read where
// they lie; nothing of them is kept.
//
// --phases N replays each night N times, the blocks shifted against the
// sounds by 1/N of a block each time, and sums the scores: whether a sound
// passes can hang on where the blocks fall. Beside the false calls, each
// row names the household sounds that came nearest to a call without one
// (the highest the cry meter reached during them, as a share of the cry
// threshold).
//
// --stats prints how the room, the cries and each household sound peak and
// pass the check (with DETECTION_DETAIL set, why their loud blocks fail).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "alarm/monitor.h"
#include "audio/calibration.h"
#include "audio/cry_check.h"
#include "platform/platform.h"
#include "platform/recording/recording.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_phone.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_window.h"
#include "replay.h"
#include "settings/settings.h"
#include "shell/shell.h"

namespace {

constexpr std::int64_t block = 2048;
constexpr double rate = 11025.0;
constexpr double calibrationSeconds = 60.0;
constexpr double answerGrace = 60.0; // a call this long after a cry still answers it
constexpr double eventGrace = 15.0;  // a false call this long after an event is charged to it

struct Span {
    std::string type;
    double start = 0.0;
    double end = 0.0;
};

struct Night {
    std::string name;
    std::vector<std::int16_t> samples;
    std::vector<Span> cries;
    std::vector<Span> events; // household only
    std::unordered_map<std::int64_t, CryFeatures> features;
};

std::vector<Span> ReadSpans(const std::string& path, bool house)
{
    std::vector<Span> spans;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::stringstream row(line);
        std::string kind, type, start, end;
        std::getline(row, kind, ',');
        std::getline(row, type, ',');
        std::getline(row, start, ',');
        std::getline(row, end, ',');
        if ((kind == "house") == house && kind != "")
            spans.push_back(Span{type, std::stod(start), std::stod(end)});
    }
    return spans;
}

// Household events made louder by `gainDb`, clipped as a microphone would.
void RaiseEvents(Night* night, double gainDb)
{
    double gain = std::pow(10.0, gainDb / 20.0);
    for (const Span& event : night->events) {
        auto from = static_cast<std::size_t>(event.start * rate);
        auto to = std::min(night->samples.size(), static_cast<std::size_t>(event.end * rate));
        for (std::size_t i = from; i < to; ++i) {
            double v = std::round(night->samples[i] * gain);
            night->samples[i] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
        }
    }
}

std::int32_t PeakAt(const Night& night, std::int64_t start)
{
    std::int32_t peak = 0;
    for (std::int64_t i = start; i < start + block; ++i)
        peak = std::max(peak, std::abs(std::int32_t{night.samples[static_cast<std::size_t>(i)]}));
    return peak;
}

const CryFeatures& FeaturesAt(Night* night, std::int64_t start)
{
    auto found = night->features.find(start);
    if (found != night->features.end())
        return found->second;
    CryFeatures& features = night->features[start];
    MeasureCryFeatures(
        reinterpret_cast<const char*>(&night->samples[static_cast<std::size_t>(start)]), &features);
    return features;
}

// What the program did over a night: when it called, and its cry meter as
// a share of the cry threshold on every tick.
struct Run {
    std::vector<double> calls;
    std::vector<std::pair<double, double>> meter;
    double hours = 0.0;
};

// The whole program over the night from sample `offset` on (a shift of the
// blocks against the sounds), Start pressed at once; times on the night's
// own clock.
Run RunNight(const Night& night, const SettingsRecord& chosen, std::int64_t offset)
{
    Run run;
    double shift = static_cast<double>(offset) / rate;
    SimReset();
    SimSetDrawing(false);
    StoreRunSettings(chosen);
    auto at = static_cast<std::size_t>(offset);
    run.hours = static_cast<double>(night.samples.size() - at) / rate / 3600.0;
    SimSetInputStream([&night, at](std::int16_t* samples, long count) mutable {
        std::size_t n = std::min(static_cast<std::size_t>(count), night.samples.size() - at);
        std::copy_n(night.samples.begin() + static_cast<std::ptrdiff_t>(at), n, samples);
        at += n;
        return static_cast<long>(n);
    });
    SimOnTimerHandled([&run, shift](HWND window, UINT_PTR) {
        if (window == SimMainWindow() && limits.cryLimit > 0.0)
            run.meter.emplace_back(static_cast<double>(SimNow()) / simUnitsPerSecond + shift,
                                   monitor.cryMeter / limits.cryLimit);
    });
    SimAt(0, [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    WinMain(SimInstance(), nullptr, nullptr, SW_SHOW);
    SimOnTimerHandled(nullptr);
    for (const SimCall& call : SimCalls())
        run.calls.push_back(static_cast<double>(call.time) / simUnitsPerSecond + shift);
    return run;
}

struct Score {
    int cries = 0;
    int answered = 0;
    std::vector<double> delays;
    int falseCalls = 0;
    double hours = 0.0;
    std::map<std::string, int> byType;
    // Per household type: the highest share of the cry threshold the meter
    // reached during one of its sounds or the grace after it; 1 when it
    // brought a call. How near the sounds that did not call came to it.
    std::map<std::string, double> nearest;

    void Add(const Score& other)
    {
        cries += other.cries;
        answered += other.answered;
        delays.insert(delays.end(), other.delays.begin(), other.delays.end());
        falseCalls += other.falseCalls;
        hours += other.hours;
        for (const auto& [type, count] : other.byType)
            byType[type] += count;
        for (const auto& [type, share] : other.nearest)
            nearest[type] = std::max(nearest[type], share);
    }
};

Score ScoreNight(const Night& night, const Run& run)
{
    const std::vector<double>& calls = run.calls;
    Score score;
    score.cries = static_cast<int>(night.cries.size());
    score.hours = run.hours;
    for (const Span& cry : night.cries) {
        for (double call : calls) {
            if (call >= cry.start && call <= cry.end + answerGrace) {
                ++score.answered;
                score.delays.push_back(call - cry.start);
                break;
            }
        }
    }
    for (double call : calls) {
        bool answers = std::any_of(night.cries.begin(), night.cries.end(), [&](const Span& cry) {
            return call >= cry.start && call <= cry.end + answerGrace;
        });
        if (answers)
            continue;
        ++score.falseCalls;
        std::string type = "background";
        for (const Span& event : night.events) {
            if (call >= event.start && call <= event.end + eventGrace)
                type = event.type;
        }
        ++score.byType[type];
    }
    for (const Span& event : night.events) {
        double& nearest = score.nearest[event.type];
        for (const auto& [time, share] : run.meter) {
            if (time >= event.start && time <= event.end + eventGrace)
                nearest = std::max(nearest, std::min(share, 1.0));
        }
        for (double call : calls) {
            if (call >= event.start && call <= event.end + eventGrace)
                nearest = 1.0;
        }
    }
    return score;
}

double Quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    double at = q * static_cast<double>(values.size() - 1);
    auto low = static_cast<std::size_t>(at);
    std::size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

std::string Row(const std::string& label, const Score& s)
{
    char text[512];
    std::string types;
    for (const auto& [type, count] : s.byType)
        types += " " + type + " " + std::to_string(count);
    // The sounds that came nearest without a call, the nearest first.
    std::vector<std::pair<double, std::string>> near;
    for (const auto& [type, share] : s.nearest) {
        if (share >= 0.3 && share < 1.0)
            near.emplace_back(share, type);
    }
    std::sort(near.rbegin(), near.rend());
    std::string nearest;
    for (const auto& [share, type] : near)
        nearest += " " + type + " " + std::to_string(static_cast<int>(100.0 * share)) + "%";
    std::snprintf(text, sizeof text,
                  "%-34s %2d/%2d %5.1f %%  %5.1f s %5.1f s  %3d  %5.2f /h %s  | nearest:%s",
                  label.c_str(), s.answered, s.cries, s.cries ? 100.0 * s.answered / s.cries : 0.0,
                  Quantile(s.delays, 0.5), Quantile(s.delays, 0.9), s.falseCalls,
                  s.hours > 0 ? s.falseCalls / s.hours : 0.0, types.empty() ? " -" : types.c_str(),
                  nearest.empty() ? " -" : nearest.c_str());
    return text;
}

std::vector<std::int32_t> CalibrationPeaks(const Night& night, std::int64_t offset = 0)
{
    std::vector<std::int32_t> peaks;
    for (std::int64_t start = 0; (start + block) / rate <= calibrationSeconds; start += block)
        peaks.push_back(PeakAt(night, offset + start));
    return peaks;
}

struct Choices {
    std::string nights = "../shared/nights";
    std::vector<std::string> aside;
    bool stats = false;
    int phases = 1; // replays of each night, the blocks shifted by 1/phases of one
};

// Per night: how the room, the cries and each kind of household sound peak,
// and how often their blocks pass the rule.
void PrintStats(Night* night, const CryRule& rule)
{
    std::vector<std::int32_t> room = CalibrationPeaks(*night);
    std::vector<double> roomDb;
    for (std::int32_t p : room)
        roomDb.push_back(20.0 * std::log10(std::max(p, 1) / 32768.0));
    std::printf("%s room peak dBFS: p50 %.1f p95 %.1f max %.1f\n", night->name.c_str(),
                Quantile(roomDb, 0.5), Quantile(roomDb, 0.95), Quantile(roomDb, 1.0));
    std::vector<Span> all = night->cries;
    all.insert(all.end(), night->events.begin(), night->events.end());
    for (const Span& span : all) {
        std::vector<double> peaks;
        int pass = 0, loud = 0, loudPass = 0;
        double line = Quantile(roomDb, 0.95) + 8.0;
        CryCheckState check{};
        for (auto start = static_cast<std::int64_t>(span.start * rate);
             start + block <= static_cast<std::int64_t>(span.end * rate); start += block) {
            double db = 20.0 * std::log10(std::max(PeakAt(*night, start), 1) / 32768.0);
            peaks.push_back(db);
            bool like = FeaturesLikeCry(FeaturesAt(night, start), rule, &check);
            pass += like;
            if (db >= line) {
                ++loud;
                loudPass += like;
            }
        }
        if (std::getenv("DETECTION_DETAIL") != nullptr) {
            // Why loud blocks fail: pitch and periodicity of their frames,
            // and their band share.
            int frames = 0, periodic = 0, inRange = 0, bandOk = 0, blocks = 0;
            std::map<int, int> pitches;
            std::vector<double> shares, periodicities;
            for (auto start = static_cast<std::int64_t>(span.start * rate);
                 start + block <= static_cast<std::int64_t>(span.end * rate); start += block) {
                double db = 20.0 * std::log10(std::max(PeakAt(*night, start), 1) / 32768.0);
                if (db < line)
                    continue;
                const CryFeatures& f = FeaturesAt(night, start);
                ++blocks;
                shares.push_back(f.bandShare);
                bandOk += f.bandShare >= rule.bandShare;
                for (int k = 0; k < cryFrames; ++k) {
                    ++frames;
                    periodicities.push_back(f.periodicity[k]);
                    if (f.periodicity[k] >= rule.periodicity) {
                        ++periodic;
                        pitches[static_cast<int>(f.pitch[k] / 100) * 100]++;
                        inRange += f.pitch[k] >= rule.lowHz && f.pitch[k] <= rule.highHz;
                    }
                }
            }
            std::string hist;
            for (auto [hz, count] : pitches)
                hist += " " + std::to_string(hz) + ":" + std::to_string(count);
            std::printf("    %s: frames %d periodic %d in range %d; periodicity p25 %.2f p50 %.2f "
                        "p75 %.2f; band ok %d/%d (p10 %.2f p50 %.2f); pitch%s\n",
                        span.type.c_str(), frames, periodic, inRange, Quantile(periodicities, 0.25),
                        Quantile(periodicities, 0.5), Quantile(periodicities, 0.75), bandOk, blocks,
                        Quantile(shares, 0.1), Quantile(shares, 0.5), hist.c_str());
        }
        std::printf("  %-16s %7.1f s peak dBFS p10 %6.1f p50 %6.1f p90 %6.1f  pass %3.0f %%  "
                    "above room+8: %3d, of them pass %3.0f %%\n",
                    span.type.c_str(), span.start, Quantile(peaks, 0.1), Quantile(peaks, 0.5),
                    Quantile(peaks, 0.9), peaks.empty() ? 0.0 : 100.0 * pass / peaks.size(), loud,
                    loud ? 100.0 * loudPass / loud : 0.0);
    }
}

// A night's configurations: what calibration chose (or why it refused)
// and the score of the run with it.
struct Outcome {
    bool refused = false;
    std::string chosen;
    Score score;
};

Outcome RunPhase(const Night& night, int config, std::int64_t offset)
{
    Outcome outcome;
    SettingsRecord chosen{};
    SetDefaultSettings(&chosen);
    const char16_t number[] = u"0301234";
    std::copy(std::begin(number), std::end(number), chosen.PhoneNumber);
    chosen.PhoneMaxCalls = 1000; // no cap that would hide a false call
    chosen.Language = 1;
    chosen.CryCheck = config == 2 ? 1 : 0;
    if (config > 0) {
        // As the replay tool's --calibrate: the night's first minute.
        std::size_t start = static_cast<std::size_t>(offset);
        auto count =
            std::min<std::int64_t>(static_cast<std::int64_t>(calibrationSeconds * rate),
                                   static_cast<std::int64_t>(night.samples.size() - start));
        Calibration found;
        CalibrateSamples(night.samples.data() + start, count, chosen.CryCheck == 1, &found);
        if (found.outcome != CALIBRATION_OK) {
            outcome.refused = true;
            outcome.chosen = CalibrationRefusalWords(found.outcome);
            return outcome;
        }
        chosen.VolSensi = found.VolSensi;
        chosen.VolThresh = found.VolThresh;
        chosen.CryThresh = found.CryThresh;
        char text[128];
        std::snprintf(text, sizeof text, " (room %.1f, line %.1f dBFS: %d/%d/%d)", found.roomDbfs,
                      found.lineDbfs, found.VolSensi, found.VolThresh, found.CryThresh);
        outcome.chosen = text;
    }
    outcome.score = ScoreNight(night, RunNight(night, chosen, offset));
    return outcome;
}

// Summed over `phases` replays, each with the blocks shifted by another
// part of a block against the sounds: whether a sound passes can hang on
// where the blocks fall, and so can a near miss.
Outcome RunConfiguration(const Night& night, int config, int phases)
{
    Outcome outcome;
    for (int phase = 0; phase < phases && !outcome.refused; ++phase) {
        std::int64_t offset = block * phase / phases;
        Outcome one = RunPhase(night, config, offset);
        if (phase == 0)
            outcome.chosen = one.chosen;
        outcome.refused = one.refused;
        outcome.score.Add(one.score);
    }
    return outcome;
}

} // namespace

int main(int argc, char** argv)
{
    Choices choices;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--nights")
            choices.nights = value();
        else if (arg == "--aside")
            choices.aside.push_back(value());
        else if (arg == "--phases")
            choices.phases = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--stats")
            choices.stats = true;
        else {
            std::fprintf(stderr, "usage: cradlecom-detection [--nights DIR] [--aside NAME]... "
                                 "[--phases N] [--stats]\n");
            return 2;
        }
    }
    // Each night as made, and in a loud house: its sounds 8 dB above doors
    // open, which are about 8 dB above doors closed.
    std::vector<Night> nights;
    std::vector<bool> loud, aside;
    for (const char* name :
         {"tune_00_cnear_hnear", "tune_01_cnear_hfar", "tune_02_cfar_hnear", "tune_03_cfar_hfar"}) {
        std::string base = choices.nights + "/" + name;
        for (int house = 0; house < 2; ++house) {
            Night& night = nights.emplace_back();
            night.name = std::string(name) + (house ? " loud" : "");
            std::string error;
            if (!LoadRecording(base + ".flac", 11025, &night.samples, &error)) {
                std::fprintf(stderr, "%s: %s\n", base.c_str(), error.c_str());
                return 1;
            }
            night.cries = ReadSpans(base + ".events.csv", false);
            night.events = ReadSpans(base + ".events.csv", true);
            if (house == 1)
                RaiseEvents(&night,
                            std::string(name).find("hnear") != std::string::npos ? 8.0 : 16.0);
            loud.push_back(house == 1);
            aside.push_back(std::find(choices.aside.begin(), choices.aside.end(), name) !=
                            choices.aside.end());
        }
    }
    if (choices.stats) {
        for (Night& night : nights)
            PrintStats(&night, cryRule);
        return 0;
    }
    const char* labels[3] = {"defaults", "calibration", "calibration + cry check"};
    // [loud][configuration]
    Score tuned[2][3], kept[2][3];
    for (std::size_t i = 0; i < nights.size(); ++i) {
        for (int config = 0; config < 3; ++config) {
            Outcome o = RunConfiguration(nights[i], config, choices.phases);
            std::string label = nights[i].name + ": " + labels[config] + o.chosen;
            if (o.refused) {
                std::printf("%s: refused\n", label.c_str());
                continue;
            }
            std::printf("%s\n", Row(label, o.score).c_str());
            std::fflush(stdout);
            Score(&into)[3] = aside[i] ? kept[loud[i] ? 1 : 0] : tuned[loud[i] ? 1 : 0];
            into[config].Add(o.score);
        }
    }
    for (int house = 0; house < 2; ++house) {
        for (int config = 0; config < 3; ++config) {
            std::string what = std::string(house ? "loud, " : "") + labels[config];
            if (tuned[house][config].cries > 0)
                std::printf("%s\n", Row("TUNED " + what, tuned[house][config]).c_str());
            if (kept[house][config].cries > 0)
                std::printf("%s\n", Row("ASIDE " + what, kept[house][config]).c_str());
        }
    }
    return 0;
}
