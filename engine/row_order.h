// The six orders of the result rows, one per sort state, on the row records themselves:
// the list sorts its rows with them and the console report sorts its records with them,
// so both put the same rows in the same order.
#pragma once

#include <windows.h>

#include "engine/entries.h"

namespace lurmo {

// The sort states: the key times two, plus one for descending. Any other state leaves
// rows as they came.
constexpr DWORD kSortNameAscending = 0;
constexpr DWORD kSortNameDescending = 1;
constexpr DWORD kSortSizeAscending = 2;
constexpr DWORD kSortSizeDescending = 3;
constexpr DWORD kSortTimeAscending = 4;
constexpr DWORD kSortTimeDescending = 5;

// Negative when a goes before b in the state's order, positive when after, zero when
// their keys are equal (there is no second key); zero for a state outside 0-5.
int CompareRows(DWORD sortState, const RowEntry* a, const RowEntry* b);

}  // namespace lurmo
