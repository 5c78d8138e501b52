// The list's own drawing with two additions: row texts in Explorer's colours for
// compressed and encrypted items (or the user's text colour), and the bar graph in
// column 3, each row's share of the grand total.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>

namespace lurmo {

constexpr wchar_t kExplorerKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

// Reads Explorer's colours for compressed and encrypted names into g_app, once, as the
// main window is set up.
void ReadExplorerColors();

// The result of one NM_CUSTOMDRAW notice of the result list; nothing for a stage that
// is left to the list.
std::optional<LRESULT> OnListCustomDraw(NMLVCUSTOMDRAW* draw);

}  // namespace lurmo
