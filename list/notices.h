// Applying the change watcher's notifications to the rows, the folder trees and the
// totals. Everything here runs on the user-interface thread, one notification at a time.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo {

// Applies one change (a FILE_ACTION_* value; oldPath is the renamed item's old path),
// or holds it while it concerns a folder that is still being measured.
void ApplyNotice(DWORD action, const std::wstring& path, const std::wstring& oldPath = {});
// Measures a new folder of the target and appends its row.
void ListNewFolder(const WIN32_FIND_DATAW& data);
// Deletes a row and takes its size off the grand total; the caller retotals.
void RemoveRow(int row);
// Percentages (when there is a total) and the status bar.
void Retotal();

// Walks one buffer of FILE_NOTIFY_INFORMATION records in order from `offset`, pairing
// renames through the pending old names, and redoes the percentages and the status bar at
// the end. With `until` (a GetTickCount64 value) it stops at the first record that ends
// past it and leaves those to RetotalIfPending, so that the slices of a burst redo them
// once in a while (on 100,000 rows they cost about what a slice does). Returns where to
// go on, `bytes` when done.
DWORD DispatchNotices(const BYTE* buffer, DWORD bytes, DWORD offset = 0, ULONGLONG until = 0);
// Redoes the percentages and the status bar if a notice applied since moved the total.
void RetotalIfPending();
// Forgets old names still waiting for their new names.
void ClearPendingOldNames();

// Called with every record a buffer brings, before it is applied; for tools that study
// what the system reported (the soak of the live totals). Null: none.
using NoticeTrace = void (*)(DWORD action, const std::wstring& path);
void SetNoticeTrace(NoticeTrace trace);

}  // namespace lurmo
