// Enabling and marking the menu items as a popup opens.
#include <windows.h>
#include <commctrl.h>

#include "state/app_state.h"
#include "app/main_window.h"
#include "fileops/file_operations.h"
#include "list/growth.h"
#include "list/result_rows.h"
#include "list/sorting.h"

namespace lurmo {

namespace {

void Enable(HMENU menu, UINT id, bool enabled) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
}

int SelectedCount() { return static_cast<int>(SendMessageW(g_app.list, LVM_GETSELECTEDCOUNT, 0, 0)); }
bool FileOperationMode() { return g_app.effect.snapShot == 0; }
bool PasteAllowed() { return ClipboardHasFiles() && g_app.nameSlot > 0 && FileOperationMode(); }

// The up command needs a target that is not a drive root.
bool CanGoUp() {
    return g_app.nameSlot >= 2 && g_app.pathBuffer[g_app.nameSlot - 2] != L':';
}

bool SingleSelectedFolder() {
    if (SelectedCount() != 1) return false;
    const int row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    const RowEntry* entry = RowEntryAt(row);
    return entry && !(entry->kind & kKindFile);
}

void EnableEditMenu(HMENU menu) {
    const int selected = SelectedCount();
    Enable(menu, IDM_RENAME, selected == 1 && FileOperationMode());
    for (UINT id : {IDM_COPY_LISTING, IDM_COPY, IDM_COPY_TO_FOLDER}) Enable(menu, id, selected > 0);
    for (UINT id : {IDM_CUT, IDM_MOVE_TO_FOLDER, IDM_DELETE}) Enable(menu, id, selected > 0 && FileOperationMode());
    const bool paste = PasteAllowed();
    Enable(menu, IDM_PASTE, paste);
    Enable(menu, IDM_PASTE_SHORTCUT, paste);
    for (UINT id : {IDM_SELECT_ALL, IDM_INVERT_SELECTION}) Enable(menu, id, g_app.rowCount != 0);
}

// New items need a target that may change, not files on the clipboard: the submenu at
// position 5 follows the paste rule without its clipboard half.
void EnableListBackgroundMenu(HMENU menu) {
    const bool paste = PasteAllowed();
    Enable(menu, IDM_PASTE, paste);
    Enable(menu, IDM_PASTE_SHORTCUT, paste);
    const bool newItems = g_app.nameSlot > 0 && FileOperationMode();
    EnableMenuItem(menu, 5, MF_BYPOSITION | (newItems ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
}

// While a name is edited every command on the rows in the popup is grayed.
void GrayRowCommands(HMENU popup) {
    const int count = GetMenuItemCount(popup);
    for (int position = 0; position < count; ++position) {
        const UINT id = GetMenuItemID(popup, position);
        if (id != static_cast<UINT>(-1) && IsRowCommand(id)) Enable(popup, id, false);
    }
}

void EnableByState(HMENU popup) {
    if (popup == g_app.fileMenu) {
        Enable(popup, IDM_EXPORT_ALL, g_app.rowCount != 0 && !g_app.busy.load());
        Enable(popup, IDM_EXPORT_SELECTED, SelectedCount() != 0);
    } else if (popup == g_app.editMenu) {
        EnableEditMenu(popup);
    } else if (popup == g_app.viewMenu) {
        Enable(popup, IDM_UP_ONE_LEVEL, CanGoUp());
        Enable(popup, IDM_SELECTED_FOLDER, SingleSelectedFolder());
        MarkCommaItem(popup);
        SyncChangeMenu(popup);
        CheckMenuItem(popup, IDM_VIEW_TREEMAP, MF_BYCOMMAND | (g_app.settings.treemapShown ? MF_CHECKED : MF_UNCHECKED));
        // Snapshot mode keeps no tree to count the types in.
        const bool typesShown = g_app.settings.fileTypesShown && g_app.settings.treemapShown && !g_app.effect.snapShot;
        CheckMenuItem(popup, IDM_VIEW_FILE_TYPES, MF_BYCOMMAND | (typesShown ? MF_CHECKED : MF_UNCHECKED));
        Enable(popup, IDM_VIEW_FILE_TYPES, !g_app.effect.snapShot);
    } else if (GetMenuItemID(popup, 3) == IDM_PASTE) {
        EnableListBackgroundMenu(popup);
    } else if (GetMenuItemID(popup, 0) == IDM_SORT_BY_NAME) {
        MarkSortMenu(popup);
    } else if (GetMenuItemID(popup, 0) == IDM_UNIT_BYTE) {
        MarkUnitMenu(popup);
    } else if (GetMenuItemID(popup, 0) == IDM_NEW_FOLDER) {
        // Wine has no new-shortcut wizard: an item that would do nothing is grayed.
        Enable(popup, IDM_NEW_SHORTCUT, NewShortcutWizardAvailable());
    }
}

}  // namespace

void OnInitMenuPopup(HMENU popup) {
    EnableByState(popup);
    if (g_app.labelEdit) GrayRowCommands(popup);
}

}  // namespace lurmo
