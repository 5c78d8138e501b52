#include "list/result_rows.h"

#include <commctrl.h>
#include <shlobj.h>

#include "app/app_state.h"
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

// Asks the target shell folder for the item's icon and, when asked, its attributes.
void TakeShellLook(LVITEMW& item, const std::wstring& name, ULONG* attributes) {
    if (!g_app.targetFolder) return;
    PIDLIST_RELATIVE child = nullptr;
    ULONG wanted = attributes ? *attributes : 0;
    if (FAILED(g_app.targetFolder->ParseDisplayName(g_app.list, nullptr, const_cast<wchar_t*>(name.c_str()),
                                                    nullptr, &child, attributes ? &wanted : nullptr))) {
        if (attributes) *attributes = 0;
        return;
    }
    if (attributes) *attributes = wanted;
    int image = 0;
    if (g_app.targetIcon && g_app.targetIcon->GetIconOf(child, GIL_FORSHELL, &image) == S_OK) {
        item.mask |= LVIF_IMAGE;
        item.iImage = image;
    } else {
        // The icon source has no quick answer for this item (S_FALSE): ask the shell the
        // long way, by the item's path.
        SHFILEINFOW info{};
        const std::wstring path = std::wstring(g_app.pathBuffer, g_app.nameSlot) + name;
        if (SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON)) {
            item.mask |= LVIF_IMAGE;
            item.iImage = info.iIcon;
        }
    }
    ILFree(child);
}

void InsertRow(LVITEMW& item, const RowEntry* entry) {
    item.mask |= LVIF_TEXT | LVIF_PARAM;
    item.iItem = g_app.rowCount;
    item.iSubItem = 0;
    item.pszText = const_cast<wchar_t*>(entry->name.c_str());
    item.lParam = reinterpret_cast<LPARAM>(entry);
    const int row = static_cast<int>(SendMessageW(g_app.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    SetCell(row, 1, FormatSize(entry->size, Unit(), UseCommas()));
    SetCell(row, g_app.dateColumn, FormatDate(entry->time));
    ++g_app.rowCount;
}

void AppendFileLikeRow(RowEntry* entry) {
    LVITEMW item{};
    if (HasShortcutExtension(entry->name)) {
        item.mask |= LVIF_STATE;
        item.state = static_cast<UINT>(g_app.shortcutOverlay);
        item.stateMask = LVIS_OVERLAYMASK;
        entry->kind |= kKindShortcut;
    }
    TakeShellLook(item, entry->name, nullptr);
    InsertRow(item, entry);
}

void AppendFolderLikeRow(RowEntry* entry) {
    LVITEMW item{};
    ULONG attributes = SFGAO_SHARE;
    TakeShellLook(item, entry->name, &attributes);
    if (attributes & SFGAO_SHARE) {
        item.mask |= LVIF_STATE;
        item.state = static_cast<UINT>(g_app.shareOverlay);
        item.stateMask = LVIS_OVERLAYMASK;
    }
    InsertRow(item, entry);
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
        SendMessageW(g_app.main, WM_COMMAND, kCmdDelete, 0);
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
    if (g_app.effect.displayGraph) InsertColumn(3, L"", s.columnWidthBarGraph, LVCFMT_RIGHT);
    InsertColumn(g_app.dateColumn, L"更新日時", s.columnWidthDateTime, LVCFMT_LEFT);
    if (g_app.smallImages) SendMessageW(g_app.list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(g_app.smallImages));
    g_app.previousListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(g_app.list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ResultListProc)));
}

void ApplyBarGraphColumn() {
    const bool shown = g_app.dateColumn == 4;
    if (g_app.effect.displayGraph && !shown) {
        InsertColumn(3, L"", g_app.settings.columnWidthBarGraph, LVCFMT_RIGHT);
        g_app.dateColumn = 4;
    } else if (!g_app.effect.displayGraph && shown) {
        SendMessageW(g_app.list, LVM_DELETECOLUMN, 3, 0);
        g_app.dateColumn = 3;
    }
}

void AppendFileRow(FileEntry* entry) { AppendFileLikeRow(entry); }
void AppendFolderRow(FolderEntry* entry) { AppendFolderLikeRow(entry); }

void AppendSnapshotRow(SnapshotEntry* entry) {
    if (entry->kind & kKindFile) AppendFileLikeRow(entry);
    else AppendFolderLikeRow(entry);
}

RowEntry* RowEntryAt(int row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(g_app.list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<RowEntry*>(item.lParam);
}

void ReleaseDeletedRow(LPARAM entry) {
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
    if (unit <= 3) CheckMenuRadioItem(popup, kCmdUnitByte, kCmdUnitGB, kCmdUnitByte + unit, MF_BYCOMMAND);
    else for (UINT id = kCmdUnitByte; id <= kCmdUnitGB; ++id) CheckMenuItem(popup, id, MF_BYCOMMAND | MF_UNCHECKED);
}

void MarkCommaItem(HMENU menu) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    if (!GetMenuItemInfoW(menu, kCmdComma, FALSE, &info)) return;
    if (g_app.settings.comma) info.fState |= MFS_CHECKED;
    else info.fState &= ~MFS_CHECKED;
    SetMenuItemInfoW(menu, kCmdComma, FALSE, &info);
}

std::wstring CellText(int row, int column) {
    std::wstring text(1024, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const LRESULT length = SendMessageW(g_app.list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace lurmo
