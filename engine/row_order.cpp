#include "engine/row_order.h"

#include <cwchar>

namespace lurmo {

namespace {

bool IsFile(const RowEntry* entry) { return (entry->kind & kKindFile) != 0; }

// Folders before files, each group by name without regard to case.
int CompareNames(const RowEntry* a, const RowEntry* b) {
    if (IsFile(a) != IsFile(b)) return IsFile(a) ? 1 : -1;
    return _wcsicmp(a->name.c_str(), b->name.c_str());
}

int CompareSizes(const RowEntry* a, const RowEntry* b) { return a->size < b->size ? -1 : (a->size > b->size ? 1 : 0); }

}  // namespace

int CompareRows(DWORD sortState, const RowEntry* a, const RowEntry* b) {
    // Each descending order is its ascending order with the operands swapped, so it is
    // the exact reverse, folders and files included.
    switch (sortState) {
        case kSortNameAscending: return CompareNames(a, b);
        case kSortNameDescending: return CompareNames(b, a);
        case kSortSizeAscending: return CompareSizes(a, b);
        case kSortSizeDescending: return CompareSizes(b, a);
        case kSortTimeAscending: return CompareFileTime(&a->time, &b->time);
        case kSortTimeDescending: return CompareFileTime(&b->time, &a->time);
        default: return 0;
    }
}

}  // namespace lurmo
