#include "list/result_rows.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

#include "state/app_state.h"
#include "list/number_format.h"

namespace lurmo {

namespace {

bool UseCommas() { return g_app.settings.comma != 0; }
int Unit() { return static_cast<int>(g_app.settings.unit); }

void SetCell(int row, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(g_app.list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

void InsertColumn(int index, const wchar_t* caption, int width, int format) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(caption);
    SendMessageW(g_app.list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

// Asks the shell folder for the item's icon and, when asked, its attributes. Attributes
// that cannot be had read as none, so no overlay is given on a guess.
void TakeShellLook(LVITEMW& item, const RowShell& shell, const std::wstring& name, ULONG* attributes) {
    const ULONG wanted = attributes ? *attributes : 0;
    if (attributes) *attributes = 0;
    if (!shell.folder) return;
    PIDLIST_RELATIVE child = nullptr;
    ULONG answered = wanted;
    if (FAILED(shell.folder->ParseDisplayName(g_app.list, nullptr, const_cast<wchar_t*>(name.c_str()), nullptr,
                                              &child, attributes ? &answered : nullptr))) {
        return;
    }
    if (attributes) *attributes = answered & wanted;
    int image = 0;
    if (shell.icon && shell.icon->GetIconOf(child, GIL_FORSHELL, &image) == S_OK) {
        item.mask |= LVIF_IMAGE;
        item.iImage = image;
    } else {
        // The icon source has no quick answer for this item (S_FALSE): ask the shell the
        // long way, by the item's path.
        SHFILEINFOW info{};
        const std::wstring path = shell.target + name;
        if (SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON)) {
            item.mask |= LVIF_IMAGE;
            item.iImage = info.iIcon;
        }
    }
    ILFree(child);
}

// Inserts the row at the end; false when the list did not take it, and the record then
// still belongs to the caller. Every text is made before the insertion, so once the row
// owns its record nothing can fail half way.
bool InsertRow(LVITEMW& item, const RowEntry* entry) {
    const std::wstring size = FormatSize(entry->size, Unit(), UseCommas());
    const std::wstring date = FormatDate(entry->time);
    item.mask |= LVIF_TEXT | LVIF_PARAM;
    item.iItem = g_app.rowCount;
    item.iSubItem = 0;
    item.pszText = const_cast<wchar_t*>(entry->name.c_str());
    item.lParam = reinterpret_cast<LPARAM>(entry);
    const int row = static_cast<int>(SendMessageW(g_app.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return false;
    SetCell(row, 1, size);
    SetCell(row, g_app.dateColumn, date);
    ++g_app.rowCount;
    return true;
}

bool AppendFileLikeRow(RowEntry* entry, const RowShell& shell) {
    LVITEMW item{};
    if (MarkShortcut(*entry)) {
        item.mask |= LVIF_STATE;
        item.state = static_cast<UINT>(g_app.shortcutOverlay);
        item.stateMask = LVIS_OVERLAYMASK;
    }
    TakeShellLook(item, shell, entry->name, nullptr);
    return InsertRow(item, entry);
}

bool AppendFolderLikeRow(RowEntry* entry, const RowShell& shell) {
    LVITEMW item{};
    ULONG attributes = SFGAO_SHARE;
    TakeShellLook(item, shell, entry->name, &attributes);
    if (attributes & SFGAO_SHARE) {
        item.mask |= LVIF_STATE;
        item.state = static_cast<UINT>(g_app.shareOverlay);
        item.stateMask = LVIS_OVERLAYMASK;
    }
    return InsertRow(item, entry);
}

void SetKindBit(uint32_t& kind, uint32_t bit, bool on) {
    if (on) kind |= bit;
    else kind &= ~bit;
}

// The list's own procedure: the Delete key, the bar column following its header, and
// redraw held back while a run adds rows.
LRESULT CALLBACK ResultListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == LVM_INSERTITEMW && g_app.runPaintHold && !g_app.listRedrawOff) {
        // A run is adding rows: the run's paint timer turns redraw on again soon.
        g_app.listRedrawOff = true;
        CallWindowProcW(g_app.previousListProc, window, WM_SETREDRAW, FALSE, 0);
    }
    if (message == WM_KEYDOWN && wParam == VK_DELETE && !g_app.effect.snapShot && !g_app.labelEdit) {
        SendMessageW(g_app.main, WM_COMMAND, IDM_DELETE, 0);
    } else if (message == WM_NOTIFY && g_app.effect.displayGraph) {
        const auto* header = reinterpret_cast<const NMHEADERW*>(lParam);
        if ((header->hdr.code == HDN_TRACKW || header->hdr.code == HDN_ITEMCHANGINGW) && header->iItem == 3) {
            RECT edges{};
            SendMessageW(header->hdr.hwndFrom, HDM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&edges));
            RECT client{};
            GetClientRect(window, &client);
            client.left = edges.left;
            client.right = edges.right;
            InvalidateRect(window, &client, TRUE);
        }
    }
    return CallWindowProcW(g_app.previousListProc, window, message, wParam, lParam);
}

// The date column's width: as the user left it, or on a first start wide enough for a
// whole date in the list's font (the default suits narrow dialog fonts only).
int DateColumnWidth() {
    const Settings& s = g_app.settings;
    if (s.columnWidthDateTimeStored) return s.columnWidthDateTime;
    const int text = static_cast<int>(
        SendMessageW(g_app.list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(L"0000/00/00 00:00:00")));
    // The list leaves a few pixels of margin on each side of a cell's text.
    return std::max(s.columnWidthDateTime, text + 16);
}

}  // namespace

void CreateResultColumns() {
    RECT box{};
    if (g_app.driveBox) GetWindowRect(g_app.driveBox, &box);
    RECT client{}, status{};
    GetClientRect(g_app.main, &client);
    if (g_app.status) GetWindowRect(g_app.status, &status);
    g_app.statusHeight = status.bottom - status.top;
    int y = static_cast<int>(box.bottom - box.top) + 4;
    if (y < 30) y = 30;
    SetWindowPos(g_app.list, nullptr, 0, y, client.right, client.bottom - g_app.statusHeight - y - 70,
                 SWP_NOZORDER);
    if (g_app.userFont && !g_app.settings.useSystemFont) {
        SendMessageW(g_app.list, WM_SETFONT, reinterpret_cast<WPARAM>(g_app.userFont.get()), TRUE);
    }
    const Settings& s = g_app.settings;
    InsertColumn(0, L"名前", s.columnWidthName, LVCFMT_LEFT);
    InsertColumn(1, SizeCaption(Unit()), s.columnWidthSize, LVCFMT_RIGHT);
    InsertColumn(2, L"%", s.columnWidthPercent, LVCFMT_RIGHT);
    g_app.dateColumn = g_app.effect.displayGraph ? 4 : 3;
    if (g_app.effect.displayGraph) InsertColumn(3, L"", s.columnWidthBarGraph, LVCFMT_LEFT);
    InsertColumn(g_app.dateColumn, L"更新日時", DateColumnWidth(), LVCFMT_LEFT);
    if (g_app.smallImages) SendMessageW(g_app.list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(g_app.smallImages));
    g_app.columnsCreated = true;
    g_app.previousListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(g_app.list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ResultListProc)));
}

void ApplyBarGraphColumn() {
    const bool shown = g_app.dateColumn == 4;
    if (g_app.effect.displayGraph && !shown) {
        InsertColumn(3, L"", g_app.settings.columnWidthBarGraph, LVCFMT_LEFT);
        g_app.dateColumn = 4;
    } else if (!g_app.effect.displayGraph && shown) {
        SendMessageW(g_app.list, LVM_DELETECOLUMN, 3, 0);
        g_app.dateColumn = 3;
    }
}

RowShell MainThreadRowShell() {
    return {g_app.targetFolder.get(), g_app.targetIcon.get(), TargetPath()};
}

bool AppendFileRow(FileEntry* entry, const RowShell& shell) { return AppendFileLikeRow(entry, shell); }
bool AppendFolderRow(FolderEntry* entry, const RowShell& shell) { return AppendFolderLikeRow(entry, shell); }

bool AppendSnapshotRow(SnapshotEntry* entry, const RowShell& shell) {
    return (entry->kind & kKindFile) ? AppendFileLikeRow(entry, shell) : AppendFolderLikeRow(entry, shell);
}

RowEntry* RowEntryAt(int row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(g_app.list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<RowEntry*>(item.lParam);
}

void ReleaseDeletedRow(LPARAM entry) {
    ++g_app.mapChanges;
    if (entry) ReleaseRowEntry(reinterpret_cast<RowEntry*>(entry), g_app.effect.snapShot != 0);
}

void RewriteSizeCell(const RowEntry* entry, int row) { SetCell(row, 1, FormatSize(entry->size, Unit(), UseCommas())); }

uint64_t UpdateFileRow(RunParameters& params, const WIN32_FIND_DATAW& data, FileEntry* entry, int row) {
    SetKindBit(entry->kind, kKindCompressed, (data.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED) != 0);
    SetKindBit(entry->kind, kKindEncrypted, (data.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED) != 0);
    if (entry->kind & kKindFile) entry->size = RemeasureFileSize(params, data);
    entry->time = ToLocalFileTime(data.ftLastWriteTime);
    RewriteSizeCell(entry, row);
    SetCell(row, g_app.dateColumn, FormatDate(entry->time));
    return entry->size;
}

void UpdateFolderRow(const WIN32_FIND_DATAW& data, FolderEntry* entry, int row) {
    SetKindBit(entry->kind, kKindCompressed, (data.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED) != 0);
    SetKindBit(entry->kind, kKindEncrypted, (data.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED) != 0);
    entry->time = ToLocalFileTime(data.ftLastWriteTime);
    SetCell(row, g_app.dateColumn, FormatDate(entry->time));
}

void RewriteSizeColumn() {
    for (int row = 0; row < g_app.rowCount; ++row) {
        if (const RowEntry* entry = RowEntryAt(row)) RewriteSizeCell(entry, row);
    }
}

void SetSizeUnit(int unit) {
    g_app.settings.unit = static_cast<DWORD>(unit);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(SizeCaption(unit));
    SendMessageW(g_app.list, LVM_SETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    RewriteSizeColumn();
    RefreshStatusBar();
}

void ToggleComma() {
    g_app.settings.comma = !g_app.settings.comma;
    RewriteSizeColumn();
}

void RefreshPercentages() {
    if (g_app.grandTotal == 0) return;
    for (int row = 0; row < g_app.rowCount; ++row) {
        if (const RowEntry* entry = RowEntryAt(row)) SetCell(row, 2, FormatPercent(entry->size, g_app.grandTotal));
    }
    if (g_app.effect.displayGraph && g_app.rowCount > 0) {
        SendMessageW(g_app.list, LVM_REDRAWITEMS, 0, g_app.rowCount - 1);
    }
}

void SetStatusBarParts() {
    RECT client{};
    GetClientRect(g_app.main, &client);
    int edges[2] = {150, static_cast<int>(client.right)};
    SendMessageW(g_app.status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
}

void RefreshStatusBar() {
    SetStatusBarParts();
    const std::wstring count = L" " + FormatCount(g_app.rowCount) + L" 個";
    const std::wstring total = L"合計：" + FormatSize(g_app.grandTotal, Unit(), UseCommas()) + SizeSuffix(Unit());
    SendMessageW(g_app.status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(count.c_str()));
    SendMessageW(g_app.status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(total.c_str()));
}

int FindRowByName(const std::wstring& name) {
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = name.c_str();
    return static_cast<int>(SendMessageW(g_app.list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

void MarkUnitMenu(HMENU popup) {
    const DWORD unit = g_app.settings.unit;
    if (unit <= 3) CheckMenuRadioItem(popup, IDM_UNIT_BYTE, IDM_UNIT_GB, IDM_UNIT_BYTE + unit, MF_BYCOMMAND);
    else for (UINT id = IDM_UNIT_BYTE; id <= IDM_UNIT_GB; ++id) CheckMenuItem(popup, id, MF_BYCOMMAND | MF_UNCHECKED);
}

void MarkCommaItem(HMENU menu) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    if (!GetMenuItemInfoW(menu, IDM_COMMA, FALSE, &info)) return;
    if (g_app.settings.comma) info.fState |= MFS_CHECKED;
    else info.fState &= ~MFS_CHECKED;
    SetMenuItemInfoW(menu, IDM_COMMA, FALSE, &info);
}

std::wstring CellText(HWND list, int row, int column) {
    // Names are at most 255 units on every file system; the buffer takes any cell whole.
    std::wstring text(1024, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return text;
}

std::wstring CellText(int row, int column) { return CellText(g_app.list, row, column); }

}  // namespace lurmo
