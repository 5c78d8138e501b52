// Opening rows (files with their program, folders as targets, shortcuts by what they lead
// to), the open-with dialog and the target's property sheet.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "state/app_state.h"
#include "engine/handles.h"
#include "fileops/file_operations.h"
#include "fileops/file_paths.h"
#include "fileops/shell_entry_points.h"
#include "fileops/shortcuts.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

void OpenFolder(const std::wstring& path, int rowsBeingOpened) {
    if (GetFileOperationHost().openFolder) GetFileOperationHost().openFolder(path, rowsBeingOpened);
}

// The target's shell folder and the last item of the path, bound for its context menu.
com_ptr<IContextMenu> ItemContextMenu(const std::wstring& path) {
    if (!g_app.desktop) return {};
    PIDLIST_ABSOLUTE absolute = nullptr;
    std::wstring parse = path;
    if (FAILED(g_app.desktop->ParseDisplayName(g_app.main, nullptr, parse.data(), nullptr, &absolute, nullptr))) {
        return {};
    }
    unique_cotaskmem owner(absolute);
    com_ptr<IContextMenu> menu;
    com_ptr<IShellFolder> parent;
    PCUITEMID_CHILD child = nullptr;
    if (SUCCEEDED(SHBindToParent(absolute, IID_IShellFolder, parent.put_void(), &child))) {
        parent->GetUIObjectOf(g_app.main, 1, &child, IID_IContextMenu, nullptr, menu.put_void());
    }
    return menu;
}

// Invoked by the position of the item whose verb is "properties": Wine's menus answer
// positions reliably where a verb string may not be known to them.
bool InvokePropertiesCommand(IContextMenu* menu) {
    unique_hmenu popup(CreatePopupMenu());
    constexpr UINT kFirst = 1;
    if (!popup || FAILED(menu->QueryContextMenu(popup.get(), 0, kFirst, 0x7FFF, CMF_NORMAL))) return false;
    const int count = GetMenuItemCount(popup.get());
    for (int i = 0; i < count; ++i) {
        const UINT id = GetMenuItemID(popup.get(), i);
        if (id == static_cast<UINT>(-1) || id < kFirst) continue;
        wchar_t verb[64]{};
        if (FAILED(menu->GetCommandString(id - kFirst, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(verb), 64))) continue;
        if (_wcsicmp(verb, L"properties") != 0) continue;
        CMINVOKECOMMANDINFO invoke{};
        invoke.cbSize = sizeof(invoke);
        invoke.hwnd = g_app.main;
        invoke.lpVerb = MAKEINTRESOURCEA(id - kFirst);
        invoke.nShow = SW_SHOWNORMAL;
        return SUCCEEDED(menu->InvokeCommand(&invoke));
    }
    return false;
}

// The item a shortcut row leads to; empty when it cannot be read or leads nowhere (Wine
// resolves a dangling shortcut without complaint, with no attributes).
std::wstring ShortcutDestination(const std::wstring& path) {
    std::wstring destination;
    WIN32_FIND_DATAW data{};
    if (!ResolveShortcut(path, destination, data) || destination.empty()) return {};
    if (!ItemExists(destination)) return {};
    return destination;
}

}  // namespace

void OpenSelectedRows() {
    const int count = static_cast<int>(SendMessageW(g_app.list, LVM_GETSELECTEDCOUNT, 0, 0));
    std::vector<int> rows;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        rows.push_back(row);
    }
    for (int selected : rows) OpenRow(count, selected);
}

void OpenRow(int row) { OpenRow(0, row); }

// Only "no program for this type" leads to the open-with dialog: a missing file, an
// access error or any other failure would get a dialog that cannot help.
void OpenRow(int rowsBeingOpened, int row) {
    const RowEntry* entry = RowEntryAt(row);
    if (!entry || g_app.nameSlot == 0) return;
    std::wstring path = TargetPath() + entry->name;
    if (!FitsPathBuffer(path)) {
        ReportPathTooLong(path);
        return;
    }
    // The shell would open another item: "g." is "g" to the path rules.
    if (IsNameAlteredByPathRules(path)) {
        ReportAlteredName(path);
        return;
    }
    if (!(entry->kind & kKindFile)) {
        OpenFolder(path, rowsBeingOpened);
        return;
    }
    if (HasShortcutExtension(entry->name)) {
        path = ShortcutDestination(path);
        if (path.empty()) return;
        if (IsExistingFolder(path)) {
            OpenFolder(path, rowsBeingOpened);
            return;
        }
    }
    // A drive root keeps its backslash: "C:" alone would mean the drive's current folder.
    const std::wstring workingFolder = TargetFolder();
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(g_app.main, L"open", path.c_str(), nullptr, workingFolder.c_str(), SW_SHOWNORMAL));
    if (result == SE_ERR_NOASSOC) ShowOpenWith(path);
}

void ShowOpenWith(const std::wstring& path) {
    std::wstring argument = path;
    CallShellEntryPoint(L"SHELL32.DLL", "OpenAs_RunDLLW", argument);
}

// Wine's shell refuses the "properties" verb ("Invalid parameter"), so its own message is
// kept back and the folder's context-menu command opens the sheet instead.
void ShowTargetProperties() {
    if (g_app.nameSlot == 0) return;
    const std::wstring target = TargetFolder();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI;
    info.hwnd = g_app.main;
    info.lpVerb = L"properties";
    info.lpFile = target.c_str();
    info.nShow = 0;
    if (ShellExecuteExW(&info)) return;
    if (com_ptr<IContextMenu> menu = ItemContextMenu(target)) InvokePropertiesCommand(menu.get());
}

}  // namespace lurmo
