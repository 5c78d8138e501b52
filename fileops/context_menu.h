// The list's right-click menus: the shell's own menu for rows, the program's menu with
// the new-item submenu for empty space.
#pragma once

#include <windows.h>
#include <shlobj.h>

namespace lurmo {

// Carries out the shell-menu command the user chose on the rows. The shell's rename and
// cut give way to the list's own: the rename edit on the clicked row, and the cut that
// puts the move effect on the clipboard and marks the rows.
void RunShellMenuCommand(IContextMenu* menu, UINT id, int clickedRow);

}  // namespace lurmo
