#include "app/main_window.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <new>

#include "state/app_state.h"
#include "app/folder_chooser.h"
#include "state/message_box.h"
#include "app/run_control.h"
#include "app/run_progress.h"
#include "app/run_worker.h"
#include "app/settings.h"
#include "app/target_boxes.h"
#include "app/window_dpi.h"
#include "state/window_messages.h"
#include "engine/error_report.h"
#include "fileops/drag_drop.h"
#include "fileops/file_operations.h"
#include "list/custom_draw.h"
#include "list/dpi.h"
#include "list/growth.h"
#include "list/menu_entries.h"
#include "list/result_rows.h"
#include "list/sorting.h"
#include "list/thread_wait.h"
#include "list/watcher.h"
#include "map/treemap_pane.h"

namespace lurmo {

namespace {

WNDPROC g_previousMainProc = nullptr;

// The list's top edge: below the target box, and never higher than 30 pixels at 96 DPI.
int ListTop() {
    RECT box{};
    if (g_app.driveBox) GetWindowRect(g_app.driveBox, &box);
    return std::max(static_cast<int>(box.bottom - box.top) + Scaled(4), Scaled(30));
}

void ReportEngineError(const std::wstring& text) { ShowMessage(text, MB_ICONERROR); }

DWORD ReadOsVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return 0;
#pragma GCC diagnostic pop
    return (info.dwMajorVersion << 8) | info.dwMinorVersion;
}

int OverlayValue(int which) {
    const int index = SHGetIconOverlayIndexW(nullptr, which);
    return index == -1 ? 0 : (index << 8);
}

int FindFolderIconIndex() {
    wchar_t windows[MAX_PATH]{};
    if (!SHGetSpecialFolderPathW(g_app.main, windows, CSIDL_WINDOWS, FALSE)) return 8;
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(windows, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON)) return 8;
    return info.iIcon;
}

void OpenMapFolder(const std::wstring& path) { OpenFolderAsTarget(path, 1); }

void ShowMapRowMenu(int row, POINT screen) {
    NMITEMACTIVATE info{};
    info.hdr.hwndFrom = g_app.list;
    info.iItem = row;
    info.ptAction = screen;
    ScreenToClient(g_app.list, &info.ptAction);
    ShowListContextMenu(&info);
}

// The map pane goes below the list; it is handed what it cannot reach from below.
void CreateMapPane() {
    TreemapHost host;
    host.openRow = [](int row) { OpenRow(row); };
    host.openFolder = OpenMapFolder;
    host.rowMenu = ShowMapRowMenu;
    host.heightChanged = LayoutMainWindow;
    if (!RegisterTreemapClass(g_app.instance, host)) return;
    g_app.treemap = CreateTreemapPane(g_app.main);
}

void ReadMenuColors() {
    g_app.menuHighlight = GetSysColor(COLOR_MENUHILIGHT);
    g_app.menuHighlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
}

bool SetUpMainWindow() {
    g_app.osVersion = ReadOsVersion();
    OleInitialize(nullptr);
    LoadSettings();
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
    g_app.status = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                   g_app.main, reinterpret_cast<HMENU>(IDC_STATUS_BAR), g_app.instance, nullptr);
    g_app.smallImages = SystemImageListFor(SmallIconSize(g_app.dpi));
    g_app.shortcutOverlay = OverlayValue(IDO_SHGIOI_LINK);
    g_app.shareOverlay = OverlayValue(IDO_SHGIOI_SHARE);
    if (FAILED(SHGetDesktopFolder(g_app.desktop.put()))) {
        ShowMessage(L"エラー：SHGetDesktopFolder()", MB_ICONERROR);
        return false;
    }
    FillDriveBox();
    LoadHistory();
    for (HWND button : {g_app.targetListButton, g_app.browseButton, g_app.accumulateButton}) {
        SetWindowLongPtrW(button, GWL_STYLE, GetWindowLongPtrW(button, GWL_STYLE) | WS_CLIPSIBLINGS);
    }
    ShowTargetList();
    g_app.folderIconIndex = FindFolderIconIndex();
    CreateResultColumns();
    g_app.headerHeight = MeasureHeaderHeight();
    CreateMapPane();
    for (COLORREF& color : g_app.customColors) color = 0;
    g_app.customColors[0] = g_app.settings.graphColor;
    g_app.nextClipboardViewer = SetClipboardViewer(g_app.main);
    LayoutMainWindow();
    const std::wstring& initial = g_app.initialTarget;
    if (!initial.empty() && CheckTargetLength(initial) && CheckFolderExists(initial) && CheckTarget(initial)) {
        StartAccumulation();
    }
    return true;
}

// Gives a shell context menu being tracked the first look at its owner-draw and popup
// messages; everything else goes on to the dialog.
LRESULT CALLBACK MainSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_app.trackedShellMenu &&
        (message == WM_DRAWITEM || message == WM_MEASUREITEM || message == WM_INITMENUPOPUP)) {
        if (g_app.trackedShellMenu->HandleMenuMsg(message, wParam, lParam) == S_OK) {
            return message == WM_INITMENUPOPUP ? 0 : TRUE;
        }
    }
    return CallWindowProcW(g_previousMainProc, window, message, wParam, lParam);
}

BOOL OnInitDialog(HWND window) {
    g_app.main = window;
    g_app.dpi = WindowDpi(window);
    g_app.columnsCreated = false;
    SetClassLongPtrW(window, GCLP_HICON,
                     reinterpret_cast<LONG_PTR>(LoadIconW(g_app.instance, MAKEINTRESOURCEW(IDI_MAIN))));
    ReadMenuColors();
    ReadExplorerColors();
    HMENU menu = GetMenu(window);
    g_app.fileMenu = GetSubMenu(menu, 0);
    g_app.editMenu = GetSubMenu(menu, 1);
    g_app.viewMenu = GetSubMenu(menu, 2);
    g_app.targetListButton = GetDlgItem(window, IDC_TARGET_LIST_BUTTON);
    g_app.browseButton = GetDlgItem(window, IDC_BROWSE_BUTTON);
    g_app.accumulateButton = GetDlgItem(window, IDC_ACCUMULATE_BUTTON);
    g_app.list = GetDlgItem(window, IDC_RESULT_LIST);
    g_app.arrowCursor = LoadCursorW(nullptr, IDC_ARROW);
    g_app.appStartingCursor = LoadCursorW(nullptr, IDC_APPSTARTING);
    SetErrorReporter(ReportEngineError);
    FileOperationHost host;
    host.chooseFolder = ChooseFolder;
    host.openFolder = OpenFolderAsTarget;
    SetFileOperationHost(host);
    if (!SetUpMainWindow()) {
        DestroyWindow(window);
        return TRUE;
    }
    g_previousMainProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainSubclassProc)));
    RegisterListDropTarget();
    RegisterDriveNotifications();
    g_app.dropEffectFormat = RegisterClipboardFormatW(L"Preferred DropEffect");
    g_app.ownDrag = 0;
    return TRUE;
}

void OnDestroy() {
    FreeNewItemTemplates();
    if (g_app.driveNotification) {
        SHChangeNotifyDeregister(g_app.driveNotification);
        g_app.driveNotification = 0;
    }
    // A worker that is still finishing its end steps is waited for as well.
    if (g_app.worker) StopAccumulation();
    StopWatcher();
    ReleaseTaskbarProgress();
    ChangeClipboardChain(g_app.main, g_app.nextClipboardViewer);
    RevokeListDropTarget();
    OleFlushClipboard();
    // Every COM object goes before OLE is shut down: releasing one afterwards calls into
    // a library that may already be unloaded.
    g_app.targetFolder.reset();
    g_app.desktop.reset();
    OleUninitialize();
    SendMessageW(g_app.list, LVM_DELETEALLITEMS, 0, 0);
    g_app.drivePaths.clear();
    g_app.userFont.reset();
    SaveSettings();
    g_app.dialogFont.reset();
    SaveHistory();
    g_app.targetIcon.reset();
    SetErrorReporter(nullptr);
    PostQuitMessage(0);
    g_app.main = nullptr;
}

void OnSize(WPARAM wParam, LPARAM lParam) {
    LayoutMainWindow();
    SendMessageW(g_app.status, WM_SIZE, wParam, lParam);
    // The progress bar sits in a part of the status bar, which has only now its new size.
    LayoutRunProgress();
}

void OnDrawClipboard(UINT message, WPARAM wParam, LPARAM lParam) {
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, row, LVNI_CUT))) >= 0) {
        LVITEMW item{};
        item.stateMask = LVIS_CUT;
        item.state = 0;
        SendMessageW(g_app.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
    if (g_app.nextClipboardViewer) SendMessageW(g_app.nextClipboardViewer, message, wParam, lParam);
}

void OnChangeClipboardChain(UINT message, WPARAM wParam, LPARAM lParam) {
    if (reinterpret_cast<HWND>(wParam) == g_app.nextClipboardViewer) {
        g_app.nextClipboardViewer = reinterpret_cast<HWND>(lParam);
    } else if (g_app.nextClipboardViewer) {
        SendMessageW(g_app.nextClipboardViewer, message, wParam, lParam);
    }
}

// The one notice whose record the receiver writes into (the row's text colour); its
// result goes back through the dialog's message result.
BOOL OnCustomDraw(HWND window, const NMHDR* header) {
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(header));
    const std::optional<LRESULT> result = OnListCustomDraw(draw);
    if (!result) return FALSE;
    SetWindowLongPtrW(window, DWLP_MSGRESULT, *result);
    return TRUE;
}

// Only the result list's notifications act: the status bar sends NM_DBLCLK and NM_RCLICK
// too, with a part number where the list has a row.
BOOL OnNotify(HWND window, const NMHDR* header) {
    if (header->hwndFrom != g_app.list) return FALSE;
    switch (header->code) {
        case LVN_ENDLABELEDITW: {
            const auto* info = reinterpret_cast<const NMLVDISPINFOW*>(header);
            const bool accepted = FinishRename(info);
            SetWindowLongPtrW(window, DWLP_MSGRESULT, accepted);
            if (!accepted) PostMessageW(window, kMsgReopenRename, 0, 0);
            return TRUE;
        }
        case LVN_BEGINLABELEDITW: {
            g_app.labelEdit = reinterpret_cast<HWND>(SendMessageW(g_app.list, LVM_GETEDITCONTROL, 0, 0));
            const bool allowed = BeginRename(reinterpret_cast<const NMLVDISPINFOW*>(header));
            if (!allowed) g_app.labelEdit = nullptr;
            SetWindowLongPtrW(window, DWLP_MSGRESULT, !allowed);
            return TRUE;
        }
        case LVN_BEGINDRAG: StartDrag(reinterpret_cast<const NMLISTVIEW*>(header)); return TRUE;
        case LVN_COLUMNCLICK: {
            const int column = reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem;
            if (column == g_app.changeColumn) SortByChange();
            else if (column >= 0 && column <= 4) SortByColumn(column);
            return TRUE;
        }
        case LVN_DELETEITEM: ReleaseDeletedRow(reinterpret_cast<const NMLISTVIEW*>(header)->lParam); return TRUE;
        case NM_RCLICK: ShowListContextMenu(reinterpret_cast<const NMITEMACTIVATE*>(header)); return TRUE;
        case NM_CUSTOMDRAW: return OnCustomDraw(window, header);
        case LVN_ITEMCHANGED: RefreshTreemapFrames(); return FALSE;
        case NM_DBLCLK: {
            const int row = reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem;
            if (row >= 0) OpenRow(row);
            return TRUE;
        }
        default: return FALSE;
    }
}

// The owner-drawn entries of the new-item submenu; other owner-drawn items are not ours.
bool IsNewItemEntry(UINT type, UINT id) {
    if (type != ODT_MENU) return false;
    return id == IDM_NEW_FOLDER || id == IDM_NEW_SHORTCUT ||
           (id >= IDM_FIRST_TEMPLATE && IsTemplateCommand(id - IDM_FIRST_TEMPLATE));
}

BOOL OnMeasureItem(MEASUREITEMSTRUCT* item) {
    if (!IsNewItemEntry(item->CtlType, item->itemID)) return FALSE;
    MeasureMenuEntry(item);
    return TRUE;
}

BOOL OnDrawItem(const DRAWITEMSTRUCT* item) {
    if (!IsNewItemEntry(item->CtlType, item->itemID)) return FALSE;
    DrawMenuEntry(item);
    return TRUE;
}

BOOL OnMenuChar(HWND window, WPARAM wParam, LPARAM lParam) {
    HMENU menu = reinterpret_cast<HMENU>(lParam);
    if (!menu || menu != g_app.newItemMenu) return FALSE;
    SetWindowLongPtrW(window, DWLP_MSGRESULT, MatchMenuMnemonic(static_cast<wchar_t>(LOWORD(wParam)), menu));
    return TRUE;
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// The worker's messages name their run: one from a run that a newer run has replaced
// must not start a watch on the new target or touch its look.
void OnPrivateMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const bool currentRun = static_cast<unsigned>(wParam) == g_app.runNumber;
    switch (message) {
        case kMsgRunFinishedTree:
            if (currentRun) StartWatcher();
            break;
        case kMsgDriveChange: OnDriveChange(reinterpret_cast<PCIDLIST_ABSOLUTE*>(wParam), static_cast<LONG>(lParam)); break;
        case kMsgRunFinished:
            if (!currentRun) break;
            EndListPaintHold();
            EndRunProgress();
            RestoreArrowCursors();
            break;
        case kMsgRunFailed: OnRunFailed(static_cast<unsigned>(wParam), lParam == 1); break;
        default: break;
    }
}

BOOL OnTimer(WPARAM id) {
    if (id == kTimerRunPaint) OnRunPaintTimer();
    else if (id == kTimerRunProgress) OnRunProgressTimer();
    else if (id == kTimerApplyNotices) OnApplyNoticesTimer();
    else return FALSE;
    return TRUE;
}

// The watcher cannot follow the target any more: a fresh measurement of the same target
// takes its place, unless a run is already under way.
void OnWatcher(WPARAM what, LPARAM data) {
    if (!OnWatcherMessage(what, data) || g_app.nameSlot == 0) return;
    // A run that has finished measuring is only ending its thread: it is waited for, or
    // the request would be lost and the target left unwatched.
    if (g_app.busy.load() && g_app.worker && g_app.completedRun.load() == g_app.runNumber) {
        WaitForThreadAnsweringMessages(g_app.worker.get(), 5000);
    }
    if (g_app.busy.load()) return;
    // Measured afresh for the watch's sake, not the user's: the changes shown stay.
    RemeasureTarget();
}

}  // namespace

// While a name is edited its keys are the edit's: Ctrl+C, X, V and A act on the text,
// never on the rows or the clipboard's files, and F2 opens no other edit.
bool TranslateMainWindowMessage(MSG& message) {
    static HACCEL accelerators = nullptr;
    if (!g_app.main) return false;
    if (!accelerators) accelerators = LoadAcceleratorsW(g_app.instance, MAKEINTRESOURCEW(IDA_MAIN));
    if (!g_app.labelEdit && TranslateAcceleratorW(g_app.main, accelerators, &message)) return true;
    return IsDialogMessageW(g_app.main, &message) != FALSE;
}

int MeasureHeaderHeight() {
    HWND header = reinterpret_cast<HWND>(SendMessageW(g_app.list, LVM_GETHEADER, 0, 0));
    RECT item{};
    if (!header || !SendMessageW(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return item.bottom - item.top;
}

void ShowAboutBox() { DialogBoxW(g_app.instance, MAKEINTRESOURCEW(IDD_ABOUT), g_app.main, AboutProc); }

// Every child's place follows from the client size and the DPI here, in one pass, so that
// a change of either lays the whole window out again. Lengths are at 96 DPI, scaled.
void LayoutMainWindow() {
    RECT client{};
    GetClientRect(g_app.main, &client);
    const int width = client.right, height = client.bottom;
    // The status bar's height follows its font, which a change of DPI changes.
    RECT status{};
    if (g_app.status && GetWindowRect(g_app.status, &status)) g_app.statusHeight = status.bottom - status.top;
    const int top = ListTop();
    int listHeight = std::max(0, height - g_app.statusHeight - top);
    if (g_app.treemap) {
        // The map takes its height from the list's and never more than half of it: the
        // list stays the window's main part, and a small window still shows its rows.
        const int splitter = TreemapSplitterHeight(g_app.main);
        const int wanted = ScaleForDpi(g_app.main, g_app.settings.treemapHeight) + splitter;
        const int pane = g_app.settings.treemapShown ? std::clamp(listHeight / 2, 0, wanted) : 0;
        listHeight -= pane;
        SetWindowPos(g_app.treemap, nullptr, 0, top + listHeight, width, pane, SWP_NOZORDER);
        ShowWindow(g_app.treemap, pane > 0 ? SW_SHOWNA : SW_HIDE);
    }
    SetWindowPos(g_app.list, nullptr, 0, top, width, listHeight, SWP_NOZORDER);
    SetWindowPos(g_app.accumulateButton, nullptr, width - Scaled(70), 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(g_app.browseButton, nullptr, width - Scaled(140), 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(g_app.targetListButton, nullptr, width - Scaled(210), 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    // Both boxes, the hidden one too, so that each lies exactly over the other.
    const int boxWidth = std::max(0, width - Scaled(262));
    for (HWND box : {g_app.driveBox, g_app.historyBox}) {
        SetWindowPos(box, nullptr, Scaled(42), Scaled(2), boxWidth, Scaled(22), SWP_NOZORDER);
    }
    // During a run the parts are the progress display's (LayoutRunProgress).
    if (!RunProgressOwnsStatusBar() && SendMessageW(g_app.status, SB_GETPARTS, 0, 0) > 1) SetStatusBarParts();
}

void ToggleTreemap() {
    g_app.settings.treemapShown = !g_app.settings.treemapShown;
    g_app.settings.treemapShownStored = true;
    LayoutMainWindow();
}

// The types list lives beside the map: showing it shows the map too.
void ToggleFileTypes() {
    g_app.settings.fileTypesShown = !g_app.settings.fileTypesShown;
    if (g_app.settings.fileTypesShown && !g_app.settings.treemapShown) ToggleTreemap();
    LayoutMainWindow();
    LayOutTreemapPane();
}

HWND CreateMainWindow() {
    return CreateDialogParamW(g_app.instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
}

namespace {

INT_PTR DispatchMainMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnInitDialog(window);
        case WM_SIZE: OnSize(wParam, lParam); return TRUE;
        case WM_CLOSE: DestroyWindow(window); return TRUE;
        case WM_DESTROY: OnDestroy(); return TRUE;
        case WM_SYSCOLORCHANGE: ReadMenuColors(); return FALSE;
        case WM_NOTIFY: return OnNotify(window, reinterpret_cast<const NMHDR*>(lParam));
        case WM_COMMAND: OnCommand(LOWORD(wParam)); return TRUE;
        case WM_INITMENUPOPUP: OnInitMenuPopup(reinterpret_cast<HMENU>(wParam)); return TRUE;
        case WM_MEASUREITEM: return OnMeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        case WM_DRAWITEM: return OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        case WM_MENUCHAR: return OnMenuChar(window, wParam, lParam);
        case WM_DPICHANGED: OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam)); return TRUE;
        case WM_DRAWCLIPBOARD: OnDrawClipboard(message, wParam, lParam); return TRUE;
        case WM_CHANGECBCHAIN: OnChangeClipboardChain(message, wParam, lParam); return TRUE;
        case WM_TIMER: return OnTimer(wParam);
        case kMsgRunFinishedTree:
        case kMsgDriveChange:
        case kMsgRunFinished:
        case kMsgRunFailed: OnPrivateMessage(message, wParam, lParam); return TRUE;
        case kMsgWatcher: OnWatcher(wParam, lParam); return TRUE;
        case kMsgReopenRename: ReopenRefusedRename(); return TRUE;
        default: return FALSE;
    }
}

}  // namespace

// No exception may leave a window procedure: the system's frames cannot pass it on.
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return DispatchMainMessage(window, message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        ShowMessage(L"メモリ不足です.", MB_ICONERROR);
    } catch (const std::exception&) {
        // Whatever failed leaves the window as it was.
    }
    return TRUE;
}

}  // namespace lurmo
