// SPDX-License-Identifier: GPL-3.0-or-later
// Paints the bar cases with the simulated platform and writes the bar
// pixels, one COLORREF per pixel, for the Qt test to compare against.
#include <cstdio>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "bar_cases.h"
#include "platform/platform.h"
#include "platform/sim/sim_window.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/ui.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr)
        return 1;
    SimReset();
    shell.appInstance = SimInstance();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = SimInstance();
    windowClass.lpszClassName = u"Compare";
    RegisterClassW(&windowClass);
    HWND window =
        CreateWindowExW(0, u"Compare", u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, nullptr, nullptr, SimInstance(), nullptr);
    for (const BarCase& c : barCases) {
        capture.level = c.level;
        limits.volLimit = c.volLimit;
        monitor.cryMeter = c.cryMeter;
        limits.cryLimit = c.cryLimit;
        monitor.clockRedraw = 1; // text differs by font; bars only
        PaintMeters(window);
        for (int y = 0; y < compareHeight; ++y) {
            for (int x = 0; x < compareWidth; ++x) {
                if (!InBarArea(x, y))
                    continue;
                COLORREF pixel = SimPixel(window, x, y);
                std::fwrite(&pixel, sizeof pixel, 1, out);
            }
        }
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
