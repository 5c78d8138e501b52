// The window's dots per inch and what follows from them: pixel constants written for 96
// DPI scaled to the window, the small-icon size, the system image list of that size and
// the menu font. Entry points that older Windows lacks are looked up at run time.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace lurmo {

constexpr UINT kBaseDpi = 96;

// The DPI the window is shown at: its monitor's for a per-monitor aware program, the
// system's before Windows 10.
UINT WindowDpi(HWND window);
// The DPI of the screen as the system reports it to this process.
UINT SystemDpi();

// A length given at 96 DPI, at the DPI; and back. Rounded, so that a width scaled and
// unscaled again comes back as it was.
inline int ScaleForDpi(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), kBaseDpi); }
inline int UnscaleForDpi(int pixels, UINT dpi) { return MulDiv(pixels, kBaseDpi, static_cast<int>(dpi)); }

// The width and height of a small icon at the DPI.
int SmallIconSize(UINT dpi);
// The system image list whose icons come nearest the size; null when there is none.
HIMAGELIST SystemImageListFor(int iconSize);
// The font menus are drawn in at the DPI.
bool MenuLogFont(UINT dpi, LOGFONTW& font);

}  // namespace lurmo
