// Which row holds which name and which record, kept beside the result list so that a row
// is found by a hash lookup rather than by a look at every row (a list view's own search
// reads each row in turn: 2,000 notices in a folder of 100,000 rows took half a minute).
// The list's own procedure keeps it: every insertion, deletion, change of text and sort
// passes through that procedure, whoever made it. User-interface thread only.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "engine/entries.h"

namespace lurmo {

void ResetRowIndex();
void IndexInsertedRow(int row, const RowEntry* entry, const wchar_t* name);
void IndexDeletedRow(int row);
// A row's name or record replaced in place (null leaves that part as it was).
void IndexRewrittenRow(int row, const RowEntry* entry, const wchar_t* name);
// After a sort the order is read back from the list, once, when a row is next asked for
// or before the next change by row number is carried out (FollowPendingSort).
void IndexReorderedRows();
void FollowPendingSort(HWND list);

// The first row whose name equals name without regard to case, or -1. The list is read
// only after a sort.
int IndexedRowOfName(HWND list, const std::wstring& name);
int IndexedRowOfEntry(HWND list, const RowEntry* entry);

// Where a new row goes so that the rows stay in compare's order: after the rows it ties
// with, as a stable sort of the rows in the order they came would put it. Found by
// halving the rows in the index, so a run can keep its rows in order as they come and
// need no sort of them all at its end. The end of the list when the index does not know
// every row's record.
int IndexedInsertionRow(HWND list, const RowEntry* entry, PFNLVCOMPARE compare);
// Whether every row already stands in compare's order (false when the index does not
// know every row's record).
bool IndexedRowsInOrder(HWND list, PFNLVCOMPARE compare);

}  // namespace lurmo
