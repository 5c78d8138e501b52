// Enabling and marking the menu items as a popup opens.
#include <windows.h>
#include <commctrl.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "fileops/file_operations.h"
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
    Enable(menu, kCmdRename, selected == 1 && FileOperationMode());
    for (UINT id : {kCmdCopyListing, kCmdCopy, kCmdCopyToFolder}) Enable(menu, id, selected > 0);
    for (UINT id : {kCmdCut, kCmdMoveToFolder, kCmdDelete}) Enable(menu, id, selected > 0 && FileOperationMode());
    const bool paste = PasteAllowed();
    Enable(menu, kCmdPaste, paste);
    Enable(menu, kCmdPasteShortcut, paste);
    for (UINT id : {kCmdSelectAll, kCmdInvertSelection}) Enable(menu, id, g_app.rowCount != 0);
}

void EnableListBackgroundMenu(HMENU menu) {
    const bool paste = PasteAllowed();
    Enable(menu, kCmdPaste, paste);
    Enable(menu, kCmdPasteShortcut, paste);
    EnableMenuItem(menu, 5, MF_BYPOSITION | (paste ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
}

}  // namespace

void OnInitMenuPopup(HMENU popup) {
    if (popup == g_app.fileMenu) {
        Enable(popup, kCmdExportAll, g_app.rowCount != 0 && !g_app.busy.load());
        Enable(popup, kCmdExportSelected, SelectedCount() != 0);
    } else if (popup == g_app.editMenu) {
        EnableEditMenu(popup);
    } else if (popup == g_app.viewMenu) {
        Enable(popup, kCmdUpOneLevel, CanGoUp());
        Enable(popup, kCmdSelectedFolder, SingleSelectedFolder());
        MarkCommaItem(popup);
    } else if (GetMenuItemID(popup, 3) == kCmdPaste) {
        EnableListBackgroundMenu(popup);
    } else if (GetMenuItemID(popup, 0) == kCmdSortByName) {
        MarkSortMenu(popup);
    } else if (GetMenuItemID(popup, 0) == kCmdUnitByte) {
        MarkUnitMenu(popup);
    }
}

}  // namespace lurmo
