// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's sessions: the program started again and again on the simulated
// platform over the store the last session left, each run from start to
// exit; and the helpers the soak's parts share.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "platform/sim/sim_nights.h"
#include "platform/sim/sim_registry.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "soak_parts.h"

namespace soakparts {

Soak soak;

namespace {

const std::u16string settingsKey = settingsKeyPath;

// Every value of the settings' key: each setting's and the first-use marker.
std::vector<std::u16string> StoredNames()
{
    std::vector<std::u16string> names;
    for (const StoredSetting& setting : storedSettings)
        names.push_back(setting.name);
    names.push_back(firstUseValueName);
    return names;
}

} // namespace

std::string Narrow(const std::u16string& text)
{
    std::string narrow;
    for (char16_t unit : text)
        narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    return narrow;
}

double Seconds(SimTime units)
{
    return static_cast<double>(units) / simUnitsPerSecond;
}

std::string At(SimTime sessionTime)
{
    return SoakClock(Seconds(soak.offset + sessionTime));
}

std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// The first failure ends the soak; the run ends at once.
void Fail(const char* invariant, const std::string& detail)
{
    if (soak.failed)
        return;
    soak.failed = true;
    SoakResult& result = *soak.result;
    result.passed = false;
    result.invariant = invariant;
    result.detail = detail;
    result.failedAt = Seconds(soak.offset + SimNow());
    SimSetEndTime(SimNow());
}

std::int64_t DrawUnits(SimTime low, SimTime high)
{
    return Draw(soak.random, low, high);
}

// ---- The store -------------------------------------------------------------

std::map<std::u16string, std::u16string> ReadStore()
{
    std::map<std::u16string, std::u16string> values;
    for (const std::u16string& name : StoredNames()) {
        std::vector<BYTE> bytes;
        DWORD type = REG_NONE;
        if (!SimRegistryGetValue(settingsKey, name, &type, &bytes)) {
            values[name] = u"<absent>";
            continue;
        }
        std::u16string text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
            if (unit == 0)
                break;
            text.push_back(unit);
        }
        values[name] = text;
    }
    return values;
}

// Setting `index` of `record` as a save stores it.
std::u16string StoredText(const SettingsRecord& record, int index)
{
    WCHAR text[settingValueUnits];
    FormatSettingValue(record, index, text);
    return text;
}

namespace {

// ---- Local time ----------------------------------------------------------------

void SetLocalTime(SimTime sessionTime)
{
    SimTime soakTime = soak.offset + sessionTime;
    SimTime minutes = soakTime / minute;
    soak.s.hour = static_cast<int>(minutes / 60 % 24);
    soak.s.minute = static_cast<int>(minutes % 60);
    soak.s.localChanged = sessionTime;
    SimSetLocalTime(soak.s.hour, soak.s.minute);
    SimAt((minutes + 1) * minute - soak.offset, [] { SetLocalTime(SimNow()); });
}

// ---- Sessions ---------------------------------------------------------------------------

struct StoredValues {
    bool keyExists = false;
    std::map<std::u16string, std::pair<DWORD, std::vector<BYTE>>> values;
};

void FirstInstall(StoredValues* stored)
{
    // One start in four is a fresh install (no number: Start is refused
    // until the phone dialog sets one); otherwise the settings of an earlier
    // run, now and then without the first-use marker.
    if (Draw(soak.random, 0, 3) == 0)
        return;
    auto text = [](const std::u16string& value) {
        std::vector<BYTE> bytes;
        for (char16_t unit : value + u'\0') {
            bytes.push_back(static_cast<BYTE>(unit & 0xFF));
            bytes.push_back(static_cast<BYTE>(unit >> 8));
        }
        return std::make_pair(static_cast<DWORD>(REG_SZ), bytes);
    };
    stored->keyExists = true;
    SettingsRecord record{};
    SetDefaultSettings(&record);
    AssignSetting(&record, u"PhoneNumber=+49 170 1234567");
    // Now and then more numbers for the rounds.
    if (Draw(soak.random, 0, 1) == 0)
        AssignSetting(&record, u"PhoneNumber2=0171 2345");
    if (Draw(soak.random, 0, 2) == 0)
        AssignSetting(&record, u"PhoneNumber3=110");
    record.PhoneMaxCalls = 5;
    record.Language = static_cast<std::int32_t>(Draw(soak.random, 0, languageCount - 1));
    for (int index = 0; index < settingNameCount; ++index)
        stored->values[storedSettings[index].name] = text(StoredText(record, index));
    if (Draw(soak.random, 0, 3) != 0)
        stored->values[firstUseValueName] = text(u"1");
}

void RestoreStore(const StoredValues& stored)
{
    if (stored.keyExists)
        SimRegistryCreateKey(settingsKey);
    for (const auto& [name, value] : stored.values)
        SimRegistrySetValue(settingsKey, name, value.first, value.second);
}

void KeepStore(StoredValues* stored)
{
    stored->keyExists = SimRegistryKeyExists(settingsKey);
    stored->values.clear();
    for (const std::u16string& name : StoredNames()) {
        DWORD type = REG_NONE;
        std::vector<BYTE> bytes;
        if (SimRegistryGetValue(settingsKey, name, &type, &bytes))
            stored->values[name] = {type, bytes};
    }
}

void RunSession(SoakInput* input, StoredValues* stored, SimTime length)
{
    SimReset();
    RestoreStore(*stored);
    // Half the sessions record their nights, kept as counts only.
    SimNightRecordingKeepSamples(false);
    if (stored->keyExists)
        SimRegistrySetText(settingsKey, u"RecordNights",
                           Draw(soak.random, 0, 1) == 0 ? u"0" : u"1");
    soak.s = Session{};
    // A session in six draws, for at most an hour: the screen's pens,
    // brushes and device contexts are counted. The others run blind, some
    // thirty times as fast.
    soak.drawing = Draw(soak.random, 0, 5) == 0;
    if (soak.drawing)
        length = std::min(length, DrawUnits(15 * minute, hour));
    SimSetDrawing(soak.drawing);
    SimSetInputStream(
        [input](std::int16_t* samples, long count) { return input->Read(samples, count); });
    SimSetEndTime(length);
    SimSetMessageChannels({{u"SMS"}});
    SimEchoEventLog(soak.options->echoEvents);
    SimOnTimerHandled(OnTick);
    SimOnEventLogged(OnEvent);
    SimOnDialog(UseDialog);
    SimOnMessageBox(AnswerBox);
    SetLocalTime(0);
    soak.s.store = ReadStore();
    QueueOutcome();
    // Now and then the microphone cannot be opened at the very start.
    if (Draw(soak.random, 0, 7) == 0)
        Inject(FAULT_WAVE_OPEN);
    SimAt(DrawUnits(3 * second, 120 * second), Chaos);
    int exitCode = WinMain(SimInstance(), nullptr, nullptr, SW_SHOW);
    CheckExit(exitCode);
    KeepStore(stored);
    ++soak.result->sessions;
}

} // namespace
} // namespace soakparts

using namespace soakparts;

std::string SoakClock(double seconds)
{
    auto tenths = static_cast<long long>(std::floor(seconds * 10.0));
    long long total = tenths / 10;
    return Format("day %lld %02lld:%02lld:%02lld.%lld", total / 86400 + 1, total / 3600 % 24,
                  total / 60 % 60, total % 60, tenths % 10);
}

std::string FailureLine(const SoakOptions& options, const SoakResult& result)
{
    double days = std::ceil(result.failedAt / 86400.0 * 1000.0) / 1000.0;
    return Format("seed %llu, %s (simulated second %.1f): %s: %s\n  replay with: cradlecom-soak "
                  "--seed %llu --days %g",
                  static_cast<unsigned long long>(options.seed), SoakClock(result.failedAt).c_str(),
                  result.failedAt, result.invariant.c_str(), result.detail.c_str(),
                  static_cast<unsigned long long>(options.seed), days);
}

SoakResult RunSoak(const SoakOptions& options, const SoakSounds& sounds)
{
    SoakResult result;
    soak = Soak{};
    soak.options = &options;
    soak.result = &result;
    soak.random.seed(options.seed);
    soak.nextProgress = static_cast<SimTime>(options.progressHours * hour);
    SoakInput input(sounds, options.seed ^ 0x9E3779B97F4A7C15ULL);
    StoredValues stored;
    FirstInstall(&stored);
    const auto total = static_cast<SimTime>(options.days * day);
    while (soak.offset < total && !soak.failed) {
        SimTime length = std::min(DrawUnits(hour, 30 * hour), total - soak.offset);
        RunSession(&input, &stored, length);
        soak.offset += SimNow();
        // Started again after a while.
        if (soak.s.exitYes)
            soak.offset += DrawUnits(second, 2 * minute);
    }
    result.seconds = Seconds(std::min(soak.offset, total));
    if (soak.failed)
        result.seconds = result.failedAt;
    SimReset();
    soak = Soak{};
    return result;
}
