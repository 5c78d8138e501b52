// The Edit menu's commands that hand the selected rows to the shell: copy or move to a
// chosen folder, and delete. The list is left to the change watcher, which reports what
// the shell did.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "state/app_state.h"
#include "state/message_box.h"
#include "fileops/file_operations.h"
#include "fileops/file_paths.h"
#include "fileops/file_transfer.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

FileOperationHost g_host;

// The full paths of the selected rows in the list's order, made from the installed
// target and each row's whole name. Empty after a message when one does not fit what
// the shell can take.
std::vector<std::wstring> SelectedRowPaths() {
    const std::wstring target = TargetPath();
    std::vector<std::wstring> paths;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        const RowEntry* entry = RowEntryAt(row);
        if (!entry) continue;
        std::wstring path = target + entry->name;
        if (!FitsPathBuffer(path)) {
            ReportPathTooLong(path);
            return {};
        }
        paths.push_back(std::move(path));
    }
    return paths;
}

}  // namespace

void SetFileOperationHost(const FileOperationHost& host) { g_host = host; }
const FileOperationHost& GetFileOperationHost() { return g_host; }

// The selection as the shell's source list: each path with its terminator, and one more
// terminator after the last. Empty when there is nothing to hand over.
std::wstring BuildSelectionPathList() {
    std::wstring list;
    for (const std::wstring& path : SelectedRowPaths()) {
        list += path;
        list.push_back(L'\0');
    }
    if (!list.empty()) list.push_back(L'\0');
    return list;
}

// The transfer shares the paste's checks: a destination that is one of the moved folders
// or lies inside one is refused before the shell sees it (Wine's shell answers success
// and does nothing), and a move asks before it replaces an item of the same name (Wine's
// shell replaces without asking).
void CopyMoveToFolder(UINT operation, int) {
    if (g_app.nameSlot == 0 || !g_host.chooseFolder) return;
    const bool move = operation == FO_MOVE;
    if (move && g_app.effect.snapShot) return;
    const wchar_t* title = move ? L"移動先を選択してください." : L"コピー先を選択してください.";
    const wchar_t* verb = move ? L"移動" : L"コピー";
    std::wstring destination;
    if (!g_host.chooseFolder(0, verb, TargetFolder(), destination, title)) return;
    const std::vector<std::wstring> sources = SelectedRowPaths();
    if (sources.empty()) return;
    TransferFiles(move ? DROPEFFECT_MOVE : DROPEFFECT_COPY, sources, destination);
}

// Shift held as the command runs (Shift+Delete, or the menu item chosen with Shift)
// deletes for good instead of into the recycle bin. The key is asked of the system and of
// the thread's input: Wine's system state can miss a key its window was sent. The shell
// asks for confirmation.
void DeleteSelection() {
    if (g_app.nameSlot == 0 || g_app.effect.snapShot) return;
    const std::wstring from = BuildSelectionPathList();
    if (from.empty()) return;
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = g_app.main;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    const bool shift = ((GetAsyncKeyState(VK_SHIFT) | GetKeyState(VK_SHIFT)) & 0x8000) != 0;
    operation.fFlags = shift ? 0 : FOF_ALLOWUNDO;
    operation.lpszProgressTitle = g_app.caption.c_str();
    SHFileOperationW(&operation);
}

}  // namespace lurmo
