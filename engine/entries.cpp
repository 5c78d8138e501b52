#include "engine/entries.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <cwctype>
#include <new>

namespace lurmo {

namespace {

size_t NameOffset(bool folder) { return folder ? sizeof(FolderNode) : sizeof(FileNode); }

size_t NodeBytes(bool folder, size_t nameLength, bool narrow) {
    return NameOffset(folder) + nameLength * (narrow ? 1 : sizeof(wchar_t));
}

size_t NodeBytes(const Node* node) { return NodeBytes(!(node->kind & kKindFile), node->nameLength, node->narrowName); }

char* NameBytes(Node* node) { return reinterpret_cast<char*>(node) + NameOffset(!(node->kind & kKindFile)); }

const unsigned char* NarrowUnits(const Node* node) {
    return reinterpret_cast<const unsigned char*>(NameBytes(const_cast<Node*>(node)));
}

const wchar_t* WideUnits(const Node* node) { return reinterpret_cast<const wchar_t*>(NameBytes(const_cast<Node*>(node))); }

// The longest name a node keeps; real component names stop at 255 units.
constexpr size_t kNodeNameLimit = 0x7FFF;

bool FitsNarrow(std::wstring_view name) {
    if (name.size() > kNarrowNameLimit) return false;
    for (const wchar_t unit : name) {
        if (static_cast<uint16_t>(unit) > 0xFF) return false;
    }
    return true;
}

void StoreName(Node* node, std::wstring_view name, bool narrow) {
    node->nameLength = static_cast<uint16_t>(name.size());
    node->narrowName = narrow ? 1 : 0;
    char* to = NameBytes(node);
    if (!narrow) {
        std::memcpy(to, name.data(), name.size() * sizeof(wchar_t));
        return;
    }
    for (size_t i = 0; i < name.size(); ++i) to[i] = static_cast<char>(static_cast<unsigned char>(name[i]));
}

// Unsigned UTF-16 order over units of either width; shorter prefix first.
template <typename A, typename B>
int CompareUnits(const A* a, size_t aLength, const B* b, size_t bLength) {
    const size_t common = std::min(aLength, bLength);
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<uint16_t>(a[i]);
        const auto y = static_cast<uint16_t>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (aLength == bLength) return 0;
    return aLength < bLength ? -1 : 1;
}

// Calls use(units) with the node's name units at their stored width.
template <typename Use>
int WithNameUnits(const Node* node, Use use) {
    return node->narrowName ? use(NarrowUnits(node)) : use(WideUnits(node));
}

size_t BlockBytes(uint32_t capacity) { return offsetof(ChildBlock, items) + capacity * sizeof(Node*); }

ChildBlock* NewBlock(NodeArena& arena, uint32_t capacity) {
    auto* block = static_cast<ChildBlock*>(ArenaAllocate(arena, BlockBytes(capacity)));
    block->count = 0;
    block->capacity = capacity;
    return block;
}

void ReleaseBlock(NodeArena& arena, ChildBlock* block) { ArenaRelease(arena, block, BlockBytes(block->capacity)); }

// The list of blocks is kept packed like the nodes: it may start on a 4-byte boundary.
#pragma pack(push, 4)
struct BlockSlot {
    ChildBlock* block;
};
#pragma pack(pop)

ChildBlock* BlockAt(const ChildMap& map, uint32_t b) {
    return map.blockCount == 1 ? static_cast<ChildBlock*>(map.store) : static_cast<BlockSlot*>(map.store)[b].block;
}

// Slots the list of blocks has room for. A short list is exact; a long one grows in
// powers of two, so that splitting a block in a folder of a million items usually moves
// part of the list in place instead of allocating and copying all of it. The room costs
// at most one pointer per 120 children.
uint32_t SlotCapacity(uint32_t blocks) {
    if (blocks <= 8) return blocks;
    uint32_t capacity = 16;
    while (capacity < blocks) capacity *= 2;
    return capacity;
}

size_t SlotBytes(uint32_t blocks) { return SlotCapacity(blocks) * sizeof(BlockSlot); }

// Inserts `block` into the list of blocks at b (or, when block is null, takes the block
// at b out). Only the list moves, a pointer per block.
void ReshapeBlockList(ChildMap& map, NodeArena& arena, uint32_t b, ChildBlock* block) {
    const uint32_t oldCount = map.blockCount;
    const uint32_t newCount = block ? oldCount + 1 : oldCount - 1;
    if (oldCount > 1 && newCount > 1 && SlotCapacity(oldCount) == SlotCapacity(newCount)) {
        auto* slots = static_cast<BlockSlot*>(map.store);
        if (block) {
            std::memmove(static_cast<void*>(slots + b + 1), slots + b, (oldCount - b) * sizeof(BlockSlot));
            slots[b].block = block;
        } else {
            std::memmove(static_cast<void*>(slots + b), slots + b + 1, (oldCount - b - 1) * sizeof(BlockSlot));
        }
        map.blockCount = newCount;
        return;
    }
    void* store = nullptr;
    if (newCount == 1) {
        store = block ? (oldCount == 0 ? block : nullptr) : BlockAt(map, b == 0 ? 1 : 0);
    }
    if (!store && newCount > 0) {
        auto* slots = static_cast<BlockSlot*>(ArenaAllocate(arena, SlotBytes(newCount)));
        uint32_t to = 0;
        for (uint32_t from = 0; from < oldCount; ++from) {
            if (from == b) {
                if (block) slots[to++].block = block;
                else continue;
            }
            slots[to++].block = BlockAt(map, from);
        }
        if (block && b == oldCount) slots[to++].block = block;
        store = slots;
    }
    if (oldCount > 1) ArenaRelease(arena, map.store, SlotBytes(oldCount));
    map.store = store;
    map.blockCount = newCount;
}

// The block that holds, or would hold, name: the first whose last key is not below it
// (the last block for a name above every key); its index is left in b.
ChildBlock* BlockFor(const ChildMap& map, std::wstring_view name, uint32_t& b) {
    uint32_t low = 0, high = map.blockCount - 1;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        const ChildBlock* block = BlockAt(map, middle);
        if (CompareNodeKey(block->items[block->count - 1], name) < 0) low = middle + 1;
        else high = middle;
    }
    b = low;
    return BlockAt(map, low);
}

// Index in the block of the first item whose key is not below name.
uint32_t LowerBound(const ChildBlock* block, std::wstring_view name) {
    uint32_t low = 0, high = block->count;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        if (CompareNodeKey(block->items[middle], name) < 0) low = middle + 1;
        else high = middle;
    }
    return low;
}

}  // namespace

std::wstring_view NodeName(const Node* node, NameBuffer& buffer) {
    if (!node->narrowName) return {WideUnits(node), node->nameLength};
    const unsigned char* units = NarrowUnits(node);
    for (size_t i = 0; i < node->nameLength; ++i) buffer.units[i] = static_cast<wchar_t>(units[i]);
    return {buffer.units, node->nameLength};
}

std::wstring NodeNameCopy(const Node* node) {
    NameBuffer buffer;
    return std::wstring(NodeName(node, buffer));
}

uint64_t NextTreeStamp() {
    // Records are made on the measuring threads too.
    static std::atomic<uint64_t> last{0};
    return ++last;
}

Node* NewNode(NodeArena& arena, bool folder, std::wstring_view name) {
    if (name.size() > kNodeNameLimit) name = name.substr(0, kNodeNameLimit);
    const bool narrow = FitsNarrow(name);
    void* block = ArenaAllocate(arena, NodeBytes(folder, name.size(), narrow));
    Node* node = folder ? static_cast<Node*>(new (block) FolderNode{}) : static_cast<Node*>(new (block) FileNode{});
    node->size = 0;
    node->kind = folder ? 0 : kKindFile;
    StoreName(node, name, narrow);
    return node;
}

void ReleaseNode(NodeArena& arena, Node* node) {
    if (!node) return;
    if (!(node->kind & kKindFile)) ReleaseChildren(static_cast<FolderNode*>(node)->children, arena);
    ArenaRelease(arena, node, NodeBytes(node));
}

Node* RenameNode(NodeArena& arena, Node* node, std::wstring_view name) {
    if (name.size() > kNodeNameLimit) name = name.substr(0, kNodeNameLimit);
    const bool folder = !(node->kind & kKindFile);
    const bool narrow = FitsNarrow(name);
    const size_t bytes = NodeBytes(folder, name.size(), narrow);
    Node* renamed = node;
    if (((NodeBytes(node) + 3) & ~size_t{3}) != ((bytes + 3) & ~size_t{3})) {
        renamed = static_cast<Node*>(ArenaAllocate(arena, bytes));
        std::memcpy(static_cast<void*>(renamed), node, NameOffset(folder));
        ArenaRelease(arena, node, NodeBytes(node));
    }
    StoreName(renamed, name, narrow);
    return renamed;
}

int CompareKeys(std::wstring_view a, std::wstring_view b) { return CompareUnits(a.data(), a.size(), b.data(), b.size()); }

int CompareNodeKey(const Node* node, std::wstring_view name) {
    return WithNameUnits(node, [&](const auto* units) { return CompareUnits(units, node->nameLength, name.data(), name.size()); });
}

int CompareNodeKeys(const Node* a, const Node* b) {
    return WithNameUnits(a, [&](const auto* aUnits) {
        return WithNameUnits(b, [&](const auto* bUnits) { return CompareUnits(aUnits, a->nameLength, bUnits, b->nameLength); });
    });
}

Node* FindChild(const ChildMap& map, std::wstring_view name) {
    if (map.count == 0) return nullptr;
    uint32_t b = 0;
    const ChildBlock* block = BlockFor(map, name, b);
    const uint32_t i = LowerBound(block, name);
    if (i < block->count && CompareNodeKey(block->items[i], name) == 0) return block->items[i];
    return nullptr;
}

// The list of blocks may stand on a 4-byte boundary, so it is read only through here.
const ChildBlock* ChildBlockAt(const ChildMap& map, uint32_t b) { return BlockAt(map, b); }

Node* ChildAt(const ChildMap& map, uint32_t index) {
    for (uint32_t b = 0; b < map.blockCount; ++b) {
        const ChildBlock* block = BlockAt(map, b);
        if (index < block->count) return block->items[index];
        index -= block->count;
    }
    return nullptr;
}

bool InsertChild(ChildMap& map, NodeArena& arena, Node* node) {
    NameBuffer buffer;
    const std::wstring_view name = NodeName(node, buffer);
    if (map.count == 0) {
        ChildBlock* block = NewBlock(arena, 4);
        block->items[block->count++] = node;
        ReshapeBlockList(map, arena, 0, block);
        map.count = 1;
        return true;
    }
    uint32_t b = 0;
    ChildBlock* block = BlockFor(map, name, b);
    uint32_t i = LowerBound(block, name);
    if (i < block->count && CompareNodeKey(block->items[i], name) == 0) return false;
    if (block->count == block->capacity) {
        if (block->capacity < kChildBlockItems) {
            // Grow the block alone, by half again.
            uint32_t capacity = block->capacity + std::max<uint32_t>(4, block->capacity / 2);
            if (capacity > kChildBlockItems) capacity = kChildBlockItems;
            ChildBlock* grown = NewBlock(arena, capacity);
            std::memcpy(static_cast<void*>(grown->items), block->items, block->count * sizeof(Node*));
            grown->count = block->count;
            ReleaseBlock(arena, block);
            block = grown;
            if (map.blockCount == 1) map.store = block;
            else static_cast<BlockSlot*>(map.store)[b].block = block;
        } else {
            // Split a full block in two halves, each with room to grow.
            const uint32_t half = block->count / 2;
            ChildBlock* upper = NewBlock(arena, half + half / 2 + 1);
            upper->count = block->count - half;
            std::memcpy(static_cast<void*>(upper->items), block->items + half, upper->count * sizeof(Node*));
            block->count = half;
            ReshapeBlockList(map, arena, b + 1, upper);
            if (i > half) {
                i -= half;
                block = upper;
            }
        }
    }
    std::memmove(static_cast<void*>(block->items + i + 1), block->items + i, (block->count - i) * sizeof(Node*));
    block->items[i] = node;
    ++block->count;
    ++map.count;
    return true;
}

Node* TakeChild(ChildMap& map, NodeArena& arena, std::wstring_view name) {
    if (map.count == 0) return nullptr;
    uint32_t b = 0;
    ChildBlock* block = BlockFor(map, name, b);
    const uint32_t i = LowerBound(block, name);
    if (i >= block->count || CompareNodeKey(block->items[i], name) != 0) return nullptr;
    Node* node = block->items[i];
    std::memmove(static_cast<void*>(block->items + i), block->items + i + 1, (block->count - i - 1) * sizeof(Node*));
    --block->count;
    --map.count;
    if (block->count == 0) {
        ReshapeBlockList(map, arena, b, nullptr);
        ReleaseBlock(arena, block);
    }
    return node;
}

void AdoptChildren(ChildMap& map, NodeArena& arena, Node** nodes, size_t count) {
    ReleaseChildren(map, arena);
    if (count == 0) return;
    std::sort(nodes, nodes + count,
              [](const Node* a, const Node* b) { return CompareNodeKeys(a, b) < 0; });
    // A repeated name keeps its first node.
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (kept && CompareNodeKeys(nodes[kept - 1], nodes[i]) == 0) {
            ReleaseNode(arena, nodes[i]);
            continue;
        }
        nodes[kept++] = nodes[i];
    }
    // Blocks of even size and exact capacity: a freshly measured tree carries no slack.
    const size_t blocks = (kept + kChildBlockItems - 1) / kChildBlockItems;
    BlockSlot* slots =
        blocks > 1 ? static_cast<BlockSlot*>(ArenaAllocate(arena, SlotBytes(static_cast<uint32_t>(blocks)))) : nullptr;
    size_t from = 0;
    for (size_t b = 0; b < blocks; ++b) {
        const size_t to = kept * (b + 1) / blocks;
        ChildBlock* block = NewBlock(arena, static_cast<uint32_t>(to - from));
        std::memcpy(static_cast<void*>(block->items), nodes + from, (to - from) * sizeof(Node*));
        block->count = static_cast<uint32_t>(to - from);
        if (slots) slots[b].block = block;
        else map.store = block;
        from = to;
    }
    if (slots) map.store = slots;
    map.count = static_cast<uint32_t>(kept);
    map.blockCount = static_cast<uint32_t>(blocks);
}

void ReleaseChildren(ChildMap& map, NodeArena& arena) {
    for (uint32_t b = 0; b < map.blockCount; ++b) {
        ChildBlock* block = BlockAt(map, b);
        for (uint32_t i = 0; i < block->count; ++i) ReleaseNode(arena, block->items[i]);
        ReleaseBlock(arena, block);
    }
    if (map.blockCount > 1) ArenaRelease(arena, map.store, SlotBytes(map.blockCount));
    map = ChildMap{};
}

void DestroyFolderEntry(FolderEntry* entry) {
    if (!entry) return;
    // The arena owns every node and child array, so one sweep frees the whole tree.
    entry->children = ChildMap{};
    ArenaReleaseAll(entry->arena);
    entry->name.clear();
    entry->name.shrink_to_fit();
}

void ReleaseRowEntry(RowEntry* entry, bool snapshotMode) {
    if (!entry) return;
    if (snapshotMode) {
        delete static_cast<SnapshotEntry*>(entry);
    } else if (entry->kind & kKindFile) {
        delete static_cast<FileEntry*>(entry);
    } else {
        auto* folder = static_cast<FolderEntry*>(entry);
        DestroyFolderEntry(folder);
        delete folder;
    }
}

bool HasShortcutExtension(std::wstring_view name) {
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos) return false;
    const std::wstring_view extension = name.substr(dot);
    constexpr std::wstring_view kLnk = L".lnk";
    if (extension.size() != kLnk.size()) return false;
    for (size_t i = 0; i < kLnk.size(); ++i) {
        if (towlower(extension[i]) != kLnk[i]) return false;
    }
    return true;
}

bool MarkShortcut(RowEntry& entry) {
    if (!(entry.kind & kKindFile) || !HasShortcutExtension(entry.name)) return false;
    entry.kind |= kKindShortcut;
    return true;
}

FILETIME ToLocalFileTime(const FILETIME& utc) {
    FILETIME local{};
    if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
    return local;
}

}  // namespace lurmo
