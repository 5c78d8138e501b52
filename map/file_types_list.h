// The list of the target's file types beside the map: extension, the map's colour,
// bytes in the list's unit, share and number of files, the largest first. Selecting
// types lights their tiles.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "map/treemap.h"

namespace lurmo {

HWND CreateFileTypesList(HWND parent);
// Fills the list from the table, keeping the selected types selected.
void FillFileTypesList(HWND list, const ExtensionTable& table, int unit, bool comma);
// The extensions (folded, without the dot) of the selected rows.
std::vector<std::wstring> SelectedFileTypes(HWND list);
// The colour column is painted in the type's colour; other cells as the list draws them.
LRESULT DrawFileTypesCell(NMLVCUSTOMDRAW* draw);

}  // namespace lurmo
