// The main window's private messages. Every message a thread posts names the run or the
// watch it belongs to, so a late one from an earlier run is recognised and ignored.
#pragma once

#include <windows.h>

namespace lurmo {

// Posted by the accumulation worker at the end of a completed run; wParam is the run
// number. The first starts the change watcher (file-operation mode only), the second
// restores the arrow cursors.
constexpr UINT kMsgRunFinishedTree = WM_APP + 1;
constexpr UINT kMsgDriveChange = WM_APP + 2;       // shell drive arrival or removal
constexpr UINT kMsgRunFinished = WM_APP + 3;
// Sent by the change watcher with a completed buffer (wParam kApplyNotices, lParam the
// batch), or posted with the watch's generation when its watch ended in a way the window
// must act on.
constexpr UINT kMsgWatcher = WM_APP + 4;
// Also posted by the thread that measured a folder that arrived (kFolderMeasured, lParam
// the folder's number).
// Posted by the window to itself to apply the next slice of notices (kApplyQueued, lParam
// the watch's generation).
enum : WPARAM { kApplyNotices = 0, kRemeasureTarget = 1, kRequestRefused = 2, kFolderMeasured = 3, kApplyQueued = 4 };
// Posted by a worker that could not go on (wParam the run number, lParam 1 when memory
// ran out): the run ends as a cancelled one does.
constexpr UINT kMsgRunFailed = WM_APP + 5;

// Posted by the main window to itself when a typed name was refused: the edit opens again
// on the same row once the list has closed the refused one.
constexpr UINT kMsgReopenRename = WM_APP + 6;

// Sent to the result list (its own procedure answers, on the user-interface thread, from
// whichever thread asks): the row of a name (wParam kRowOfName, lParam a const
// std::wstring*) or of a record (wParam kRowOfEntry, lParam the RowEntry*), or -1; or
// work to do on the list's thread (wParam kRunOnListThread, lParam a const
// std::function<void()>*).
constexpr UINT kMsgList = WM_APP + 0x40;
enum : WPARAM { kRowOfName = 0, kRowOfEntry = 1, kRunOnListThread = 2 };

// The main window's timer that paints the list while a run adds rows.
constexpr UINT_PTR kTimerRunPaint = 1;
// The main window's timer that shows in the status bar how far a run has come.
constexpr UINT_PTR kTimerRunProgress = 2;
// The main window's timer for the next slice of notices when input waits for the window.
constexpr UINT_PTR kTimerApplyNotices = 3;

}  // namespace lurmo
