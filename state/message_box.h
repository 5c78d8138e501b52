// The one place that shows a message box: owned by the main window, titled with the
// program caption. Header-only, so that every folder of the window side can report
// through it without linking the main window.
#pragma once

#include <windows.h>

#include <string>

#include "state/app_state.h"

namespace lurmo {

inline int ShowMessage(const std::wstring& text, UINT type) {
    return MessageBoxW(g_app.main, text.c_str(), g_app.caption.c_str(), type);
}

// The same box owned by another window (a property page, a dialog of the program).
inline int ShowMessageOwnedBy(HWND owner, const std::wstring& text, UINT type) {
    return MessageBoxW(owner, text.c_str(), g_app.caption.c_str(), type);
}

}  // namespace lurmo
