// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: the recording, settings to change, what to write.
#include <QString>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>

#include "audio/calibration.h"
#include "replay.h"
#include "settings/settings.h"

namespace {

// The setting called `name`, in storedSettings; -1 when none is.
int SettingIndex(const std::string& name)
{
    if (name.find('=') != std::string::npos)
        return -1;
    return FindSettingIndex(FromUtf8(name).c_str());
}

// The numeric setting called `name` that changes a replay; null when none is.
const StoredSetting* NumberSetting(const std::string& name)
{
    const int index = SettingIndex(name);
    return index >= 0 && storedSettings[index].field != nullptr &&
                   ChangesReplay(storedSettings[index])
               ? &storedSettings[index]
               : nullptr;
}

bool ParseWhole(const std::string& text, std::int32_t* value)
{
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || parsed < INT32_MIN ||
        parsed > INT32_MAX)
        return false;
    *value = static_cast<std::int32_t>(parsed);
    return true;
}

bool ParseSetting(const std::string& assignment, ReplayOptions* options, std::string* error)
{
    ReplaySettings* chosen = &options->settings;
    std::size_t equals = assignment.find('=');
    std::string name = assignment.substr(0, equals);
    if (equals == std::string::npos) {
        *error = "bad setting '" + assignment + "': expected Name=Value";
        return false;
    }
    std::string value = assignment.substr(equals + 1);
    const int index = SettingIndex(name);
    if (index >= 0 && storedSettings[index].field == nullptr) {
        // The program's own rule for a number, as in the phone dialog.
        std::u16string text = FromUtf8(name + "=" + value);
        std::int32_t check = AssignSetting(&options->settings, text.c_str());
        options->numberGiven = true;
        if (check == SETTING_NUMBER_TOO_LONG) {
            *error = "bad setting '" + assignment + "': a number has at most " +
                     std::to_string(callNumberMaxLength) + " characters, this one has " +
                     std::to_string(FromUtf8(value).size());
            return false;
        }
        if (check != SETTING_OK) {
            *error = "bad setting '" + assignment +
                     "': " + Utf8(SettingRefusalWords(text.c_str(), check));
            return false;
        }
        return true;
    }
    if (index < 0) {
        *error = "bad setting '" + assignment + "': no setting is called '" + name + "'";
        return false;
    }
    if (!ChangesReplay(storedSettings[index])) {
        *error = "bad setting '" + assignment + "': " + name + " does not change a replay";
        return false;
    }
    std::int32_t number = 0;
    if (!ParseWhole(value, &number)) {
        *error = "bad setting '" + assignment + "': '" + value + "' is not a whole number";
        return false;
    }
    std::string reason;
    if (!SetNumber(chosen, name, number, &reason)) {
        *error = "bad setting '" + assignment + "': " + reason;
        return false;
    }
    return true;
}

bool ParseSweep(const std::string& text, ReplayOptions* options, std::string* error)
{
    std::size_t equals = text.find('=');
    std::string name = text.substr(0, equals);
    ReplaySettings probe;
    if (equals == std::string::npos || NumberSetting(name) == nullptr) {
        *error = "bad sweep '" + text + "': expected Name=FROM:TO:STEP with a numeric setting";
        return false;
    }
    std::string range = text.substr(equals + 1);
    std::size_t first = range.find(':');
    std::size_t second = first == std::string::npos ? first : range.find(':', first + 1);
    SweepAxis axis;
    axis.name = name;
    if (second == std::string::npos || !ParseWhole(range.substr(0, first), &axis.from) ||
        !ParseWhole(range.substr(first + 1, second - first - 1), &axis.to) ||
        !ParseWhole(range.substr(second + 1), &axis.step)) {
        *error = "bad sweep '" + text + "': expected FROM:TO:STEP, three whole numbers";
        return false;
    }
    if (axis.step <= 0 || axis.to < axis.from) {
        *error = "bad sweep '" + text + "': needs FROM <= TO and a STEP above 0";
        return false;
    }
    std::string reason;
    if (!SetNumber(&probe, name, axis.from, &reason) ||
        !SetNumber(&probe, name, axis.to, &reason)) {
        *error = "bad sweep '" + text + "': " + reason;
        return false;
    }
    for (const SweepAxis& known : options->sweep) {
        if (known.name == name) {
            *error = "bad sweep '" + text + "': " + name + " is swept twice";
            return false;
        }
    }
    options->sweep.push_back(axis);
    return true;
}

bool ParseClock(const std::string& text, int* minute)
{
    int hours = 0;
    int minutes = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d:%d%c", &hours, &minutes, &extra) != 2 || hours < 0 ||
        hours > 23 || minutes < 0 || minutes > 59)
        return false;
    *minute = hours * 60 + minutes;
    return true;
}

} // namespace

bool ChangesReplay(const StoredSetting& setting)
{
    return std::u16string_view(setting.name).substr(0, 12) != u"RecordNights";
}

std::string Utf8(const std::u16string& text)
{
    return QString::fromStdU16String(text).toStdString();
}

std::u16string FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdU16String();
}

bool SetNumber(ReplaySettings* chosen, const std::string& name, std::int32_t value,
               std::string* reason)
{
    const StoredSetting* setting = NumberSetting(name);
    if (setting == nullptr) {
        *reason = "no setting is called '" + name + "'";
        return false;
    }
    // The program's own rules, as for its --set.
    if (CheckSettingValue(setting->name, value) != SETTING_OK) {
        const std::string bounds =
            std::to_string(setting->low) + " to " + std::to_string(setting->high);
        if (setting->kind == KIND_LANGUAGE)
            *reason = name + " is 0 (German) or 1 (English), not " + std::to_string(value);
        else if (setting->kind == KIND_COUNT && setting->high == 1)
            *reason = name + " is 0 or 1, not " + std::to_string(value);
        else if (setting->kind == KIND_COUNT && setting->low == 0 && setting->high == INT32_MAX)
            *reason = name + " cannot be negative (" + std::to_string(value) + ")";
        else if (setting->kind == KIND_COUNT)
            *reason = name + " is a whole number from " + bounds + ", not " + std::to_string(value);
        else
            *reason = name + " is a percentage from " + bounds + ", not " + std::to_string(value);
        return false;
    }
    chosen->*(setting->field) = value;
    return true;
}

void PrintUsage(std::FILE* out)
{
    std::fprintf(
        out, "Usage: cradlecom-replay RECORDING [--set Name=Value ...] [--start SECONDS]\n"
             "                        [--trace FILE.csv] [--plot FILE.png] [--begin HH:MM]\n"
             "                        [--sweep Name=FROM:TO:STEP ...] [--csv FILE.csv]\n"
             "                        [--cries FILE.csv] [--calibrate SECONDS]\n"
             "                        [--answers LETTERS]\n"
             "Runs the monitor over a recording on a virtual clock and tells when it\n"
             "would have called.\n"
             "\n"
             "  Name: VolSensi, VolThresh, CryThresh (0 to 100), PhoneNumber (without\n"
             "        one, a made-up number that is never dialled), PhoneDelay (minutes),\n"
             "        PhoneMaxCalls, Language (0 German, 1 English), CryCheck (1: only a\n"
             "        block that sounds like a cry is loud), PhoneRingSeconds (10 to 300),\n"
             "        PhoneNumber2, PhoneNumber3\n"
             "  --start   when Start is pressed, in seconds (default 0, before the first tick)\n"
             "  --answers what the phone makes of the calls in turn: a answered, n not\n"
             "            answered, f failed; later calls are answered; each call's outcome\n"
             "            is printed\n"
             "  --trace   one row a tick: tick,seconds,level,cryMeter,monitoring,callsMade,\n"
             "            delaySeconds\n"
             "  --plot    the level and the cry meter over the night, 1600 x 500\n"
             "  --begin   local time of the recording's start (default: the file's\n"
             "            modification time less its length)\n"
             "  --sweep   runs every combination of the swept settings and writes one CSV\n"
             "            row each (to --csv, else to standard output); with --trace or\n"
             "            --plot, one file each, numbered like the rows\n"
             "  --cries   start,end rows in seconds: when the child really cried; each\n"
             "            run then counts the cries answered and the false alarms\n"
             "  --csv     where --sweep writes its rows\n"
             "  --calibrate  chooses VolSensi, VolThresh and CryThresh from the first\n"
             "            SECONDS (5 to 600) as the program's calibration would, for each\n"
             "            run's CryCheck, prints them, and replays the whole recording\n"
             "  -h, --help     print this help and exit\n"
             "  -v, --version  print the version and exit\n"
             "\n"
             "Report bugs to: info@veltrano.de\n"
             "Cradlecom home page: <https://www.veltrano.de/cradlecom/>\n");
}

void PrintVersion()
{
    std::printf("cradlecom-replay %s\n"
                "Copyright (C) 2026 Veltrano\n"
                "License GPL-3.0-or-later <https://gnu.org/licenses/gpl.html>.\n"
                "This is free software: you are free to change and redistribute it.\n"
                "There is NO WARRANTY, to the extent permitted by law.\n",
                CRADLECOM_VERSION);
}

bool ParseOptions(int argc, char** argv, ReplayOptions* options, std::string* error, int* asked)
{
    *asked = ASKED_RUN;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h" || arg == "--version" || arg == "-v") {
            *asked = arg == "--help" || arg == "-h" ? ASKED_HELP : ASKED_VERSION;
            return false;
        }
        if (!arg.empty() && arg[0] != '-') {
            if (!options->recording.empty()) {
                *error = "only one recording, not also '" + arg + "'";
                return false;
            }
            options->recording = arg;
            continue;
        }
        bool known = arg == "--set" || arg == "--trace" || arg == "--start" || arg == "--plot" ||
                     arg == "--begin" || arg == "--sweep" || arg == "--cries" || arg == "--csv" ||
                     arg == "--calibrate" || arg == "--answers";
        if (!known) {
            *error = "unknown option '" + arg + "'";
            return false;
        }
        if (!hasValue) {
            *error = arg + " needs a value";
            return false;
        }
        std::string value = argv[++i];
        if (arg == "--set") {
            if (!ParseSetting(value, options, error))
                return false;
        } else if (arg == "--trace") {
            options->tracePath = value;
        } else if (arg == "--plot") {
            options->plotPath = value;
        } else if (arg == "--cries") {
            options->criesPath = value;
        } else if (arg == "--csv") {
            options->csvPath = value;
        } else if (arg == "--answers") {
            if (value.empty() || value.find_first_not_of("anf") != std::string::npos) {
                *error = "bad answers '" + value + "': expected letters a, n and f";
                return false;
            }
            options->answers = value;
        } else if (arg == "--sweep") {
            if (!ParseSweep(value, options, error))
                return false;
        } else if (arg == "--calibrate") {
            std::int32_t seconds = 0;
            if (!ParseWhole(value, &seconds) || seconds < calibrationLeastSeconds ||
                seconds > calibrationMostSeconds) {
                *error = "bad calibration '" + value + "': expected whole seconds, " +
                         std::to_string(calibrationLeastSeconds) + " to " +
                         std::to_string(calibrationMostSeconds);
                return false;
            }
            options->calibrateSeconds = seconds;
        } else if (arg == "--begin") {
            if (!ParseClock(value, &options->beginMinute)) {
                *error = "bad begin '" + value + "': expected HH:MM, 00:00 to 23:59";
                return false;
            }
        } else {
            char* end = nullptr;
            options->startSeconds = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !(options->startSeconds >= 0.0)) {
                *error = "bad start '" + value + "': expected seconds, 0 or more";
                return false;
            }
        }
    }
    if (options->recording.empty()) {
        *error = "no recording given";
        return false;
    }
    for (const SweepAxis& axis : options->sweep) {
        if (options->calibrateSeconds > 0 &&
            (axis.name == "VolSensi" || axis.name == "VolThresh" || axis.name == "CryThresh")) {
            *error = "--calibrate chooses " + axis.name + ": it cannot be swept as well";
            return false;
        }
    }
    if (!options->csvPath.empty() && options->sweep.empty()) {
        *error = "--csv goes with --sweep";
        return false;
    }
    return true;
}
