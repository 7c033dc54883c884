// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the whole program on the simulated platform over a recording, as
// fast as the CPU allows: Start pressed at a chosen time, every call request
// recorded, a trace of every tick, a picture of the run; or, with --sweep,
// every combination of settings over one decoding of the recording.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include "platform/recording/recording.h"
#include "replay.h"

namespace {

constexpr const char* tool = "cradlecom-replay";

std::string SettingsText(const ReplaySettings& settings)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "VolSensi %d, VolThresh %d, CryThresh %d, PhoneDelay %d min, PhoneMaxCalls %d%s",
                  settings.VolSensi, settings.VolThresh, settings.CryThresh, settings.PhoneDelay,
                  settings.PhoneMaxCalls, settings.CryCheck == 1 ? ", CryCheck 1" : "");
    return text;
}

std::string BaseName(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Clock(double seconds)
{
    auto total = static_cast<long long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
    return text;
}

// Local time of the recording's first sample, in seconds after midnight: a
// recording written as it was made (a recorded night among them) was last
// changed at its end.
double DefaultBeginSeconds(const std::string& path, double seconds)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return 0;
    std::time_t begun = info.st_mtime - static_cast<std::time_t>(std::lround(seconds));
    std::tm local{};
    if (localtime_r(&begun, &local) == nullptr)
        return 0;
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

// "night.png" and row 3 give "night-3.png".
std::string Numbered(const std::string& path, std::size_t row)
{
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        dot = path.size();
    return path.substr(0, dot) + "-" + std::to_string(row) + path.substr(dot);
}

std::FILE* OpenTrace(const std::string& path)
{
    std::FILE* trace = std::fopen(path.c_str(), "w");
    if (trace == nullptr) {
        std::fprintf(stderr, "%s: %s: %s\n", tool, path.c_str(), std::strerror(errno));
        return nullptr;
    }
    WriteTraceHeader(trace);
    return trace;
}

bool CloseTrace(std::FILE* trace, const std::string& path)
{
    bool failed = std::ferror(trace) != 0;
    failed = std::fclose(trace) != 0 || failed;
    if (failed)
        std::fprintf(stderr, "%s: %s: could not be written\n", tool, path.c_str());
    return !failed;
}

bool Plot(const ReplayOptions& options, const std::string& path, const RunResult& run,
          const ReplaySettings& settings, const std::vector<Cry>& cries)
{
    double begin = options.beginMinute >= 0 ? options.beginMinute * 60.0
                                            : DefaultBeginSeconds(options.recording, run.seconds);
    std::string title = BaseName(options.recording) + "  —  " + SettingsText(settings);
    std::string error;
    if (!WritePlot(path, title, run, begin, cries, &error)) {
        std::fprintf(stderr, "%s: %s\n", tool, error.c_str());
        return false;
    }
    return true;
}

// The refusal and platform faults end a run's use: 3 and 4.
int RunVerdict(const RunResult& run)
{
    for (const RunBox& box : run.boxes) {
        if (box.refusal) {
            std::fprintf(stderr,
                         "%s: Start was refused: the phone number is set empty "
                         "(give a number, or leave --set PhoneNumber out)\n",
                         tool);
            return 3;
        }
    }
    if (run.faults != 0) {
        std::fprintf(stderr, "%s: platform fault: %s\n", tool, run.lastFault.c_str());
        return 4;
    }
    return run.exitCode;
}

int ReplayPlain(ReplayOptions options, RecordingStream* stream, const std::vector<Cry>& cries)
{
    if (options.calibrateSeconds > 0) {
        std::string said;
        if (!CalibrateFromRecording(stream, options.calibrateSeconds, &options.settings, &said)) {
            std::fprintf(stderr, "%s: --calibrate: %s\n", tool, said.c_str());
            return 1;
        }
        std::printf("calibration on the first %d s: %s\n", options.calibrateSeconds, said.c_str());
    }
    std::FILE* trace = nullptr;
    if (!options.tracePath.empty() && (trace = OpenTrace(options.tracePath)) == nullptr)
        return 1;
    RunInput input;
    input.stream = stream;
    input.answers = options.answers;
    RunResult run =
        ReplayOnce(options.settings, input, options.startSeconds, trace, !options.plotPath.empty());
    if (trace != nullptr && !CloseTrace(trace, options.tracePath))
        return 1;

    const ReplaySettings& settings = options.settings;
    std::printf("recording: %s\n", options.recording.c_str());
    std::printf("settings: %s, PhoneNumber \"%s\", Language %d\n", SettingsText(settings).c_str(),
                Utf8(settings.PhoneNumber).c_str(), settings.Language);
    std::printf("limits: loudness %.2f, cry meter %.2f\n", run.volLimit, run.cryLimit);
    std::printf("duration: %.3f s (%s), ticks: %ld, exit code: %d\n", run.seconds,
                Clock(run.seconds).c_str(), run.ticks, run.exitCode);
    std::printf("highest cry meter: %.3f at %.1f s\n", run.highestCry, run.highestCryAt);
    for (const RunBox& box : run.boxes)
        std::printf("message at %.1f s: %s\n", box.seconds, Utf8(box.text).c_str());
    std::printf("calls: %zu\n", run.calls.size());
    // What became of each call, once the phone was told what to make of them.
    for (const RunCall& call : run.calls)
        std::printf("  call at %.1f s (%s) to %s%s%s\n", call.seconds, Clock(call.seconds).c_str(),
                    Utf8(call.number).c_str(), options.answers.empty() ? "" : ": ",
                    options.answers.empty() ? "" : call.outcome.c_str());
    if (!options.criesPath.empty()) {
        CryScore score = ScoreCalls(cries, run.calls);
        std::printf("cries: %zu, answered: %d, false alarms: %d, mean delay: %.1f s\n",
                    cries.size(), score.answered, score.falseAlarms, score.meanDelay);
    }
    int verdict = RunVerdict(run);
    if (!options.plotPath.empty() && !Plot(options, options.plotPath, run, settings, cries))
        return 1;
    return verdict;
}

// Every combination, the first axis outermost.
std::vector<ReplaySettings> Combinations(const ReplayOptions& options)
{
    std::vector<ReplaySettings> all{options.settings};
    for (const SweepAxis& axis : options.sweep) {
        std::vector<ReplaySettings> next;
        for (const ReplaySettings& base : all) {
            for (std::int64_t value = axis.from; value <= axis.to; value += axis.step) {
                ReplaySettings settings = base;
                std::string reason;
                SetNumber(&settings, axis.name, static_cast<std::int32_t>(value), &reason);
                next.push_back(settings);
            }
        }
        all = std::move(next);
    }
    return all;
}

int ReplaySweep(const ReplayOptions& options, RecordingStream* stream,
                const std::vector<Cry>& cries)
{
    std::vector<ReplaySettings> combinations = Combinations(options);
    // Calibrated once for each CryCheck that a row has.
    if (options.calibrateSeconds > 0) {
        for (int check = 0; check <= 1; ++check) {
            ReplaySettings calibrated = options.settings;
            calibrated.CryCheck = check;
            std::string said;
            bool used = std::any_of(combinations.begin(), combinations.end(),
                                    [&](const ReplaySettings& s) { return s.CryCheck == check; });
            if (!used)
                continue;
            if (!CalibrateFromRecording(stream, options.calibrateSeconds, &calibrated, &said)) {
                std::fprintf(stderr, "%s: --calibrate: %s\n", tool, said.c_str());
                return 1;
            }
            std::fprintf(options.csvPath.empty() ? stderr : stdout,
                         "calibration on the first %d s: %s\n", options.calibrateSeconds,
                         said.c_str());
            for (ReplaySettings& row : combinations) {
                if (row.CryCheck == check) {
                    row.VolSensi = calibrated.VolSensi;
                    row.VolThresh = calibrated.VolThresh;
                    row.CryThresh = calibrated.CryThresh;
                }
            }
        }
    }
    std::FILE* csv = stdout;
    if (!options.csvPath.empty() && (csv = std::fopen(options.csvPath.c_str(), "w")) == nullptr) {
        std::fprintf(stderr, "%s: %s: %s\n", tool, options.csvPath.c_str(), std::strerror(errno));
        return 1;
    }
    std::FILE* summary = csv == stdout ? stderr : stdout;
    bool scoring = !options.criesPath.empty();

    PeakIndex index;
    BuildPeakIndex(stream, &index);

    std::fprintf(csv, "row");
    for (const StoredSetting& setting : storedSettings) {
        if (setting.field != nullptr && ChangesReplay(setting))
            std::fprintf(csv, ",%s", Utf8(setting.name).c_str());
    }
    std::fprintf(csv, ",calls,callSeconds%s\n",
                 scoring ? ",cries,answered,falseAlarms,meanDelaySeconds" : "");
    struct Scored {
        std::size_t row;
        CryScore score;
        std::size_t calls;
    };
    std::vector<Scored> scored;
    int verdict = 0;
    for (std::size_t i = 0; i < combinations.size() && verdict == 0; ++i) {
        const ReplaySettings& settings = combinations[i];
        std::size_t row = i + 1;
        std::string tracePath = options.tracePath.empty() ? "" : Numbered(options.tracePath, row);
        std::FILE* trace = nullptr;
        if (!tracePath.empty() && (trace = OpenTrace(tracePath)) == nullptr)
            return 1;
        // The cry check hears the sound itself, which the index does not hold.
        RunInput input;
        input.peaks = &index;
        if (settings.CryCheck == 1) {
            if (!RewindRecordingStream(stream)) {
                std::fprintf(stderr, "%s: the recording cannot be read again for CryCheck 1\n",
                             tool);
                return 1;
            }
            input.stream = stream;
            input.peaks = nullptr;
        }
        input.answers = options.answers;
        RunResult run =
            ReplayOnce(settings, input, options.startSeconds, trace, !options.plotPath.empty());
        if (trace != nullptr && !CloseTrace(trace, tracePath))
            return 1;
        verdict = RunVerdict(run);
        if (verdict != 0)
            break;
        std::fprintf(csv, "%zu", row);
        for (const StoredSetting& setting : storedSettings) {
            if (setting.field != nullptr && ChangesReplay(setting))
                std::fprintf(csv, ",%d", settings.*(setting.field));
        }
        std::fprintf(csv, ",%zu,", run.calls.size());
        for (std::size_t c = 0; c < run.calls.size(); ++c)
            std::fprintf(csv, "%s%.1f", c == 0 ? "" : " ", run.calls[c].seconds);
        CryScore score = ScoreCalls(cries, run.calls);
        if (scoring)
            std::fprintf(csv, ",%zu,%d,%d,%.1f", cries.size(), score.answered, score.falseAlarms,
                         score.meanDelay);
        std::fprintf(csv, "\n");
        scored.push_back(Scored{row, score, run.calls.size()});
        if (!options.plotPath.empty() &&
            !Plot(options, Numbered(options.plotPath, row), run, settings, cries))
            return 1;
    }
    if (csv != stdout && std::fclose(csv) != 0) {
        std::fprintf(stderr, "%s: %s: could not be written\n", tool, options.csvPath.c_str());
        return 1;
    }
    if (verdict != 0)
        return verdict;

    std::fprintf(summary, "recording: %s (%s), %zu combinations\n", options.recording.c_str(),
                 Clock(static_cast<double>(index.samples) / captureRate).c_str(),
                 combinations.size());
    if (scoring) {
        int best = -1;
        for (const Scored& s : scored) {
            if (s.score.falseAlarms == 0)
                best = std::max(best, s.score.answered);
        }
        if (best < 0) {
            std::fprintf(summary, "every combination gave a false alarm\n");
        } else {
            std::fprintf(summary, "no false alarm and %d of %zu cries answered:\n", best,
                         cries.size());
            for (const Scored& s : scored) {
                if (s.score.falseAlarms == 0 && s.score.answered == best)
                    std::fprintf(summary, "  row %zu: %s, mean delay %.1f s\n", s.row,
                                 SettingsText(combinations[s.row - 1]).c_str(), s.score.meanDelay);
            }
        }
    } else {
        auto [fewest, most] =
            std::minmax_element(scored.begin(), scored.end(),
                                [](const Scored& a, const Scored& b) { return a.calls < b.calls; });
        std::fprintf(summary, "calls: from %zu (row %zu) to %zu (row %zu)\n", fewest->calls,
                     fewest->row, most->calls, most->row);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ReplayOptions options;
    std::string error;
    int asked = ASKED_RUN;
    if (!ParseOptions(argc, argv, &options, &error, &asked)) {
        if (asked == ASKED_HELP)
            PrintUsage(stdout);
        else if (asked == ASKED_VERSION)
            PrintVersion();
        if (asked != ASKED_RUN)
            return 0;
        // As the program's own: what is wrong, and where to read more.
        std::fprintf(stderr,
                     "%s: %s\n"
                     "Usage: %s RECORDING [OPTION]...\n"
                     "Try '%s --help' for more information.\n",
                     tool, error.c_str(), tool, tool);
        return 2;
    }
    if (!options.numberGiven) {
        for (std::size_t i = 0; madeUpNumber[i] != u'\0'; ++i)
            options.settings.PhoneNumber[i] = madeUpNumber[i];
        std::fprintf(stderr,
                     "%s: no PhoneNumber given: calling the made-up number %s, never "
                     "dialled\n",
                     tool, Utf8(madeUpNumber).c_str());
    }
    std::vector<Cry> cries;
    if (!options.criesPath.empty() && !ReadCries(options.criesPath, &cries, &error)) {
        std::fprintf(stderr, "%s: %s\n", tool, error.c_str());
        return 1;
    }
    RecordingStream* stream = OpenRecordingStream(options.recording, captureRate, &error);
    if (stream == nullptr) {
        std::fprintf(stderr, "%s: %s\n", tool, error.c_str());
        return 1;
    }
    int result = options.sweep.empty() ? ReplayPlain(options, stream, cries)
                                       : ReplaySweep(options, stream, cries);
    CloseRecordingStream(stream);
    return result;
}
