// The command table of the main window: menus, accelerators and buttons.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/folder_chooser.h"
#include "app/main_window.h"
#include "app/run_control.h"
#include "app/target_boxes.h"
#include "fileops/file_operations.h"
#include "export/export_file.h"
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
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}

void InvertSelection() {
    for (int row = 0; row < g_app.rowCount; ++row) {
        const UINT state = static_cast<UINT>(SendMessageW(g_app.list, LVM_GETITEMSTATE, row, LVIS_SELECTED));
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        item.state = (state & LVIS_SELECTED) ? 0 : LVIS_SELECTED;
        SendMessageW(g_app.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
}

int ShowExportMessage(HWND, const std::wstring& text, UINT type) { return ShowMessage(text, type); }

void ExportRows(bool selectedOnly) {
    ExportRequest request;
    request.owner = g_app.main;
    request.list = g_app.list;
    request.selectedOnly = selectedOnly;
    request.dateColumn = g_app.dateColumn;
    request.unit = static_cast<int>(g_app.settings.unit);
    request.comma = g_app.settings.comma != 0;
    request.targetPath.assign(g_app.pathBuffer, g_app.nameSlot);
    request.osVersion = g_app.osVersion;
    request.showMessage = ShowExportMessage;
    ExportListing(request);
}

}  // namespace

void OnCommand(UINT id) {
    switch (id) {
        case IDOK: if (!g_app.labelEdit) OpenSelectedRows(); break;
        case kIdTargetListButton: FlipTargetList(); break;
        case kIdBrowseButton: BrowseForTarget(); break;
        case kIdAccumulateButton: OnAccumulateButton(); break;
        case kCmdExportAll: ExportRows(false); break;
        case kCmdExportSelected: ExportRows(true); break;
        case kCmdExit: DestroyWindow(g_app.main); break;
        case kCmdCopyListing: CopyListingText(); break;
        case kCmdCut: CutSelection(); break;
        case kCmdCopy: PutFilesOnClipboard(DROPEFFECT_COPY); break;
        case kCmdPaste: PasteFiles(); break;
        case kCmdCopyToFolder: CopyMoveToFolder(FO_COPY, 2); break;
        case kCmdMoveToFolder: CopyMoveToFolder(FO_MOVE, 1); break;
        case kCmdDelete: DeleteSelection(); break;
        case kCmdRename: StartRenameEdit(); break;
        case kCmdSelectAll: SelectAllRows(); break;
        case kCmdInvertSelection: InvertSelection(); break;
        case kCmdSortByName: SortByColumn(0); break;
        case kCmdSortBySize: SortByColumn(1); break;
        case kCmdSortByTime: SortByColumn(4); break;
        case kCmdUpOneLevel: GoUpOneLevel(); break;
        case kCmdSelectedFolder: GoIntoSelectedFolder(); break;
        case kCmdOptions: ShowOptions(); break;
        case kCmdAbout: ShowAboutBox(); break;
        case kCmdProperties: ShowTargetProperties(); break;
        case kCmdPasteShortcut: PasteShortcuts(); break;
        case kCmdNewFolder: CreateNewFolder(); break;
        case kCmdNewShortcut: StartNewShortcutWizard(); break;
        case kCmdUnitByte:
        case kCmdUnitKB:
        case kCmdUnitMB:
        case kCmdUnitGB: SetSizeUnit(static_cast<int>(id - kCmdUnitByte)); break;
        case kCmdComma: ToggleComma(); break;
        default:
            if (id >= kCmdFirstTemplate && IsTemplateCommand(id - kCmdFirstTemplate)) CreateFromTemplate(id - kCmdFirstTemplate);
            break;
    }
}

}  // namespace lurmo
