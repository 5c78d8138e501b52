#include "list/growth.h"

#include <commctrl.h>

#include <algorithm>
#include <unordered_map>

#include "state/app_state.h"
#include "list/number_format.h"
#include "list/result_rows.h"
#include "list/sorting.h"

namespace lurmo {

namespace {

int Unit() { return static_cast<int>(g_app.settings.unit); }
bool UseCommas() { return g_app.settings.comma != 0; }

void SetChangeCell(int row, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = g_app.changeColumn;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(g_app.list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

// Wide enough for a change of a few terabytes in the list's font.
int ChangeColumnWidth() {
    const int text = static_cast<int>(
        SendMessageW(g_app.list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(L"新規 +0,000,000,000,000")));
    return std::max(100, text + 16);
}

// The View menu's item after which the change items stand: the comma item.
int ItemPosition(HMENU menu, UINT id) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (GetMenuItemID(menu, i) == id) return i;
    }
    return -1;
}

// The baselines of a listing that the watch has asked to measure afresh (on Wine, after a
// row's folder was renamed): the same target measured again is no new start, so its rows
// keep their baselines by name and the total keeps the bytes of rows gone since. Written
// by the user-interface thread before the worker starts, read and cleared by that worker.
struct CarriedBaselines {
    bool held = false;
    unsigned run = 0;
    uint64_t total = 0;
    std::unordered_map<std::wstring, uint64_t> byName;
};
CarriedBaselines g_carried;

void TakeCarriedBaselines() {
    for (int row = 0; row < g_app.rowCount; ++row) {
        RowEntry* entry = RowEntryAt(row);
        if (!entry) continue;
        const auto found = g_carried.byName.find(entry->name);
        entry->baseline = found == g_carried.byName.end() ? kNewRow : found->second;
    }
    g_app.baselineTotal = g_carried.total;
    g_carried = CarriedBaselines{};
}

}  // namespace

int64_t RowChange(const RowEntry& entry) {
    if (entry.baseline == kNewRow) return static_cast<int64_t>(entry.size);
    // Unsigned subtraction wraps to the two's complement of a shrinkage: no 64-bit size
    // is narrowed or overflows on the way.
    return static_cast<int64_t>(entry.size - entry.baseline);
}

std::wstring FormatChange(int64_t change, int unit, bool comma) {
    if (change == 0) return {};
    const uint64_t magnitude = change < 0 ? 0ull - static_cast<uint64_t>(change) : static_cast<uint64_t>(change);
    return (change < 0 ? L"-" : L"+") + FormatSize(magnitude, unit, comma);
}

std::wstring ChangeCellText(const RowEntry& entry, int unit, bool comma) {
    if (entry.baseline == kNewRow) return L"新規 +" + FormatSize(entry.size, unit, comma);
    return FormatChange(RowChange(entry), unit, comma);
}

std::optional<COLORREF> ChangeColor(const RowEntry& entry) {
    if (entry.baseline == kNewRow) return kGrowthColor;
    const int64_t change = RowChange(entry);
    if (change == 0) return std::nullopt;
    return change > 0 ? kGrowthColor : kShrinkColor;
}

void ApplyChangeColumn() {
    const bool wanted = !g_app.effect.snapShot && g_app.settings.displayChange;
    if (wanted && g_app.changeColumn < 0) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_RIGHT;
        column.cx = ChangeColumnWidth();
        column.pszText = const_cast<wchar_t*>(L"増減");
        const int index = g_app.dateColumn + 1;
        if (SendMessageW(g_app.list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) < 0) return;
        g_app.changeColumn = index;
        RewriteChangeColumn();
    } else if (!wanted && g_app.changeColumn >= 0) {
        // Its arrow goes with it; the rows keep the order they have.
        g_app.changeSort = 0;
        SendMessageW(g_app.list, LVM_DELETECOLUMN, g_app.changeColumn, 0);
        g_app.changeColumn = -1;
    }
}

void ToggleChangeColumn() {
    g_app.settings.displayChange = !g_app.settings.displayChange;
    ApplyChangeColumn();
    // While a run is under way the status bar shows the busy text; the run's end writes it.
    if (!g_app.busy.load()) RefreshStatusBar();
}

void RewriteChangeCell(const RowEntry* entry, int row) {
    if (g_app.changeColumn < 0 || !g_app.baselineTaken) return;
    SetChangeCell(row, ChangeCellText(*entry, Unit(), UseCommas()));
}

void RewriteChangeColumn() {
    if (g_app.changeColumn < 0) return;
    HoldRedrawForManyRows();
    for (int row = 0; row < g_app.rowCount; ++row) {
        if (const RowEntry* entry = RowEntryAt(row)) RewriteChangeCell(entry, row);
    }
}

void ForgetBaselines() {
    g_app.baselineTaken = false;
    g_app.baselineTotal = 0;
}

void TakeRunBaseline(unsigned run) {
    const bool carried = g_carried.held && g_carried.run == run;
    if (carried) TakeCarriedBaselines();
    else g_app.baselineTotal = g_app.grandTotal.load();
    g_app.baselineTaken = true;
    if (carried) RewriteChangeColumn();
}

void CarryBaselinesIntoNextRun() {
    g_carried = CarriedBaselines{};
    if (!g_app.baselineTaken) return;
    for (int row = 0; row < g_app.rowCount; ++row) {
        if (const RowEntry* entry = RowEntryAt(row)) g_carried.byName.emplace(entry->name, entry->baseline);
    }
    g_carried.total = g_app.baselineTotal.load();
    g_carried.run = g_app.runNumber + 1;
    g_carried.held = true;
}

void DropUnclaimedBaselines() {
    // A run that did not start took no number; its carried baselines must not reach the
    // next run, which would take that number.
    if (g_carried.held && g_carried.run != g_app.runNumber) g_carried = CarriedBaselines{};
}

void ResetBaselinesToNow() {
    if (g_app.busy.load()) return;
    for (int row = 0; row < g_app.rowCount; ++row) {
        if (RowEntry* entry = RowEntryAt(row)) entry->baseline = entry->size;
    }
    g_app.baselineTotal = g_app.grandTotal.load();
    g_app.baselineTaken = true;
    RewriteChangeColumn();
    RefreshStatusBar();
}

std::wstring NetChangeSuffix() {
    if (!g_app.baselineTaken || g_app.changeColumn < 0) return {};
    const uint64_t now = g_app.grandTotal.load(), then = g_app.baselineTotal.load();
    const std::wstring change = FormatChange(static_cast<int64_t>(now - then), Unit(), UseCommas());
    return change.empty() ? change : L" (" + change + L")";
}

void SyncChangeMenu(HMENU view) {
    const bool fileMode = !g_app.effect.snapShot;
    const bool present = ItemPosition(view, IDM_SHOW_CHANGE) >= 0;
    if (fileMode && !present) {
        const int after = ItemPosition(view, IDM_COMMA);
        const UINT at = static_cast<UINT>(after < 0 ? GetMenuItemCount(view) : after + 1);
        InsertMenuW(view, at, MF_BYPOSITION | MF_STRING, IDM_SHOW_CHANGE, L"増減を表示(&G)");
        InsertMenuW(view, at + 1, MF_BYPOSITION | MF_STRING, IDM_RESET_BASELINE, L"基準を今に(&R)");
    } else if (!fileMode && present) {
        DeleteMenu(view, IDM_SHOW_CHANGE, MF_BYCOMMAND);
        DeleteMenu(view, IDM_RESET_BASELINE, MF_BYCOMMAND);
    }
    if (!fileMode) return;
    CheckMenuItem(view, IDM_SHOW_CHANGE, MF_BYCOMMAND | (g_app.settings.displayChange ? MF_CHECKED : MF_UNCHECKED));
    EnableMenuItem(view, IDM_RESET_BASELINE,
                   MF_BYCOMMAND | (g_app.busy.load() ? (MF_GRAYED | MF_DISABLED) : MF_ENABLED));
}

}  // namespace lurmo
