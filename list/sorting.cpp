#include "list/sorting.h"

#include <commctrl.h>

#include <cwchar>

#include "state/app_state.h"
#include "engine/entries.h"
#include "engine/row_order.h"
#include "list/growth.h"
#include "list/row_index.h"

namespace lurmo {

namespace {

const RowEntry* Entry(LPARAM data) { return reinterpret_cast<const RowEntry*>(data); }

enum SortKey { kKeyName = 0, kKeySize = 1, kKeyTime = 2 };

PFNLVCOMPARE CompareFor(DWORD state) {
    static const PFNLVCOMPARE compares[] = {CompareNameAscending, CompareNameDescending, CompareSizeAscending,
                                            CompareSizeDescending, CompareTimeAscending, CompareTimeDescending};
    return state <= 5 ? compares[state] : nullptr;
}

HWND Header() { return reinterpret_cast<HWND>(SendMessageW(g_app.list, LVM_GETHEADER, 0, 0)); }

void SetArrow(int column, bool descending, bool on) {
    HWND header = Header();
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    if (!SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item))) return;
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (on) item.fmt |= descending ? HDF_SORTDOWN : HDF_SORTUP;
    SendMessageW(header, HDM_SETITEMW, column, reinterpret_cast<LPARAM>(&item));
}

void ClearArrowsOf(DWORD state) {
    if (state <= 1) {
        SetArrow(0, false, false);
    } else if (state <= 3) {
        SetArrow(1, false, false);
        SetArrow(2, false, false);
        if (g_app.dateColumn == 4) SetArrow(3, false, false);
    } else if (state <= 5) {
        SetArrow(g_app.dateColumn, false, false);
    }
}

// Ends an order by change, taking its arrow away; true when there was one. The order it
// leaves counts as none of the six, so the next click on a column sorts it ascending.
bool LeaveChangeSort() {
    if (!g_app.changeSort) return false;
    g_app.changeSort = 0;
    if (g_app.changeColumn >= 0) SetArrow(g_app.changeColumn, false, false);
    return true;
}

constexpr DWORD kNoSortState = 6;

int CompareChanges(LPARAM a, LPARAM b) {
    const int64_t first = RowChange(*Entry(a)), second = RowChange(*Entry(b));
    return first < second ? -1 : (first > second ? 1 : 0);
}

// Rows already in order are left as they stand: a run inserts its rows in order as they
// come, and one sort of 100,000 rows at its end held the window most of a second. Rows
// that tie then keep the order they came in, as the console report's stable sort leaves
// them.
void SortRows(PFNLVCOMPARE compare) {
    if (compare && !IndexedRowsInOrder(g_app.list, compare)) {
        SendMessageW(g_app.list, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(compare));
    }
}

}  // namespace

int CALLBACK CompareNameAscending(LPARAM a, LPARAM b, LPARAM) {
    return CompareRows(kSortNameAscending, Entry(a), Entry(b));
}

int CALLBACK CompareNameDescending(LPARAM a, LPARAM b, LPARAM) {
    return CompareRows(kSortNameDescending, Entry(a), Entry(b));
}

int CALLBACK CompareSizeAscending(LPARAM a, LPARAM b, LPARAM) {
    return CompareRows(kSortSizeAscending, Entry(a), Entry(b));
}

int CALLBACK CompareSizeDescending(LPARAM a, LPARAM b, LPARAM) {
    return CompareRows(kSortSizeDescending, Entry(a), Entry(b));
}

int CALLBACK CompareTimeAscending(LPARAM a, LPARAM b, LPARAM) {
    return CompareRows(kSortTimeAscending, Entry(a), Entry(b));
}

int CALLBACK CompareTimeDescending(LPARAM a, LPARAM b, LPARAM) {
    return CompareRows(kSortTimeDescending, Entry(a), Entry(b));
}

int CALLBACK CompareChangeAscending(LPARAM a, LPARAM b, LPARAM) { return CompareChanges(a, b); }

int CALLBACK CompareChangeDescending(LPARAM a, LPARAM b, LPARAM) { return CompareChanges(b, a); }

void SortByChange() {
    if (g_app.changeColumn < 0) return;
    // The first click shows the largest growth first; each further click turns it over.
    const int state = g_app.changeSort == 1 ? 2 : 1;
    if (!g_app.changeSort) ClearArrowsOf(g_app.settings.sort);
    g_app.changeSort = state;
    SortRows(state == 1 ? CompareChangeDescending : CompareChangeAscending);
    SetArrow(g_app.changeColumn, state == 1, true);
}

void SortByColumn(int column) {
    SortKey key;
    switch (column) {
        case 0: key = kKeyName; break;
        case 1:
        case 2: key = kKeySize; break;
        case 3: key = g_app.dateColumn == 4 ? kKeySize : kKeyTime; break;
        case 4: key = kKeyTime; break;
        default: return;
    }
    const DWORD previous = LeaveChangeSort() ? kNoSortState : g_app.settings.sort;
    const DWORD ascending = static_cast<DWORD>(key) * 2;
    const DWORD state = previous == ascending ? ascending + 1 : ascending;
    ClearArrowsOf(previous);
    g_app.settings.sort = state;
    SortRows(CompareFor(state));
    const int arrowColumn = key == kKeyTime ? g_app.dateColumn : column;
    SetArrow(arrowColumn, state % 2 == 1, true);
}

void ApplyStoredSort() {
    LeaveChangeSort();
    const DWORD state = g_app.settings.sort;
    if (state > 5) return;
    SortRows(CompareFor(state));
    const int column = state <= 1 ? 0 : (state <= 3 ? 1 : g_app.dateColumn);
    SetArrow(column, state % 2 == 1, true);
}

void MarkSortMenu(HMENU popup) {
    const DWORD state = g_app.changeSort ? kNoSortState : g_app.settings.sort;
    if (state <= 5) {
        CheckMenuRadioItem(popup, IDM_SORT_BY_NAME, IDM_SORT_BY_TIME, IDM_SORT_BY_NAME + state / 2, MF_BYCOMMAND);
    } else {
        for (UINT id = IDM_SORT_BY_NAME; id <= IDM_SORT_BY_TIME; ++id) CheckMenuItem(popup, id, MF_BYCOMMAND | MF_UNCHECKED);
    }
}

PFNLVCOMPARE CurrentRowCompare() {
    if (g_app.changeSort) return g_app.changeSort == 1 ? CompareChangeDescending : CompareChangeAscending;
    return CompareFor(g_app.settings.sort);
}

}  // namespace lurmo
