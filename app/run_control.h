// Starting, cancelling and replacing accumulations, and navigating between targets.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo {

// The path buffer holds the target with its trailing backslash and at least one
// character of a row's name: a longer target is refused whole, with a message naming it,
// never cut to fit and then not found.
bool CheckTargetLength(const std::wstring& text);
bool CheckFolderExists(const std::wstring& path);
bool ReadTargetBox();
// Checks a target and installs it in the path buffer and the title.
bool CheckTargetPath(const std::wstring& text);
// CheckTargetLength, QueryClusterSize, then CheckTargetPath.
bool CheckTarget(const std::wstring& text);
void StartAccumulation();
// The same target measured again for the watch's sake (it lost track of the disk): into
// the rows in place, which keep the selection and their baselines, unless the mode the
// user chose meanwhile changes how rows are kept.
void RemeasureTarget();
// Asks the running worker to stop and waits for it (at most 5000 ms, then ends it by
// force). True when the run was stopped before it completed; a run that had already
// finished measuring keeps its listing and look.
bool StopAccumulation();
// A worker that could not go on: the run ends with the idle look, and a lack of memory
// is shown. Ignored for any run but the current one.
void OnRunFailed(unsigned run, bool outOfMemory);
void ShowBusyLook();
void ShowIdleLook();
void OnAccumulateButton();
void GoUpOneLevel();
void GoIntoSelectedFolder();
void OpenFolderAsTarget(const std::wstring& path, int rowsBeingOpened);
// The arrow cursor back on the list and the main window.
void RestoreArrowCursors();

}  // namespace lurmo
