#include "list/notices.h"

#include <commctrl.h>

#include <deque>
#include <memory>
#include <utility>

#include "state/app_state.h"
#include "engine/folder_tree.h"
#include "list/arrivals.h"
#include "list/result_rows.h"
#include "list/watcher.h"

namespace lurmo {

namespace {

// Old names of renames whose new names have not arrived yet, oldest first. They outlive
// a buffer, as the two halves of a rename may arrive in different ones, but not the
// watch: a new watch starts without them.
std::deque<std::wstring> g_pendingOldNames;

// Set by a notice that moved the grand total; the percentages and the status bar are
// redone once per buffer of notices, or once in a while during a burst, rather than once
// per notice: a burst of thousands would otherwise redo every row thousands of times.
bool g_retotalPending = false;

NoticeTrace g_trace = nullptr;

void MarkRetotal() { g_retotalPending = true; }

struct SplitPath {
    std::wstring top;
    std::wstring inner;   // empty for a top-level item
};

SplitPath Split(const std::wstring& path) {
    const size_t separator = path.find(L'\\');
    if (separator == std::wstring::npos) return {path, {}};
    return {path.substr(0, separator), path.substr(separator + 1)};
}

// Looks the item up on disk through the measuring path; false when it is gone again.
bool FindOnDisk(const std::wstring& relative, WIN32_FIND_DATAW& data) {
    WriteName(g_app.scan, g_app.scan.nameSlot, relative);
    return FindItem(g_app.scan.path, data);
}

// The folder row of a top name; null when there is none or it is a file.
FolderEntry* FolderOfRow(const std::wstring& top, int& row) {
    row = FindRowByName(top);
    if (row < 0) return nullptr;
    RowEntry* entry = RowEntryAt(row);
    if (!entry || (entry->kind & kKindFile)) return nullptr;
    return static_cast<FolderEntry*>(entry);
}

void OpenPendingRename(const std::wstring& path) {
    if (g_app.pendingRenameName.empty() || _wcsicmp(g_app.pendingRenameName.c_str(), path.c_str()) != 0) return;
    const int row = FindRowByName(path);
    if (row < 0) return;
    SetFocus(g_app.list);
    SendMessageW(g_app.list, LVM_EDITLABELW, row, 0);
    g_app.pendingRenameName.clear();
}

}  // namespace

void RemoveRow(int row) {
    if (const RowEntry* entry = RowEntryAt(row)) g_app.grandTotal -= entry->size;
    SendMessageW(g_app.list, LVM_DELETEITEM, row, 0);
    --g_app.rowCount;
}

// The shares of a listing a cancel cut short would be shares of a part as if of the
// whole: they are left out until a complete run.
void Retotal() {
    if (g_app.grandTotal != 0 && !g_app.listingIncomplete.load()) RefreshPercentages();
    RefreshStatusBar();
}

namespace {

// A new top-level folder is measured as a run measures one: a link counts by the link
// rules of the run (0 inside the target or above it, outside data once).
void AppendNewFolder(const WIN32_FIND_DATAW& data) {
    std::unique_ptr<FolderEntry> entry(MakeFolderEntry(data));
    MeasureFolderEntry(g_app.scan, data, entry.get(), g_app.scan.nameSlot);
    g_app.unreadableFolders += static_cast<int>(std::exchange(g_app.scan.unreadable, {}).size());
    const uint64_t size = entry->size;
    if (!AppendFolderRow(entry.get())) return;
    entry.release();
    g_app.grandTotal += size;
    MarkRetotal();
}

}  // namespace

void ListNewFolder(const WIN32_FIND_DATAW& data) {
    AppendNewFolder(data);
    Retotal();
}

namespace {

bool IsFolderData(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Brings the item at the inner path of a folder row in line with the disk. A notice may
// name an item that is listed already (an addition onto a taken name, a removal of a
// name that was made again since, the halves of a replacement in either order): the
// item then ends at its size on disk, whichever notice came last.
void ReconcileInner(const std::wstring& path, const SplitPath& split, bool exists, const WIN32_FIND_DATAW& data) {
    int row = -1;
    FolderEntry* folder = FolderOfRow(split.top, row);
    if (!folder) return;
    if (exists && IsFolderData(data)) {
        // A folder moved or copied in may hold anything: it is measured off this thread
        // and takes the place of whatever the tree holds under its name.
        if (TreeKnowsParent(split.inner, folder)) {
            FollowArrivedFolder(path);
            MeasureArrivingFolder(path, data);
        }
        return;
    }
    const uint64_t before = folder->size;
    const Node* node = TreeFindItem(split.inner, folder);
    if (node && (!exists || !(node->kind & kKindFile))) {
        if (!exists && !(node->kind & kKindFile)) FollowGoneFolder();
        TreeRemoveItem(split.inner, folder);
        node = nullptr;
    }
    if (exists) {
        if (node) TreeUpdateItem(g_app.scan, split.inner, folder, data);
        else TreeAddItem(g_app.scan, split.inner, folder, data);
    }
    const uint64_t after = folder->size;
    if (after == before) return;
    g_app.grandTotal += after - before;
    RewriteSizeCell(folder, row);
    MarkRetotal();
}

void AppendNewFile(const WIN32_FIND_DATAW& data) {
    std::unique_ptr<FileEntry> entry(MakeFileEntry(g_app.scan, data));
    const uint64_t size = entry->size;
    if (!AppendFileRow(entry.get())) return;
    entry.release();
    g_app.grandTotal += size;
    MarkRetotal();
}

// The same for a top-level item and its row.
void ReconcileTop(const std::wstring& path, bool exists, const WIN32_FIND_DATAW& data) {
    int row = FindRowByName(path);
    RowEntry* entry = row >= 0 ? RowEntryAt(row) : nullptr;
    if (row >= 0 && (!exists || (entry && ((entry->kind & kKindFile) != 0) == IsFolderData(data)))) {
        // Gone, or a file where a folder was (or the reverse): a new item, not a change.
        if (!exists && entry && !(entry->kind & kKindFile)) FollowGoneFolder();
        RemoveRow(row);
        MarkRetotal();
        row = -1;
        entry = nullptr;
    }
    if (!exists) return;
    if (!IsFolderData(data)) {
        if (entry) {
            const uint64_t before = entry->size;
            const uint64_t after = UpdateFileRow(g_app.scan, data, static_cast<FileEntry*>(entry), row);
            if (after != before) {
                g_app.grandTotal += after - before;
                MarkRetotal();
            }
        } else {
            AppendNewFile(data);
        }
    } else if (!entry && !g_app.pendingRenameName.empty() &&
               _wcsicmp(g_app.pendingRenameName.c_str(), path.c_str()) == 0) {
        // The program's own new item is listed at once, to be named in place.
        AppendNewFolder(data);
    } else {
        // A new row, or the listed row's tree measured again (the folder was made anew).
        FollowArrivedFolder(path);
        MeasureArrivingFolder(path, data);
        return;
    }
    OpenPendingRename(path);
}

// An addition, a removal or a rename's new half: whatever the notice says, the item is
// made to agree with what the disk holds now.
void Reconcile(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    const bool exists = FindOnDisk(path, data);
    // What a removed link reached may be counted by a link made after it.
    if (!exists && g_app.scan.links) ForgetReached(*g_app.scan.links, g_app.scan.path.substr(0, g_app.scan.nameSlot) + path);
    const SplitPath split = Split(path);
    if (split.inner.empty()) ReconcileTop(path, exists, data);
    else ReconcileInner(path, split, exists, data);
}

// A change to an item that is there: a file is measured again, a folder's own change
// moves no bytes. One that is gone already is left to its removal notice.
void NoticeModified(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    if (!FindOnDisk(path, data)) return;
    const SplitPath split = Split(path);
    if (!IsFolderData(data)) {
        if (split.inner.empty()) ReconcileTop(path, true, data);
        else ReconcileInner(path, split, true, data);
        return;
    }
    if (!split.inner.empty()) return;
    const int row = FindRowByName(path);
    RowEntry* entry = row >= 0 ? RowEntryAt(row) : nullptr;
    if (entry && !(entry->kind & kKindFile)) UpdateFolderRow(data, static_cast<FolderEntry*>(entry), row);
}

// A file written just before its rename may have had its change notices read only after
// the rename, when its old name was gone: so a renamed item is also measured again under
// its new name, and keeps no size from before.
void NoticeRenamed(const std::wstring& oldPath, const std::wstring& newPath) {
    FollowArrivedFolder(newPath);
    // A move into another folder of the target is reported as a rename by some systems
    // (Wine among them): it is a removal here and an addition there.
    const size_t oldCut = oldPath.rfind(L'\\'), newCut = newPath.rfind(L'\\');
    const std::wstring oldParent = oldCut == std::wstring::npos ? L"" : oldPath.substr(0, oldCut);
    const std::wstring newParent = newCut == std::wstring::npos ? L"" : newPath.substr(0, newCut);
    if (oldParent != newParent) {
        Reconcile(oldPath);
        Reconcile(newPath);
        return;
    }
    const SplitPath split = Split(oldPath);
    if (!split.inner.empty()) {
        int row = -1;
        FolderEntry* folder = FolderOfRow(split.top, row);
        if (!folder) return;
        if (!TreeFindItem(split.inner, folder)) {
            // The old name was never listed (its notice was lost or not yet measured):
            // the new name is looked up as it stands.
            Reconcile(newPath);
            return;
        }
        // A rename onto a name that was taken replaced that item: its bytes are gone.
        const uint64_t replaced = TreeRenameItem(split.inner, folder, newPath);
        if (replaced != 0) {
            RewriteSizeCell(folder, row);
            g_app.grandTotal -= replaced;
            MarkRetotal();
        }
        NoticeModified(newPath);
        return;
    }
    int row = FindRowByName(oldPath);
    if (row < 0) {
        Reconcile(newPath);
        return;
    }
    const int taken = FindRowByName(newPath);
    if (taken >= 0 && taken != row) {
        RemoveRow(taken);
        if (taken < row) --row;
        MarkRetotal();
    }
    RowEntry* entry = RowEntryAt(row);
    if (!entry) return;
    entry->name = newPath;
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = const_cast<wchar_t*>(entry->name.c_str());
    SendMessageW(g_app.list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    NoticeModified(newPath);
}

// A record the system should never hand over: cut short, or its successor outside the
// buffer. It is skipped, with the debugger told, as nothing after it can be trusted.
void ReportBadNotice() { OutputDebugStringW(L"UpdateList:Error"); }

}  // namespace

void ApplyNotice(DWORD action, const std::wstring& path, const std::wstring& oldPath) {
    ++g_app.mapChanges;
    // A rename is held when either name concerns the folder: its two halves stay together.
    if (HoldForArrival(action, path, oldPath)) return;
    switch (action) {
        case FILE_ACTION_ADDED:
        case FILE_ACTION_REMOVED: Reconcile(path); break;
        case FILE_ACTION_MODIFIED: NoticeModified(path); break;
        case FILE_ACTION_RENAMED_NEW_NAME: NoticeRenamed(oldPath, path); break;
        default: break;
    }
}

DWORD DispatchNotices(const BYTE* buffer, DWORD bytes, DWORD offset, ULONGLONG until) {
    constexpr DWORD kHeader = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    while (offset < bytes) {
        const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
        if (bytes - offset < kHeader || record->FileNameLength > bytes - offset - kHeader) {
            ReportBadNotice();
            break;
        }
        // The name is taken whole, however long: no fixed buffer cuts it.
        const std::wstring path(record->FileName, record->FileNameLength / sizeof(wchar_t));
        if (g_trace) g_trace(record->Action, path);
        if (record->Action == FILE_ACTION_RENAMED_OLD_NAME) {
            g_pendingOldNames.push_back(path);
        } else if (record->Action == FILE_ACTION_RENAMED_NEW_NAME) {
            if (!g_pendingOldNames.empty()) {
                const std::wstring oldPath = std::move(g_pendingOldNames.front());
                g_pendingOldNames.pop_front();
                ApplyNotice(FILE_ACTION_RENAMED_NEW_NAME, path, oldPath);
            }
        } else {
            ApplyNotice(record->Action, path);
        }
        if (record->NextEntryOffset == 0) break;
        if (record->NextEntryOffset >= bytes - offset) {
            ReportBadNotice();
            break;
        }
        offset += record->NextEntryOffset;
        if (until && GetTickCount64() >= until) return offset;
    }
    if (!until) RetotalIfPending();
    return bytes;
}

void RetotalIfPending() {
    if (!g_retotalPending) return;
    g_retotalPending = false;
    Retotal();
}

void ClearPendingOldNames() { g_pendingOldNames.clear(); }

void SetNoticeTrace(NoticeTrace trace) { g_trace = trace; }

}  // namespace lurmo
