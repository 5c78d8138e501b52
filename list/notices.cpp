#include "list/notices.h"

#include <commctrl.h>

#include <deque>
#include <memory>

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
// redone once per buffer of notices rather than once per notice, as nothing is painted
// in between and a burst of thousands would otherwise redo every row thousands of times.
bool g_retotalPending = false;

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

void DeleteRow(int row) {
    if (const RowEntry* entry = RowEntryAt(row)) g_app.grandTotal -= entry->size;
    SendMessageW(g_app.list, LVM_DELETEITEM, row, 0);
    --g_app.rowCount;
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

void Retotal() {
    if (g_app.grandTotal != 0) RefreshPercentages();
    RefreshStatusBar();
}

namespace {

// A new top-level folder is measured as a run measures one: a link that leads back to
// the target or above it counts as an empty folder rather than as the tree it leads to.
void AppendNewFolder(const WIN32_FIND_DATAW& data) {
    std::unique_ptr<FolderEntry> entry(MakeFolderEntry(data));
    if (MayEnterFolder(g_app.scan, data, g_app.scan.nameSlot)) FillFolder(g_app.scan, entry.get(), g_app.scan.nameSlot);
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

void NoticeAdded(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    if (!FindOnDisk(path, data)) return;
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const SplitPath split = Split(path);
    if (!split.inner.empty()) {
        int row = -1;
        FolderEntry* folder = FolderOfRow(split.top, row);
        if (!folder) return;
        if (isFolder) {
            // A folder moved or copied in may hold anything: it is measured off this thread.
            if (TreeCanAdd(split.inner, folder)) MeasureArrivingFolder(path, data);
            return;
        }
        g_app.grandTotal += TreeAddItem(g_app.scan, split.inner, folder, data);
        RewriteSizeCell(folder, row);
        MarkRetotal();
        return;
    }
    if (FindRowByName(path) >= 0) return;   // listed already, by the program's own command
    if (isFolder) {
        // The program's own new folder is listed at once, to be named in place.
        const bool ours = !g_app.pendingRenameName.empty() && _wcsicmp(g_app.pendingRenameName.c_str(), path.c_str()) == 0;
        if (!ours) {
            MeasureArrivingFolder(path, data);
            return;
        }
        AppendNewFolder(data);
    } else {
        std::unique_ptr<FileEntry> entry(MakeFileEntry(g_app.scan, data));
        const uint64_t size = entry->size;
        if (!AppendFileRow(entry.get())) return;
        entry.release();
        g_app.grandTotal += size;
        MarkRetotal();
    }
    OpenPendingRename(path);
}

void NoticeRemoved(const std::wstring& path) {
    const SplitPath split = Split(path);
    if (!split.inner.empty()) {
        int row = -1;
        FolderEntry* folder = FolderOfRow(split.top, row);
        if (!folder) return;
        const uint64_t removed = TreeRemoveItem(split.inner, folder);
        if (removed == 0) return;
        RewriteSizeCell(folder, row);
        g_app.grandTotal -= removed;
        MarkRetotal();
        return;
    }
    const int row = FindRowByName(path);
    if (row < 0) return;
    DeleteRow(row);
    MarkRetotal();
}

void NoticeModified(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    if (!FindOnDisk(path, data)) return;
    const SplitPath split = Split(path);
    if (!split.inner.empty()) {
        int row = -1;
        FolderEntry* folder = FolderOfRow(split.top, row);
        if (!folder) return;
        const uint64_t before = folder->size;
        const uint64_t after = TreeUpdateItem(g_app.scan, split.inner, folder, data);
        RewriteSizeCell(folder, row);
        if (after != before) {
            g_app.grandTotal += after - before;
            MarkRetotal();
        }
        return;
    }
    const int row = FindRowByName(path);
    if (row < 0) return;
    RowEntry* entry = RowEntryAt(row);
    if (!entry) return;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!(entry->kind & kKindFile)) UpdateFolderRow(data, static_cast<FolderEntry*>(entry), row);
        return;
    }
    if (!(entry->kind & kKindFile)) return;   // a folder row cannot turn into a file in place
    const uint64_t before = entry->size;
    const uint64_t after = UpdateFileRow(g_app.scan, data, static_cast<FileEntry*>(entry), row);
    if (after != before) {
        g_app.grandTotal += after - before;
        MarkRetotal();
    }
}

void NoticeRenamed(const std::wstring& oldPath, const std::wstring& newPath) {
    FollowRenamedFolder(newPath);
    // A move into another folder of the target is reported as a rename by some systems
    // (Wine among them): it is a removal here and an addition there.
    const size_t oldCut = oldPath.rfind(L'\\'), newCut = newPath.rfind(L'\\');
    const std::wstring oldParent = oldCut == std::wstring::npos ? L"" : oldPath.substr(0, oldCut);
    const std::wstring newParent = newCut == std::wstring::npos ? L"" : newPath.substr(0, newCut);
    if (oldParent != newParent) {
        NoticeRemoved(oldPath);
        NoticeAdded(newPath);
        return;
    }
    const SplitPath split = Split(oldPath);
    if (!split.inner.empty()) {
        int row = -1;
        FolderEntry* folder = FolderOfRow(split.top, row);
        if (!folder) return;
        // A rename onto a name that was taken replaced that item: its bytes are gone.
        const uint64_t replaced = TreeRenameItem(split.inner, folder, newPath);
        if (replaced != 0) {
            RewriteSizeCell(folder, row);
            g_app.grandTotal -= replaced;
            MarkRetotal();
        }
        return;
    }
    int row = FindRowByName(oldPath);
    if (row < 0) return;
    const int taken = FindRowByName(newPath);
    if (taken >= 0 && taken != row) {
        DeleteRow(taken);
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
        case FILE_ACTION_ADDED: NoticeAdded(path); break;
        case FILE_ACTION_REMOVED: NoticeRemoved(path); break;
        case FILE_ACTION_MODIFIED: NoticeModified(path); break;
        case FILE_ACTION_RENAMED_NEW_NAME: NoticeRenamed(oldPath, path); break;
        default: break;
    }
}

void DispatchNotices(const BYTE* buffer, DWORD bytes) {
    g_retotalPending = false;
    constexpr DWORD kHeader = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    DWORD offset = 0;
    while (offset < bytes) {
        const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
        if (bytes - offset < kHeader || record->FileNameLength > bytes - offset - kHeader) {
            ReportBadNotice();
            break;
        }
        // The name is taken whole, however long: no fixed buffer cuts it.
        const std::wstring path(record->FileName, record->FileNameLength / sizeof(wchar_t));
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
    }
    if (g_retotalPending) Retotal();
    g_retotalPending = false;
}

void ClearPendingOldNames() { g_pendingOldNames.clear(); }

}  // namespace lurmo
