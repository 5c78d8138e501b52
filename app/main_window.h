// The main window: a modeless dialog whose procedure is the hub of the program.
#pragma once

#include <windows.h>

namespace lurmo {

// Creates the main window from its template; null when that fails.
HWND CreateMainWindow();
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void LayoutMainWindow();
// The height of the result list's header row.
int MeasureHeaderHeight();
// Shows or hides the map pane below the list (the 表示 menu's entry).
void ToggleTreemap();
// Shows or hides the list of file types beside the map.
void ToggleFileTypes();
void OnInitMenuPopup(HMENU popup);
void OnCommand(UINT id);
void ShowAboutBox();
// The program's own handling of a message taken from the queue, before it is dispatched:
// the accelerators and the dialog keys. True when the message was used up.
bool TranslateMainWindowMessage(MSG& message);
// Whether a command acts on the rows or the target; none runs while a name is edited.
bool IsRowCommand(UINT id);

}  // namespace lurmo
