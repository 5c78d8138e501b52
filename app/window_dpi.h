// The main window moved to a monitor of another DPI (WM_DPICHANGED).
#pragma once

#include <windows.h>

namespace lurmo {

// Makes the fonts again for the new DPI (the user's font keeping its point size), takes
// the system icons of the new size, keeps every column's width in 96-DPI terms, moves
// the window to the suggested rectangle and lays everything out again.
void OnDpiChanged(UINT dpi, const RECT* suggested);

}  // namespace lurmo
