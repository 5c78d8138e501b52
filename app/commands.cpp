// The command table of the main window: menus, accelerators and buttons.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "state/app_state.h"
#include "app/folder_chooser.h"
#include "state/message_box.h"
#include "app/main_window.h"
#include "app/options_dialog.h"
#include "app/run_control.h"
#include "app/target_boxes.h"
#include "fileops/file_operations.h"
#include "export/export_file.h"
#include "list/growth.h"
#include "list/result_rows.h"
#include "list/sorting.h"

namespace lurmo {

namespace {

void FlipTargetList() {
    g_app.settings.targetList = g_app.settings.targetList == 0 ? 1 : 0;
    ShowTargetList();
    HWND visible = g_app.settings.targetList == 1 ? g_app.historyBox : g_app.driveBox;
    PostMessageW(visible, CB_SHOWDROPDOWN, TRUE, 0);
    LayoutMainWindow();
}

void CutSelection() {
    if (!PutFilesOnClipboard(DROPEFFECT_MOVE)) return;
    LVITEMW item{};
    item.stateMask = LVIS_CUT;
    item.state = LVIS_CUT;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        SendMessageW(g_app.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
}

void StartRenameEdit() {
    const int row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    SetFocus(g_app.list);
    if (row >= 0) SendMessageW(g_app.list, LVM_EDITLABELW, row, 0);
}

void SelectAllRows() {
    HoldRedrawForManyRows();
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}

void InvertSelection() {
    HoldRedrawForManyRows();
    for (int row = 0; row < g_app.rowCount; ++row) {
        const UINT state = static_cast<UINT>(SendMessageW(g_app.list, LVM_GETITEMSTATE, row, LVIS_SELECTED));
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        item.state = (state & LVIS_SELECTED) ? 0 : LVIS_SELECTED;
        SendMessageW(g_app.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
}

// Enter: in a target box it measures what the box shows, as the accumulate button does;
// anywhere else it opens the selected rows.
void OnEnterKey() {
    const HWND focus = GetFocus();
    for (HWND box : {g_app.driveBox, g_app.historyBox}) {
        if (box && focus && (focus == box || IsChild(box, focus))) return OnAccumulateButton();
    }
    OpenSelectedRows();
}

void ExportRows(bool selectedOnly) {
    ExportRequest request;
    request.owner = g_app.main;
    request.list = g_app.list;
    request.selectedOnly = selectedOnly;
    request.dateColumn = g_app.dateColumn;
    request.unit = static_cast<int>(g_app.settings.unit);
    request.comma = g_app.settings.comma != 0;
    request.targetPath = TargetPath();
    request.osVersion = g_app.osVersion;
    request.showMessage = ShowMessageOwnedBy;
    ExportListing(request);
}

}  // namespace

bool IsRowCommand(UINT id) {
    switch (id) {
        case IDOK:
        case IDM_EXPORT_SELECTED:
        case IDM_COPY_LISTING:
        case IDM_CUT:
        case IDM_COPY:
        case IDM_PASTE:
        case IDM_COPY_TO_FOLDER:
        case IDM_MOVE_TO_FOLDER:
        case IDM_DELETE:
        case IDM_RENAME:
        case IDM_SELECT_ALL:
        case IDM_INVERT_SELECTION:
        case IDM_SORT_BY_NAME:
        case IDM_SORT_BY_SIZE:
        case IDM_SORT_BY_TIME:
        case IDM_UP_ONE_LEVEL:
        case IDM_SELECTED_FOLDER:
        case IDM_PASTE_SHORTCUT:
        case IDM_NEW_FOLDER:
        case IDM_NEW_SHORTCUT: return true;
        default: return id >= IDM_FIRST_TEMPLATE;
    }
}

// A command on the rows that arrives while a name is edited (a menu opened with the
// mouse, a message another program sent) is not carried out: the edit's own text and the
// clipboard's content belong to the user, and the row the edit is on must stay the one
// it names. The menus show these commands grayed meanwhile.
void OnCommand(UINT id) {
    if (g_app.labelEdit && IsRowCommand(id)) return;
    switch (id) {
        case IDOK: OnEnterKey(); break;
        case IDC_TARGET_LIST_BUTTON: FlipTargetList(); break;
        case IDC_BROWSE_BUTTON: BrowseForTarget(); break;
        case IDC_ACCUMULATE_BUTTON: OnAccumulateButton(); break;
        case IDM_EXPORT_ALL: ExportRows(false); break;
        case IDM_EXPORT_SELECTED: ExportRows(true); break;
        case IDM_EXIT: DestroyWindow(g_app.main); break;
        case IDM_COPY_LISTING: CopyListingText(); break;
        case IDM_CUT: CutSelection(); break;
        case IDM_COPY: PutFilesOnClipboard(DROPEFFECT_COPY); break;
        case IDM_PASTE: PasteFiles(); break;
        case IDM_COPY_TO_FOLDER: CopyMoveToFolder(FO_COPY, 2); break;
        case IDM_MOVE_TO_FOLDER: CopyMoveToFolder(FO_MOVE, 1); break;
        case IDM_DELETE: DeleteSelection(); break;
        case IDM_RENAME: StartRenameEdit(); break;
        case IDM_SELECT_ALL: SelectAllRows(); break;
        case IDM_INVERT_SELECTION: InvertSelection(); break;
        case IDM_SORT_BY_NAME: SortByColumn(0); break;
        case IDM_SORT_BY_SIZE: SortByColumn(1); break;
        case IDM_SORT_BY_TIME: SortByColumn(4); break;
        case IDM_UP_ONE_LEVEL: GoUpOneLevel(); break;
        case IDM_SELECTED_FOLDER: GoIntoSelectedFolder(); break;
        case IDM_OPTIONS: ShowOptions(); break;
        case IDM_ABOUT: ShowAboutBox(); break;
        case IDM_PROPERTIES: ShowTargetProperties(); break;
        case IDM_PASTE_SHORTCUT: PasteShortcuts(); break;
        case IDM_NEW_FOLDER: CreateNewFolder(); break;
        case IDM_NEW_SHORTCUT: StartNewShortcutWizard(); break;
        case IDM_UNIT_BYTE:
        case IDM_UNIT_KB:
        case IDM_UNIT_MB:
        case IDM_UNIT_GB: SetSizeUnit(static_cast<int>(id - IDM_UNIT_BYTE)); break;
        case IDM_COMMA: ToggleComma(); break;
        case IDM_SHOW_CHANGE: ToggleChangeColumn(); break;
        case IDM_RESET_BASELINE: ResetBaselinesToNow(); break;
        case IDM_VIEW_TREEMAP: ToggleTreemap(); break;
        case IDM_VIEW_FILE_TYPES: ToggleFileTypes(); break;
        default:
            if (id >= IDM_FIRST_TEMPLATE && IsTemplateCommand(id - IDM_FIRST_TEMPLATE)) CreateFromTemplate(id - IDM_FIRST_TEMPLATE);
            break;
    }
}

}  // namespace lurmo
