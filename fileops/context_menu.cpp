#include "fileops/context_menu.h"
#include "fileops/file_paths.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "state/app_state.h"
#include "engine/handles.h"
#include "fileops/file_operations.h"
#include "fileops/new_item_templates.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

// Shell items take the command IDs 1 to kLastShellCommand; the command offset the shell
// knows them by is one less.
constexpr UINT kFirstShellCommand = 1;
constexpr UINT kLastShellCommand = 0x7FFF;
constexpr wchar_t kNewFolderText[] = L"フォルダ(&F)";
constexpr wchar_t kNewShortcutText[] = L"ショートカット(&S)";

bool IsSnapshotMode() { return g_app.effect.snapShot != 0; }

std::wstring ShellVerb(IContextMenu* menu, UINT id) {
    wchar_t verb[MAX_PATH]{};
    if (id < kFirstShellCommand || id > kLastShellCommand) return {};
    if (FAILED(menu->GetCommandString(id - kFirstShellCommand, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(verb),
                                      MAX_PATH))) {
        return {};
    }
    verb[MAX_PATH - 1] = L'\0';
    return verb;
}

POINT ScreenPoint(const NMITEMACTIVATE* info) {
    POINT point = info->ptAction;
    ClientToScreen(g_app.list, &point);
    return point;
}

// The program's menu 111 with the new-item submenu inserted behind the paste items; the
// chosen command reaches the main window as WM_COMMAND.
void ShowBackgroundMenu(const NMITEMACTIVATE* info) {
    unique_hmenu menu(LoadMenuW(g_app.instance, MAKEINTRESOURCEW(IDM_LIST_BACKGROUND)));
    HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
    if (!popup) return;
    HMENU newItems = CreatePopupMenu();
    if (!newItems) return;
    // From here the submenu belongs to the popup and goes with it.
    if (!InsertMenuW(popup, 5, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(newItems),
                     L"新規作成(&N)")) {
        DestroyMenu(newItems);
        return;
    }
    InsertMenuEntry(newItems, 0, IDM_NEW_FOLDER, reinterpret_cast<ULONG_PTR>(kNewFolderText));
    InsertMenuEntry(newItems, 1, IDM_NEW_SHORTCUT, reinterpret_cast<ULONG_PTR>(kNewShortcutText));
    InsertMenuW(newItems, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    if (NewItemTemplateCount() == 0) LoadNewItemTemplates();
    if (NewItemTemplateCount() != 0) AddTemplateMenuItems(newItems);
    const POINT point = ScreenPoint(info);
    g_app.newItemMenu = newItems;
    TrackPopupMenu(popup, TPM_LEFTBUTTON, point.x, point.y, 0, g_app.main, nullptr);
    g_app.newItemMenu = nullptr;
}

bool SingleSelectedFolder() {
    if (SendMessageW(g_app.list, LVM_GETSELECTEDCOUNT, 0, 0) != 1) return false;
    const int row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    const RowEntry* entry = RowEntryAt(row);
    return entry && !(entry->kind & kKindFile);
}

// The selected rows as item identifiers of the target folder; empty when one cannot be
// parsed. The identifiers own themselves, on every way out.
std::vector<unique_cotaskmem> ParseSelectedRows() {
    std::vector<unique_cotaskmem> items;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        std::wstring name = CellText(row, 0);
        // The shell parses a name that ends in a dot or a blank as another item's.
        if (IsNameAlteredByPathRules(name)) {
            ReportAlteredName(TargetPath() + name);
            return {};
        }
        ULONG eaten = 0;
        PIDLIST_RELATIVE item = nullptr;
        if (FAILED(g_app.targetFolder->ParseDisplayName(g_app.main, nullptr, name.data(), &eaten, &item, nullptr)) ||
            !item) {
            return {};
        }
        items.emplace_back(item);
    }
    return items;
}

// The commands that would change the listed items have no place in a still picture.
void GraySnapshotCommands(HMENU popup, IContextMenu* menu) {
    const int count = GetMenuItemCount(popup);
    for (int position = 0; position < count; ++position) {
        const UINT id = GetMenuItemID(popup, position);
        if (id == 0 || id == static_cast<UINT>(-1)) continue;
        const std::wstring verb = ShellVerb(menu, id);
        bool gray = false;
        if (!verb.empty()) {
            for (const wchar_t* changing : {L"cut", L"paste", L"delete", L"link"}) {
                if (_wcsicmp(verb.c_str(), changing) == 0) gray = true;
            }
        }
        if (!gray) {
            wchar_t text[MAX_PATH]{};
            GetMenuStringW(popup, static_cast<UINT>(position), text, MAX_PATH, MF_BYPOSITION);
            gray = wcscmp(text, L"フォルダへ移動(&V)...") == 0;
        }
        if (gray) EnableMenuItem(popup, static_cast<UINT>(position), MF_BYPOSITION | MF_DISABLED | MF_GRAYED);
    }
}

void ShowRowMenu(const NMITEMACTIVATE* info) {
    if (!g_app.targetFolder) return;
    unique_hmenu popup(CreatePopupMenu());
    if (!popup) return;
    UINT firstShellPosition = 0;
    if (SingleSelectedFolder()) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_STRING | MIIM_ID;
        item.wID = IDM_SELECTED_FOLDER;
        wchar_t text[] = L"選択フォルダへ(&S)";
        item.dwTypeData = text;
        InsertMenuItemW(popup.get(), 0, TRUE, &item);
        InsertMenuW(popup.get(), 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        firstShellPosition = 2;
    }
    g_app.pathBuffer[g_app.nameSlot] = L'\0';
    const std::vector<unique_cotaskmem> items = ParseSelectedRows();
    if (items.empty()) return;
    std::vector<PCUITEMID_CHILD> children;
    for (const unique_cotaskmem& item : items) children.push_back(static_cast<PCUITEMID_CHILD>(item.get()));
    com_ptr<IContextMenu> menu;
    if (FAILED(g_app.targetFolder->GetUIObjectOf(g_app.main, static_cast<UINT>(children.size()), children.data(),
                                                 IID_IContextMenu, nullptr, menu.put_void()))) {
        return;
    }
    com_ptr<IContextMenu2> menu2;
    if (FAILED(menu->QueryInterface(IID_IContextMenu2, menu2.put_void()))) return;
    const UINT flags = IsSnapshotMode() ? CMF_EXPLORE : (CMF_EXPLORE | CMF_CANRENAME);
    const HRESULT added =
        menu->QueryContextMenu(popup.get(), firstShellPosition, kFirstShellCommand, kLastShellCommand, flags);
    if (FAILED(added) || HRESULT_CODE(added) == 0) return;
    if (IsSnapshotMode()) GraySnapshotCommands(popup.get(), menu.get());
    const POINT point = ScreenPoint(info);
    g_app.trackedShellMenu = menu2.get();
    const UINT chosen =
        static_cast<UINT>(TrackPopupMenu(popup.get(), TPM_RETURNCMD, point.x, point.y, 0, g_app.main, nullptr));
    g_app.trackedShellMenu = nullptr;
    if (chosen == IDM_SELECTED_FOLDER) {
        SendMessageW(g_app.main, WM_COMMAND, IDM_SELECTED_FOLDER, 0);
    } else if (chosen != 0) {
        RunShellMenuCommand(menu.get(), chosen, info->iItem);
    }
}

}  // namespace

void RunShellMenuCommand(IContextMenu* menu, UINT id, int clickedRow) {
    const std::wstring verb = ShellVerb(menu, id);
    if (_wcsicmp(verb.c_str(), L"rename") == 0) {
        SetFocus(g_app.list);
        SendMessageW(g_app.list, LVM_EDITLABELW, clickedRow, 0);
        return;
    }
    // Wine's shell cuts without a move effect on the clipboard, so a later paste would
    // copy; the program's own cut says move and marks the rows.
    if (_wcsicmp(verb.c_str(), L"cut") == 0) {
        SendMessageW(g_app.main, WM_COMMAND, IDM_CUT, 0);
        return;
    }
    CMINVOKECOMMANDINFO command{};
    command.cbSize = sizeof(command);
    command.hwnd = g_app.main;
    command.lpVerb = MAKEINTRESOURCEA(id - kFirstShellCommand);
    command.nShow = SW_SHOWNORMAL;
    menu->InvokeCommand(&command);
}

void ShowListContextMenu(const NMITEMACTIVATE* info) {
    if (info->iItem < 0) {
        ShowBackgroundMenu(info);
    } else {
        ShowRowMenu(info);
    }
}

}  // namespace lurmo
