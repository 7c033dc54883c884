// SPDX-License-Identifier: GPL-3.0-or-later
#include "program_fixture.h"

#include <algorithm>

#include "platform/sim/sim_eventlog.h"

#include "audio/capture.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "shell/shell.h"

const std::u16string settingsKey = settingsKeyPath;

void ResetProgram()
{
    StopCapture();
    SimReset();
    SimRegistryClear();
    ClearRuntimeState();
    shell = ShellState{};
    shell.appInstance = SimInstance();
}

void StoreSettings(const StoredSettings& stored)
{
    for (int index = 0; index < settingNameCount; ++index) {
        WCHAR value[settingValueUnits];
        FormatSettingValue(stored, index, value);
        // The first number as the test chose it, even one no field could hold.
        const bool first = storedSettings[index].text == &SettingsRecord::PhoneNumber;
        SimRegistrySetText(settingsKey, storedSettings[index].name,
                           first ? stored.phoneNumber : value);
    }
    if (stored.firstUse)
        SimRegistrySetText(settingsKey, firstUseValueName, u"1");
}

std::vector<std::int16_t> QuietLoud(std::vector<double> seconds)
{
    std::vector<std::int16_t> samples;
    bool loud = false;
    for (double span : seconds) {
        auto count = static_cast<std::size_t>(span * 11025);
        for (std::size_t i = 0; i < count; ++i)
            samples.push_back(loud ? static_cast<std::int16_t>(i % 2 == 0 ? 20000 : -20000) : 0);
        loud = !loud;
    }
    return samples;
}

int RunProgram()
{
    return WinMain(SimInstance(), nullptr, nullptr, SW_SHOW);
}

std::u16string Text(const char* utf8)
{
    // Enough for the program's texts: Latin-1 letters in UTF-8.
    std::u16string text;
    for (const auto* p = reinterpret_cast<const unsigned char*>(utf8); *p != 0; ++p) {
        if (*p < 0x80) {
            text.push_back(*p);
        } else {
            text.push_back(static_cast<char16_t>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F)));
            ++p;
        }
    }
    return text;
}

std::vector<std::string> EventTexts()
{
    std::vector<std::string> texts;
    for (const SimEvent& event : SimEventLog())
        texts.push_back(event.text);
    return texts;
}

int EventCount(const std::string& text)
{
    std::vector<std::string> texts = EventTexts();
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}
