#include "alarm/monitor.h"

// Call placement arrives with the phone.
void PlaceCallIfDue(HWND) {}
