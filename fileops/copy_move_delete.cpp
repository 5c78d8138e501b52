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
#include "engine/file_system.h"
#include "engine/handles.h"
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

// The same for a hand-over to the shell, which would act on another item when a name
// ends in a dot or a blank: such a selection is refused, naming the item.
std::vector<std::wstring> SelectedShellPaths() {
    std::vector<std::wstring> paths = SelectedRowPaths();
    if (!NamesKept(paths)) return {};
    return paths;
}

}  // namespace

void SetFileOperationHost(const FileOperationHost& host) { g_host = host; }
const FileOperationHost& GetFileOperationHost() { return g_host; }

// The selection as the shell's source list: each path with its terminator, and one more
// terminator after the last. Empty when there is nothing to hand over.
std::wstring BuildSelectionPathList() {
    std::wstring list;
    for (const std::wstring& path : SelectedShellPaths()) {
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

namespace {

// Wine's recycle bin is the XDG trash of the user's data folder. Wine moves an item there
// only within one file system and, when it cannot, deletes the item for good after asking
// only "削除しますか?" as for the trash. So the program predicts it: the trash folder (or
// the nearest folder on its way that exists) must be a folder on the item's volume.
std::wstring WineTrashFolder() {
    using ToDos = wchar_t*(CDECL*)(const char*);
    auto toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (!toDos) return {};
    char data[MAX_PATH]{};
    std::string unixFolder;
    if (GetEnvironmentVariableA("XDG_DATA_HOME", data, MAX_PATH) - 1u < MAX_PATH - 1u) {
        unixFolder = data;
    } else if (GetEnvironmentVariableA("HOME", data, MAX_PATH) - 1u < MAX_PATH - 1u) {
        unixFolder = std::string(data) + "/.local/share";
    } else {
        return {};
    }
    wchar_t* dos = toDos((unixFolder + "/Trash/files").c_str());
    if (!dos) return {};
    std::wstring folder = dos;
    HeapFree(GetProcessHeap(), 0, dos);
    return folder;
}

bool ReadVolume(const std::wstring& path, DWORD& volume) {
    unique_hfile item(CreateFileW(ExtendedForm(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!item || !GetFileInformationByHandle(item.get(), &info)) return false;
    volume = info.dwVolumeSerialNumber;
    return true;
}

bool CanGoToTrash(const std::wstring& path) {
    if (!IsWine()) return true;
    std::wstring trash = WineTrashFolder();
    if (trash.empty()) return false;
    while (!ItemExists(trash)) {
        const std::wstring parent = FolderOf(trash);
        if (parent.empty() || parent.size() >= trash.size()) return false;
        trash = parent;
    }
    DWORD trashVolume = 0, itemVolume = 0;
    return IsExistingFolder(trash) && ReadVolume(trash, trashVolume) && ReadVolume(path, itemVolume) &&
           trashVolume == itemVolume;
}

// The shell walks folders with buffers of MAX_PATH: given a folder that holds a longer
// path, Wine's shell crashed, and a deletion took items beside the folder with it.
bool HoldsLongPaths(const std::wstring& path) {
    const TreeSize size = MeasureTree(path);
    return size.folder && path.size() + size.longest >= MAX_PATH;
}

std::wstring Listed(const std::vector<std::wstring>& paths) {
    std::wstring text;
    for (const std::wstring& path : paths) text += L"\r\n" + path;
    return text;
}

// Items the shell cannot be given (a name it would change, a path too deep for it, an
// item its recycle bin cannot take) are deleted by the program through the extended
// form, for good, and only after the user has said so for exactly those items.
void DeleteForGood(const std::vector<std::wstring>& paths, bool permanent, std::vector<std::wstring>& left) {
    const std::wstring question = permanent ? L"次の項目を完全に削除しますか？"
                                            : L"次の項目はごみ箱に入れられません. 完全に削除しますか？";
    if (ShowMessage(question + Listed(paths), MB_ICONQUESTION | MB_YESNO) != IDYES) return;
    for (const std::wstring& path : paths) DeleteTree(path, left);
}

}  // namespace

// Shift held as the command runs (Shift+Delete, or the menu item chosen with Shift)
// deletes for good instead of into the recycle bin. The key is asked of the system and of
// the thread's input: Wine's system state can miss a key its window was sent. The shell
// asks for confirmation. Whatever is still there after a delete the user did not stop is
// named, never left unsaid.
void DeleteSelection() {
    if (g_app.nameSlot == 0 || g_app.effect.snapShot) return;
    const std::vector<std::wstring> paths = SelectedRowPaths();
    if (paths.empty()) return;
    const bool shift = ((GetAsyncKeyState(VK_SHIFT) | GetKeyState(VK_SHIFT)) & 0x8000) != 0;
    std::vector<std::wstring> byShell, byProgram, left;
    for (const std::wstring& path : paths) {
        const bool shellCannot = IsNameAlteredByPathRules(path) || HoldsLongPaths(path) || (!shift && !CanGoToTrash(path));
        (shellCannot ? byProgram : byShell).push_back(path);
    }
    if (!byProgram.empty()) DeleteForGood(byProgram, shift, left);
    if (!byShell.empty()) {
        std::wstring from;
        for (const std::wstring& path : byShell) from += path + L'\0';
        from.push_back(L'\0');
        SHFILEOPSTRUCTW operation{};
        operation.hwnd = g_app.main;
        operation.wFunc = FO_DELETE;
        operation.pFrom = from.c_str();
        operation.fFlags = shift ? 0 : FOF_ALLOWUNDO;
        operation.lpszProgressTitle = g_app.caption.c_str();
        const int result = SHFileOperationW(&operation);
        if (result == 0 && !operation.fAnyOperationsAborted) {
            for (const std::wstring& path : byShell) {
                if (ItemExists(path)) left.push_back(path);
            }
        }
    }
    if (!left.empty()) ShowMessage(L"次の項目は削除できませんでした." + Listed(left), MB_ICONERROR);
}

}  // namespace lurmo
