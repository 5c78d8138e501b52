#include "list/row_index.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

namespace lurmo {

namespace {

struct Slot {
    const RowEntry* entry = nullptr;
    std::wstring key;   // the name folded, as the list compares names without regard to case
    int row = -1;       // right for every slot below g_numberedBelow
};

// The rows in the list's order, their names and their records. A deletion or a middle
// insertion only moves pointers; the row numbers behind it are renumbered when next
// asked for, and only as far as the row asked for. The array holds plain pointers so
// that a middle insertion moves them as one block of memory: owning pointers, moved one
// by one, made a run whose rows each go near the top (a list sorted Z to A) take
// seconds longer on 100,000 rows. The slots are owned here.
struct SlotOrder {
    std::vector<Slot*> slots;
    SlotOrder() = default;
    SlotOrder(const SlotOrder&) = delete;
    SlotOrder& operator=(const SlotOrder&) = delete;
    ~SlotOrder() { Clear(); }
    void Clear() {
        for (Slot* slot : slots) delete slot;
        slots.clear();
    }
    size_t size() const { return slots.size(); }
    Slot* operator[](size_t row) const { return slots[row]; }
};
SlotOrder g_order;
std::unordered_multimap<std::wstring, Slot*> g_byName;
std::unordered_map<const RowEntry*, Slot*> g_byEntry;
size_t g_numberedBelow = 0;
bool g_sorted = false;   // the list was sorted and g_order is not yet in its new order

std::wstring FoldName(const wchar_t* name) {
    std::wstring key = name ? name : L"";
    if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

void Forget(Slot* slot) {
    auto [first, last] = g_byName.equal_range(slot->key);
    for (auto it = first; it != last; ++it) {
        if (it->second == slot) {
            g_byName.erase(it);
            break;
        }
    }
    if (slot->entry) {
        auto it = g_byEntry.find(slot->entry);
        if (it != g_byEntry.end() && it->second == slot) g_byEntry.erase(it);
    }
}

void Remember(Slot* slot) {
    g_byName.emplace(slot->key, slot);
    if (slot->entry) g_byEntry[slot->entry] = slot;
}

LPARAM ParamOf(HWND list, int row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    return SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? item.lParam : 0;
}

std::wstring TextOf(HWND list, int row) {
    wchar_t text[1024];
    LVITEMW item{};
    item.pszText = text;
    item.cchTextMax = static_cast<int>(std::size(text));
    const LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0);
}

// Reads every row afresh: names and records as the list holds them.
void RebuildFromList(HWND list) {
    ResetRowIndex();
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        IndexInsertedRow(row, reinterpret_cast<const RowEntry*>(ParamOf(list, row)), TextOf(list, row).c_str());
    }
}

// Puts the slots in the order the sort left the rows in, by each row's record; a row
// whose record is unknown (or shared) makes the whole index be read again.
void FollowSort(HWND list) {
    g_sorted = false;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (count != static_cast<int>(g_order.size())) return RebuildFromList(list);
    std::vector<Slot*> sorted(g_order.size());
    for (int row = 0; row < count; ++row) {
        const auto* entry = reinterpret_cast<const RowEntry*>(ParamOf(list, row));
        auto it = entry ? g_byEntry.find(entry) : g_byEntry.end();
        if (it == g_byEntry.end()) return RebuildFromList(list);
        sorted[row] = it->second;
    }
    for (int row = 0; row < count; ++row) {
        g_order.slots[row] = sorted[row];
        g_order.slots[row]->row = row;
    }
    g_numberedBelow = g_order.size();
}

// Numbers the rows from the first stale one up to the slot asked for, not to the end:
// removals worked down the list (a selection deleted, a burst of notices) then cost the
// gap between two of them each, not the rest of the list each.
void RenumberThrough(const Slot* slot) {
    while (g_numberedBelow < g_order.size()) {
        Slot* next = g_order[g_numberedBelow];
        next->row = static_cast<int>(g_numberedBelow++);
        if (next == slot) return;
    }
}

}  // namespace

void ResetRowIndex() {
    g_order.Clear();
    g_byName.clear();
    g_byEntry.clear();
    g_numberedBelow = 0;
    g_sorted = false;
}

void IndexInsertedRow(int row, const RowEntry* entry, const wchar_t* name) {
    if (row < 0 || static_cast<size_t>(row) > g_order.size()) return;
    auto slot = std::make_unique<Slot>();
    slot->entry = entry;
    slot->key = FoldName(name);
    slot->row = row;
    g_order.slots.insert(g_order.slots.begin() + row, slot.get());
    Remember(slot.release());
    // An appended row keeps the numbering whole; anywhere else the rows behind it move.
    if (static_cast<size_t>(row) == g_numberedBelow && static_cast<size_t>(row) + 1 == g_order.size()) {
        ++g_numberedBelow;
    } else {
        g_numberedBelow = std::min(g_numberedBelow, static_cast<size_t>(row));
    }
}

void IndexDeletedRow(int row) {
    if (row < 0 || static_cast<size_t>(row) >= g_order.size()) return;
    Slot* slot = g_order[row];
    Forget(slot);
    g_order.slots.erase(g_order.slots.begin() + row);
    delete slot;
    g_numberedBelow = std::min(g_numberedBelow, static_cast<size_t>(row));
}

void IndexRewrittenRow(int row, const RowEntry* entry, const wchar_t* name) {
    if (row < 0 || static_cast<size_t>(row) >= g_order.size()) return;
    Slot* slot = g_order[row];
    Forget(slot);
    if (entry) slot->entry = entry;
    if (name) slot->key = FoldName(name);
    Remember(slot);
}

void IndexReorderedRows() { g_sorted = true; }

void FollowPendingSort(HWND list) {
    if (g_sorted) FollowSort(list);
}

namespace {

// Whether a slot's row number can be trusted as it stands.
bool Numbered(const Slot* slot) {
    const size_t row = static_cast<size_t>(slot->row);
    return row < g_numberedBelow && g_order[row] == slot;
}

}  // namespace

int IndexedRowOfName(HWND list, const std::wstring& name) {
    const std::wstring key = FoldName(name.c_str());
    if (g_byName.find(key) == g_byName.end()) return -1;
    if (g_sorted) FollowSort(list);
    auto [first, last] = g_byName.equal_range(key);
    for (auto it = first; it != last; ++it) {
        if (!Numbered(it->second)) RenumberThrough(it->second);
    }
    // Two names that differ only in case can both exist on some file systems: the first
    // row wins, as in the list's own search.
    int row = -1;
    for (auto it = first; it != last; ++it) {
        if (row < 0 || it->second->row < row) row = it->second->row;
    }
    return row;
}

int IndexedRowOfEntry(HWND list, const RowEntry* entry) {
    if (!entry) return -1;
    if (g_sorted) FollowSort(list);
    auto it = g_byEntry.find(entry);
    if (it == g_byEntry.end()) return -1;
    if (!Numbered(it->second)) RenumberThrough(it->second);
    return it->second->row;
}

namespace {

// True when the index holds a record for every row of the list, in the list's order.
bool KnowsEveryRow(HWND list) {
    if (g_sorted) FollowSort(list);
    return static_cast<size_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) == g_order.size();
}

LPARAM Param(const RowEntry* entry) { return reinterpret_cast<LPARAM>(entry); }

}  // namespace

int IndexedInsertionRow(HWND list, const RowEntry* entry, PFNLVCOMPARE compare) {
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (!compare || !entry || !KnowsEveryRow(list)) return count;
    // The first row that goes after the new one: rows it ties with stay before it.
    size_t low = 0, high = g_order.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        const RowEntry* standing = g_order[middle]->entry;
        if (!standing) return count;
        if (compare(Param(entry), Param(standing), 0) < 0) high = middle;
        else low = middle + 1;
    }
    return static_cast<int>(low);
}

bool IndexedRowsInOrder(HWND list, PFNLVCOMPARE compare) {
    if (!compare || !KnowsEveryRow(list)) return false;
    for (size_t row = 0; row < g_order.size(); ++row) {
        if (!g_order[row]->entry) return false;
        if (row > 0 && compare(Param(g_order[row - 1]->entry), Param(g_order[row]->entry), 0) > 0) return false;
    }
    return true;
}

}  // namespace lurmo
