// Folders that arrive in the watched target (moved or copied in) are measured on a thread
// of their own, so the window keeps answering however big they are. The row, or the
// node in a row's tree, appears when the folder is measured; notices about the folder
// that come meanwhile are held and applied after it.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo {

// Starts measuring the new folder at `relative` (a top-level name, or "top\inner...").
void MeasureArrivingFolder(const std::wstring& relative, const WIN32_FIND_DATAW& data);

// True when the notice concerns a folder still being measured: it is then held and
// applied once the folder is in the list. action is a FILE_ACTION_* value; oldPath is
// the renamed item's old path (renames only).
bool HoldForArrival(DWORD action, const std::wstring& path, const std::wstring& oldPath = {});

// The watcher's message that a folder has been measured (lParam its number).
void OnFolderMeasured(LPARAM number);

// Stops every measuring still under way and forgets its folder, as a new run or the end
// of the watch makes it stale.
void AbandonArrivals();

// True while a folder is being measured.
bool ArrivalsPending();

}  // namespace lurmo
