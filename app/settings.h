// Reading and writing the settings under HKEY_CURRENT_USER\Software\Brennic\Lurmo: once
// when the main window is set up, once when it is destroyed.
#pragma once

#include <windows.h>

#include "state/settings.h"

namespace lurmo {

// Fills g_app.settings and the values in effect from the registry over the defaults,
// creates the user font, and moves the main window (when there is one) to the stored
// placement.
void LoadSettings();
void SaveSettings();

// The user font's height in pixels from a size in tenths of a point at the DPI (90 gives
// -12 at 96 DPI, -18 at 144).
LONG FontHeightFromPointSize(int tenthsOfPoint, UINT dpi = 96);

}  // namespace lurmo
