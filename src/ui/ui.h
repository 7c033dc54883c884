// The main screen's drawing.
#pragma once

#include "platform/types.h"

void PaintMeters(HWND window);
