// The options: a property sheet of three pages over the settings. The list's font takes
// effect when the sheet is applied; the mode, the size rule, the bar graph and its colour
// at the next accumulation; a smaller history limit trims the history at once.
#pragma once

#include <windows.h>

namespace lurmo {

// Runs the sheet modally, owned by the main window, and returns when it closes.
void ShowOptions();

}  // namespace lurmo
