#include "list/result_rows.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <unordered_set>

#include "state/app_state.h"
#include "engine/folder_tree.h"
#include "list/dpi.h"
#include "list/growth.h"
#include "list/number_format.h"
#include "list/row_index.h"
#include "list/sorting.h"
#include "state/window_messages.h"

namespace lurmo {

namespace {

constexpr wchar_t kDateCaption[] = L"更新日時";
std::exception_ptr g_listThreadFailure;

// The grand total every share cell was last written for (0: some may never have been),
// and the records whose rows came or changed size since. A burst of notices retotals once
// per buffer; rewriting all 100,000 share cells each time took the window for most of a
// second a buffer, while most of them read the same, to a tenth of a percent, before and
// after. List thread only.
uint64_t g_sharesTotal = 0;
std::unordered_set<const RowEntry*> g_staleShares;

void MarkShareStale(const RowEntry* entry) {
    if (g_sharesTotal != 0) g_staleShares.insert(entry);
}

void ForgetShareCells() {
    g_sharesTotal = 0;
    g_staleShares.clear();
}

// Whether "%.1f" surely writes the two alike, without writing either: both lie inside one
// rounding step and clear of its edges, where only the written text can tell.
bool SameTenthSurely(float a, float b) {
    const double x = static_cast<double>(a) * 10.0, y = static_cast<double>(b) * 10.0;
    const double step = std::floor(x + 0.5);
    constexpr double kClear = 0.5 - 1e-6;
    return step == std::floor(y + 0.5) && std::fabs(x - step) < kClear && std::fabs(y - step) < kClear;
}

bool ShareCellStale(const RowEntry* entry, uint64_t previous, uint64_t total) {
    if (previous == 0 || (!g_staleShares.empty() && g_staleShares.count(entry))) return true;
    if (previous == total || entry->size == 0) return false;
    // The text is made from this value alone: a small change of the total mostly leaves
    // it in the same tenth, and the texts need not be made to know they are equal.
    const float before = PercentShown(entry->size, previous), now = PercentShown(entry->size, total);
    if (before == now || SameTenthSurely(before, now)) return false;
    return FormatPercent(entry->size, previous) != FormatPercent(entry->size, total);
}

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

// The icon by the item's path, the long way.
void TakeIconByPath(LVITEMW& item, const RowShell& shell, const std::wstring& name) {
    SHFILEINFOW info{};
    const std::wstring path = shell.target + name;
    if (SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON)) {
        item.mask |= LVIF_IMAGE;
        item.iImage = info.iIcon;
    }
}

// A file the icon source had no quick answer for: its type's icon when the type has one
// for all its files, else its own by path.
void TakeFileIcon(LVITEMW& item, const RowShell& shell, const std::wstring& name) {
    if (shell.types) {
        if (const std::optional<int> image = TypeIconOf(*shell.types, name)) {
            item.mask |= LVIF_IMAGE;
            item.iImage = *image;
            return;
        }
    }
    TakeIconByPath(item, shell, name);
}

// Asks the shell folder for the item's icon and, when asked, its attributes. Attributes
// that cannot be had read as none, so no overlay is given on a guess. A file with no
// attributes to ask and no icon source to ask is not parsed at all: its icon comes by
// type or path.
void TakeShellLook(LVITEMW& item, const RowShell& shell, const std::wstring& name, ULONG* attributes, bool file) {
    const ULONG wanted = attributes ? *attributes : 0;
    if (attributes) *attributes = 0;
    if (!shell.folder) return;
    if (file && !attributes && !shell.icon) return TakeFileIcon(item, shell, name);
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
    } else if (file) {
        // The icon source has no quick answer for this item (S_FALSE).
        TakeFileIcon(item, shell, name);
    } else {
        TakeIconByPath(item, shell, name);
    }
    ILFree(child);
}

// Inserts the row at the end, or where the list's order puts it; false when the list did
// not take it, and the record then still belongs to the caller. Every text is made before
// the insertion, so once the row owns its record nothing can fail half way.
bool InsertRow(LVITEMW& item, RowEntry* entry, bool inOrder = false) {
    // A run's rows start from their measured size; a row listed after its run is new.
    if (!g_app.baselineTaken) entry->baseline = entry->size;
    const std::wstring size = FormatSize(entry->size, Unit(), UseCommas());
    const std::wstring date = FormatDate(entry->time);
    const std::wstring change = g_app.baselineTaken ? ChangeCellText(*entry, Unit(), UseCommas()) : std::wstring();
    item.mask |= LVIF_TEXT | LVIF_PARAM;
    // The position is asked after the baseline is set, which the order by change reads.
    item.iItem = inOrder ? IndexedInsertionRow(g_app.list, entry, CurrentRowCompare()) : g_app.rowCount.load();
    item.iSubItem = 0;
    item.pszText = const_cast<wchar_t*>(entry->name.c_str());
    item.lParam = reinterpret_cast<LPARAM>(entry);
    const int row = static_cast<int>(SendMessageW(g_app.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return false;
    MarkShareStale(entry);
    SetCell(row, 1, size);
    SetCell(row, g_app.dateColumn, date);
    if (!change.empty() && g_app.changeColumn >= 0) SetCell(row, g_app.changeColumn, change);
    ++g_app.rowCount;
    return true;
}

// The icon and overlay of a row, asked of the shell on the thread that owns the shell
// objects; the row is inserted later, maybe on another thread.
LVITEMW LookOfFileRow(RowEntry* entry, const RowShell& shell) {
    LVITEMW item{};
    if (MarkShortcut(*entry)) {
        item.mask |= LVIF_STATE;
        item.state = static_cast<UINT>(g_app.shortcutOverlay);
        item.stateMask = LVIS_OVERLAYMASK;
    }
    TakeShellLook(item, shell, entry->name, nullptr, true);
    return item;
}

LVITEMW LookOfFolderRow(RowEntry* entry, const RowShell& shell) {
    LVITEMW item{};
    ULONG attributes = SFGAO_SHARE;
    TakeShellLook(item, shell, entry->name, &attributes, false);
    if (attributes & SFGAO_SHARE) {
        item.mask |= LVIF_STATE;
        item.state = static_cast<UINT>(g_app.shareOverlay);
        item.stateMask = LVIS_OVERLAYMASK;
    }
    return item;
}

LVITEMW LookOfRow(RowEntry* entry, bool folder, const RowShell& shell) {
    return folder ? LookOfFolderRow(entry, shell) : LookOfFileRow(entry, shell);
}

bool AppendFileLikeRow(RowEntry* entry, const RowShell& shell) {
    LVITEMW item = LookOfFileRow(entry, shell);
    return InsertRow(item, entry);
}

bool AppendFolderLikeRow(RowEntry* entry, const RowShell& shell) {
    LVITEMW item = LookOfFolderRow(entry, shell);
    return InsertRow(item, entry);
}

void SetKindBit(uint32_t& kind, uint32_t bit, bool on) {
    if (on) kind |= bit;
    else kind &= ~bit;
}

// A long list inserts or deletes a row in microseconds with redraw off but takes about
// ten milliseconds with it on (Wine redraws the rows that move at once): a burst of
// changes (notices, the program's own deletions) turns it off at its first row and a
// timer turns it back on, with one repaint, once the thread is idle again. A short list
// draws at once as ever.
constexpr LRESULT kHeldListRows = 256;
constexpr UINT_PTR kTimerListRedraw = 0x4C52;   // the list's own timer ids are small numbers

void CALLBACK EndListRedrawHold(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    // A run's paint timer owns the redraw while the run adds rows.
    if (g_app.runPaintHold || !g_app.listRedrawOff || window != g_app.list) return;
    g_app.listRedrawOff = false;
    SendMessageW(window, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void HoldListRedraw(HWND window) {
    g_app.listRedrawOff = true;
    CallWindowProcW(g_app.previousListProc, window, WM_SETREDRAW, FALSE, 0);
    SetTimer(window, kTimerListRedraw, 50, EndListRedrawHold);
}

}  // namespace

void HoldRedrawForManyRows() {
    if (g_app.listRedrawOff || g_app.rowCount < kHeldListRows) return;
    if (g_app.runPaintHold) {
        // The run's paint timer turns it on again, as after the run's insertions.
        g_app.listRedrawOff = true;
        CallWindowProcW(g_app.previousListProc, g_app.list, WM_SETREDRAW, FALSE, 0);
    } else {
        HoldListRedraw(g_app.list);
    }
}

namespace {

// Work sent from another thread: nothing may leave a window procedure, so a failure is
// handed back to the sender's thread as it would have met it there.
void RunHere(const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
        g_listThreadFailure = std::current_exception();
    }
}

// Keeps the row index in step with what the list did: called with the message the list
// has just carried out and its result.
void FollowListChange(UINT message, WPARAM wParam, LPARAM lParam, LRESULT result) {
    switch (message) {
        case LVM_INSERTITEMW: {
            if (result < 0) return;
            const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
            const bool text = (item->mask & LVIF_TEXT) && item->pszText != LPSTR_TEXTCALLBACKW;
            const auto* entry = (item->mask & LVIF_PARAM) ? reinterpret_cast<const RowEntry*>(item->lParam) : nullptr;
            IndexInsertedRow(static_cast<int>(result), entry, text ? item->pszText : nullptr);
            return;
        }
        case LVM_DELETEITEM:
            if (result) IndexDeletedRow(static_cast<int>(wParam));
            return;
        case LVM_DELETEALLITEMS:
            if (!result) return;
            ResetRowIndex();
            ForgetShareCells();
            return;
        case LVM_SETITEMTEXTW: {
            const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
            if (result && item->iSubItem == 0 && item->pszText != LPSTR_TEXTCALLBACKW) {
                IndexRewrittenRow(static_cast<int>(wParam), nullptr, item->pszText ? item->pszText : L"");
            }
            return;
        }
        case LVM_SETITEMW: {
            const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
            if (!result || item->iSubItem != 0) return;
            const bool text = (item->mask & LVIF_TEXT) && item->pszText != LPSTR_TEXTCALLBACKW;
            const auto* entry = (item->mask & LVIF_PARAM) ? reinterpret_cast<const RowEntry*>(item->lParam) : nullptr;
            if (text || entry) IndexRewrittenRow(item->iItem, entry, text ? (item->pszText ? item->pszText : L"") : nullptr);
            return;
        }
        case LVM_SORTITEMS:
        case LVM_SORTITEMSEX:
            IndexReorderedRows();
            return;
        case WM_DESTROY:
            ResetRowIndex();
            ForgetShareCells();
            return;
        default: return;
    }
}

// The list's own procedure: the Delete key, the bar column following its header, redraw
// held back while a run adds rows, and the index of rows by name.
LRESULT CALLBACK ResultListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kMsgList) {
        if (wParam == kRowOfName) return IndexedRowOfName(window, *reinterpret_cast<const std::wstring*>(lParam));
        if (wParam == kRowOfEntry) return IndexedRowOfEntry(window, reinterpret_cast<const RowEntry*>(lParam));
        if (wParam == kRunOnListThread) RunHere(*reinterpret_cast<const std::function<void()>*>(lParam));
        return 0;
    }
    if (message == LVM_INSERTITEMW && g_app.runPaintHold && !g_app.listRedrawOff) {
        // A run is adding rows: the run's paint timer turns redraw on again soon.
        g_app.listRedrawOff = true;
        CallWindowProcW(g_app.previousListProc, window, WM_SETREDRAW, FALSE, 0);
    } else if ((message == LVM_INSERTITEMW || message == LVM_DELETEITEM) && !g_app.listRedrawOff &&
               CallWindowProcW(g_app.previousListProc, window, LVM_GETITEMCOUNT, 0, 0) >= kHeldListRows) {
        HoldListRedraw(window);
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
    if (message == LVM_INSERTITEMW || message == LVM_DELETEITEM || message == LVM_SETITEMTEXTW || message == LVM_SETITEMW) {
        // Changes name their row by number: the index must be in the list's order first.
        FollowPendingSort(window);
    }
    const LRESULT result = CallWindowProcW(g_app.previousListProc, window, message, wParam, lParam);
    FollowListChange(message, wParam, lParam, result);
    return result;
}

// The width a header item needs to show its text whole in the header's font: the header
// keeps three edge widths of margin on each side of the text, and the sorted column's
// arrow, about as wide as the text is high, takes its room beside it.
int HeaderFitWidth(const wchar_t* caption) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(g_app.list, LVM_GETHEADER, 0, 0));
    HWND measured = header ? header : g_app.list;
    HDC dc = GetDC(measured);
    if (!dc) return 0;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(measured, WM_GETFONT, 0, 0));
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    SIZE text{};
    GetTextExtentPoint32W(dc, caption, static_cast<int>(wcslen(caption)), &text);
    if (previous) SelectObject(dc, previous);
    ReleaseDC(measured, dc);
    return text.cx + 3 * Scaled(6) + text.cy + Scaled(2);
}

// A stored width (at 96 DPI) at the window's DPI. A stored width is the user's and is
// kept; a default grows where its header's text would not fit in the font in use.
int ColumnWidthFor(int width, bool stored, const wchar_t* caption) {
    const int scaled = Scaled(width);
    return stored ? scaled : std::max(scaled, HeaderFitWidth(caption));
}

bool Stored(unsigned column) { return (g_app.settings.storedColumnWidths >> column) & 1; }

// The date column's width: as the user left it, or on a first start wide enough for a
// whole date in the list's font (the default suits narrow dialog fonts only).
int DateColumnWidth() {
    const Settings& s = g_app.settings;
    if (s.columnWidthDateTimeStored) return Scaled(s.columnWidthDateTime);
    const int text = static_cast<int>(
        SendMessageW(g_app.list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(L"0000/00/00 00:00:00")));
    // The list leaves a few pixels of margin on each side of a cell's text.
    return std::max(ColumnWidthFor(s.columnWidthDateTime, false, kDateCaption), text + Scaled(16));
}

}  // namespace

void CreateResultColumns() {
    RECT box{};
    if (g_app.driveBox) GetWindowRect(g_app.driveBox, &box);
    RECT client{}, status{};
    GetClientRect(g_app.main, &client);
    if (g_app.status) GetWindowRect(g_app.status, &status);
    g_app.statusHeight = status.bottom - status.top;
    int y = static_cast<int>(box.bottom - box.top) + Scaled(4);
    if (y < Scaled(30)) y = Scaled(30);
    SetWindowPos(g_app.list, nullptr, 0, y, client.right, client.bottom - g_app.statusHeight - y - 70,
                 SWP_NOZORDER);
    if (g_app.userFont && !g_app.settings.useSystemFont) {
        SendMessageW(g_app.list, WM_SETFONT, reinterpret_cast<WPARAM>(g_app.userFont.get()), TRUE);
    }
    const Settings& s = g_app.settings;
    InsertColumn(0, L"名前", ColumnWidthFor(s.columnWidthName, Stored(0), L"名前"), LVCFMT_LEFT);
    InsertColumn(1, SizeCaption(Unit()), ColumnWidthFor(s.columnWidthSize, Stored(1), SizeCaption(Unit())),
                 LVCFMT_RIGHT);
    InsertColumn(2, L"%", ColumnWidthFor(s.columnWidthPercent, Stored(2), L"%"), LVCFMT_RIGHT);
    g_app.dateColumn = g_app.effect.displayGraph ? 4 : 3;
    if (g_app.effect.displayGraph) InsertColumn(3, L"", Scaled(s.columnWidthBarGraph), LVCFMT_LEFT);
    InsertColumn(g_app.dateColumn, kDateCaption, DateColumnWidth(), LVCFMT_LEFT);
    g_app.changeColumn = -1;
    g_app.changeSort = 0;
    ForgetBaselines();
    ApplyChangeColumn();
    if (g_app.smallImages) SendMessageW(g_app.list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(g_app.smallImages));
    g_app.columnsCreated = true;
    g_app.listRedrawOff = false;
    ResetRowIndex();
    g_app.previousListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(g_app.list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ResultListProc)));
}

void RescaleColumns(UINT previousDpi) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(g_app.list, LVM_GETHEADER, 0, 0));
    const int count = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int column = 0; column < count; ++column) {
        const int width = static_cast<int>(SendMessageW(g_app.list, LVM_GETCOLUMNWIDTH, column, 0));
        SendMessageW(g_app.list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(Scaled(UnscaleForDpi(width, previousDpi)), 0));
    }
}

void ApplyBarGraphColumn() {
    const bool shown = g_app.dateColumn == 4;
    if (g_app.effect.displayGraph && !shown) {
        InsertColumn(3, L"", Scaled(g_app.settings.columnWidthBarGraph), LVCFMT_LEFT);
        g_app.dateColumn = 4;
    } else if (!g_app.effect.displayGraph && shown) {
        SendMessageW(g_app.list, LVM_DELETECOLUMN, 3, 0);
        g_app.dateColumn = 3;
    }
    // The change column moved with the date column.
    if (g_app.changeColumn >= 0) g_app.changeColumn = g_app.dateColumn + 1;
    ApplyChangeColumn();
}

namespace {

// The user-interface thread's own icons by type (rows of notices and new folders).
TypeIcons g_mainThreadTypes;

}  // namespace

RowShell MainThreadRowShell() {
    return {g_app.targetFolder.get(), g_app.targetIcon.get(), TargetPath(), &g_mainThreadTypes};
}

void ForgetMainThreadTypeIcons() { g_mainThreadTypes.byExtension.clear(); }

bool AppendFileRow(FileEntry* entry, const RowShell& shell) { return AppendFileLikeRow(entry, shell); }
bool AppendFolderRow(FolderEntry* entry, const RowShell& shell) { return AppendFolderLikeRow(entry, shell); }

bool AppendSnapshotRow(SnapshotEntry* entry, const RowShell& shell) {
    return (entry->kind & kKindFile) ? AppendFileLikeRow(entry, shell) : AppendFolderLikeRow(entry, shell);
}

void RunOnListThread(const std::function<void()>& work) {
    if (!g_app.list || GetWindowThreadProcessId(g_app.list, nullptr) == GetCurrentThreadId()) {
        work();
        return;
    }
    g_listThreadFailure = nullptr;
    SendMessageW(g_app.list, kMsgList, kRunOnListThread, reinterpret_cast<LPARAM>(&work));
    if (std::exception_ptr failure = std::exchange(g_listThreadFailure, nullptr)) std::rethrow_exception(failure);
}

void RowBatch::Add(RowEntry* entry, bool folder, const RowShell& shell) {
    // The record is the batch's from here, so a failure below cannot lose it.
    rows.push_back({entry, LVITEMW{}, false});
    rows.back().look = LookOfRow(entry, folder, shell);
}

namespace {

// The row listed under the fresh record's name takes its figures, its tree included; the
// record is then left to the caller. A new name, or a file where a folder was listed or
// the reverse, becomes a row of its own: true when the list took the record.
bool MeasureRowInPlace(LVITEMW& look, RowEntry* fresh) {
    int row = FindRowByName(fresh->name);
    RowEntry* listed = row >= 0 ? RowEntryAt(row) : nullptr;
    if (listed && (listed->kind & kKindFile) != (fresh->kind & kKindFile)) {
        SendMessageW(g_app.list, LVM_DELETEITEM, row, 0);
        --g_app.rowCount;
        listed = nullptr;
    }
    if (!listed) {
        if (!InsertRow(look, fresh, true)) return false;
        fresh->kind |= kKindMetAgain;
        return true;
    }
    const bool sizeChanged = listed->size != fresh->size;
    const bool timeChanged = CompareFileTime(&listed->time, &fresh->time) != 0;
    if (listed->kind & kKindFile) {
        listed->size = fresh->size;
    } else {
        ++g_app.mapChanges;
        TreeReplaceAll(static_cast<FolderEntry*>(listed), static_cast<FolderEntry*>(fresh));
    }
    listed->kind = fresh->kind | kKindMetAgain;
    listed->time = fresh->time;
    if (sizeChanged) RewriteSizeCell(listed, row);
    if (timeChanged) SetCell(row, g_app.dateColumn, FormatDate(listed->time));
    return false;
}

}  // namespace

// Whether no row carries the mark of a run into the rows in place: every such run that
// reaches its end leaves none, so the next need not visit every row first (a tenth of a
// second of the window's time on 100,000 rows). Only a run whose thread had to be
// terminated leaves marks behind.
namespace {
bool g_noRowMetAgain = true;
}  // namespace

void BeginMeasuringInPlace() {
    if (!g_noRowMetAgain) {
        for (int row = 0; row < g_app.rowCount; ++row) {
            if (RowEntry* entry = RowEntryAt(row)) entry->kind &= ~kKindMetAgain;
        }
    }
    g_noRowMetAgain = false;
}

void EndMeasuringInPlace(bool completed) {
    uint64_t total = 0;
    for (int row = g_app.rowCount - 1; row >= 0; --row) {
        RowEntry* entry = RowEntryAt(row);
        if (!entry) continue;
        if ((entry->kind & kKindMetAgain) || !completed) {
            entry->kind &= ~kKindMetAgain;
            total += entry->size;
            continue;
        }
        SendMessageW(g_app.list, LVM_DELETEITEM, row, 0);
        --g_app.rowCount;
    }
    g_app.grandTotal = total;
    g_noRowMetAgain = true;
}

uint64_t RowBatch::Flush() {
    uint64_t total = 0;
    if (rows.empty()) return total;
    RunOnListThread([this, &total] {
        for (Row& row : rows) {
            // The size is read before the row holds the record: from then on it is the list's.
            const uint64_t size = row.entry->size;
            row.accepted = inPlace ? MeasureRowInPlace(row.look, row.entry) : InsertRow(row.look, row.entry, true);
            if (row.accepted) total += size;
        }
    });
    for (Row& row : rows) {
        if (!row.accepted) ReleaseRowEntry(row.entry, snapshot);
    }
    rows.clear();
    return total;
}

RowBatch::~RowBatch() {
    for (Row& row : rows) {
        if (!row.accepted) ReleaseRowEntry(row.entry, snapshot);
    }
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

namespace {

void WriteSizeCells(const RowEntry* entry, int row) {
    SetCell(row, 1, FormatSize(entry->size, Unit(), UseCommas()));
    RewriteChangeCell(entry, row);
}

}  // namespace

void RewriteSizeCell(const RowEntry* entry, int row) {
    MarkShareStale(entry);
    WriteSizeCells(entry, row);
}

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

// Another unit or grouping: the sizes themselves, and so the shares, stay as they are.
void RewriteSizeColumn() {
    HoldRedrawForManyRows();
    for (int row = 0; row < g_app.rowCount; ++row) {
        if (const RowEntry* entry = RowEntryAt(row)) WriteSizeCells(entry, row);
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

// Called from a run's worker, each slice of rows is one message to the list's thread, so
// the window answers between slices: 100,000 rows in one go held it for most of a second.
// Only the cells whose text changes are written.
void RefreshPercentages() {
    if (g_app.grandTotal == 0) return;
    constexpr int kSlice = 4096;
    const uint64_t total = g_app.grandTotal;
    uint64_t previous = 0;
    RunOnListThread([&previous] { previous = g_sharesTotal; });
    for (int first = 0; first < g_app.rowCount; first += kSlice) {
        RunOnListThread([first, total, previous] {
            // Again in each slice: between slices the hold may have ended.
            HoldRedrawForManyRows();
            const int end = std::min<int>(g_app.rowCount, first + kSlice);
            for (int row = first; row < end; ++row) {
                const RowEntry* entry = RowEntryAt(row);
                if (!entry || !ShareCellStale(entry, previous, total)) continue;
                SetCell(row, 2, FormatPercent(entry->size, total));
                g_staleShares.erase(entry);
            }
        });
    }
    RunOnListThread([total] {
        g_sharesTotal = total;
        // Records of rows removed meanwhile are never met again; past a list's worth of
        // them every cell is written next time instead.
        if (g_staleShares.size() > static_cast<size_t>(g_app.rowCount.load())) ForgetShareCells();
    });
    if (g_app.effect.displayGraph && g_app.rowCount > 0) {
        SendMessageW(g_app.list, LVM_REDRAWITEMS, 0, g_app.rowCount - 1);
    }
}

void SetStatusBarParts() {
    RECT client{};
    GetClientRect(g_app.main, &client);
    int edges[2] = {Scaled(150), static_cast<int>(client.right)};
    SendMessageW(g_app.status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
}

void RefreshStatusBar() {
    SetStatusBarParts();
    const std::wstring count = L" " + FormatCount(g_app.rowCount) + L" 個";
    std::wstring total =
        L"合計：" + FormatSize(g_app.grandTotal, Unit(), UseCommas()) + SizeSuffix(Unit()) + NetChangeSuffix();
    if (g_app.listingIncomplete.load()) total += L" (中止)";
    if (const int unreadable = g_app.unreadableFolders.load(); unreadable > 0) {
        total += L" (読み取りできないフォルダ " + FormatCount(unreadable) + L" 個)";
    }
    SendMessageW(g_app.status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(count.c_str()));
    SendMessageW(g_app.status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(total.c_str()));
}

int FindRowByName(const std::wstring& name) {
    if (!g_app.list || !g_app.previousListProc) return -1;
    return static_cast<int>(SendMessageW(g_app.list, kMsgList, kRowOfName, reinterpret_cast<LPARAM>(&name)));
}

int FindRowOfEntry(const RowEntry* entry) {
    if (!entry || !g_app.list || !g_app.previousListProc) return -1;
    return static_cast<int>(SendMessageW(g_app.list, kMsgList, kRowOfEntry, reinterpret_cast<LPARAM>(entry)));
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
