// SPDX-License-Identifier: GPL-3.0-or-later
// Where everything sits on the main screen, in pixels of the client area:
// rows from its top, columns from its left or its right edge, or at a share
// of its width. Moving a bar, a line or a picture is an edit here.
#pragma once

#include "platform/types.h"

struct ScreenLayout {
    // The loudness bar at the left and the cry bar at the right: an outline
    // from barTop down to barBottomGap above the bottom edge.
    LONG loudnessBarLeft = 10;
    LONG cryBarFromRight = 33; // the cry bar's left column: the right edge less this
    LONG barWidth = 20;
    LONG barTop = 40;
    LONG barBottomGap = 10;

    // The text band, each line centred across the width between its rows:
    // the maker, the clock and the status label.
    LONG makerTop = 15;
    LONG makerBottom = 30;
    LONG clockTop = 80;
    LONG clockBottom = 95;
    LONG labelTop = 120;
    LONG labelBottom = 135;

    // The pictures: the dummy above the loudness bar, the bottle above the
    // cry bar, the alarm clock and the Start/Stop picture in the middle.
    LONG picturesTop = 4;
    LONG dummyLeft = 10;
    LONG bottleFromRight = 30;
    double middleLeft = 0.4; // share of the width where the middle pictures begin
    LONG alarmClockTop = 40;
    LONG startStopTop = 140;

    // The strip drawn anew when monitoring is switched: from middleLeft to
    // middleRight of the width, from middleStripTop to the bottom.
    double middleRight = 0.6;
    LONG middleStripTop = 120;

    // The status lines below the Start/Stop picture (rows 140 to 172), inside
    // the bars' outlines.
    LONG statusTop = 176;
    LONG statusLineHeight = 16;
    int statusLineCount = 5;
    LONG statusLeft = loudnessBarLeft + barWidth + 1;
    LONG statusFromRight = cryBarFromRight;
};

constexpr ScreenLayout screenLayout{};
