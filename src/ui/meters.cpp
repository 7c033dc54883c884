#include "ui/ui.h"

// Drawing of the meters arrives with the main screen.
void PaintMeters(HWND) {}
