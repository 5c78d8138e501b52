// The order of the result list: one of six states kept in the Sort setting, applied by
// header clicks, the sort commands and the end of every accumulation.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace lurmo {

// The six compare operations in the list view's LVM_SORTITEMS form.
int CALLBACK CompareNameAscending(LPARAM a, LPARAM b, LPARAM);
int CALLBACK CompareNameDescending(LPARAM a, LPARAM b, LPARAM);
int CALLBACK CompareSizeAscending(LPARAM a, LPARAM b, LPARAM);
int CALLBACK CompareSizeDescending(LPARAM a, LPARAM b, LPARAM);
int CALLBACK CompareTimeAscending(LPARAM a, LPARAM b, LPARAM);
int CALLBACK CompareTimeDescending(LPARAM a, LPARAM b, LPARAM);

// The order by signed change of the change column.
int CALLBACK CompareChangeAscending(LPARAM a, LPARAM b, LPARAM);
int CALLBACK CompareChangeDescending(LPARAM a, LPARAM b, LPARAM);
// A click on the change column's header: largest growth first, then the reverse.
void SortByChange();

// A user's sort request for a column (0-4).
void SortByColumn(int column);
void ApplyStoredSort();
void MarkSortMenu(HMENU popup);

// The order the list is in now (by change, or the stored one of the six), which rows a
// run adds keep; null when the rows stand as they came.
PFNLVCOMPARE CurrentRowCompare();

}  // namespace lurmo
