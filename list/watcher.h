// The change watcher of file-operation mode: one overlapped directory-change request over
// the target's whole subtree. Its thread only waits; each completed buffer is handed to
// the user-interface thread and applied there, so rows, trees and totals have one writer.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo {

// Issues the request before a run measures the target in file-operation mode, so that
// nothing changed while measuring is missed; the notices are applied once the run has
// ended and StartWatcher runs. Changes already seen by the run apply as no-ops.
void ArmWatcher();
// Applies what the armed request saw and goes on watching. True when the watcher lost
// track meanwhile: the target is then measured afresh, asked through the window's queue.
bool StartWatcher();
void StopWatcher();
// The main window's handler of the watcher's message. True when the watcher has lost
// track of the target (more changed than the system could report) and the window should
// measure it afresh.
bool OnWatcherMessage(WPARAM what, LPARAM data);
// The main window's handler of kTimerApplyNotices.
void OnApplyNoticesTimer();
// True while a watch follows the target: not armed for a run still measuring, and not
// ended by itself (target gone, a failure).
bool IsWatching();
// A folder of the target was renamed, moved within it, moved in or made (the new path
// relative to the target, as notices name it). Under Wine the watch cannot be trusted to
// follow into it, and the target is measured afresh.
void FollowArrivedFolder(const std::wstring& relativePath);
// The same for a folder of the target that is gone.
void FollowGoneFolder();

}  // namespace lurmo
