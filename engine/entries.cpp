#include "engine/entries.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <new>

namespace lurmo {

namespace {

size_t NameOffset(bool folder) { return folder ? sizeof(FolderNode) : sizeof(FileNode); }

size_t NodeBytes(bool folder, size_t nameLength) {
    return NameOffset(folder) + (nameLength + 1) * sizeof(wchar_t);
}

size_t NodeBytes(const Node* node) { return NodeBytes(!(node->kind & kKindFile), node->nameLength); }

wchar_t* MutableName(Node* node) {
    return reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(node) + NameOffset(!(node->kind & kKindFile)));
}

// Index of the first item whose key is not below name.
uint32_t LowerBound(const ChildMap& map, std::wstring_view name) {
    uint32_t low = 0, high = map.count;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (CompareKeys(NodeName(map.items[middle]), name) < 0) low = middle + 1;
        else high = middle;
    }
    return low;
}

void Reserve(ChildMap& map, NodeArena& arena, uint32_t capacity) {
    if (capacity <= map.capacity) return;
    auto** items = static_cast<Node**>(ArenaAllocate(arena, capacity * sizeof(Node*)));
    if (map.count) std::memcpy(items, map.items, map.count * sizeof(Node*));
    ArenaRelease(arena, map.items, map.capacity * sizeof(Node*));
    map.items = items;
    map.capacity = capacity;
}

}  // namespace

std::wstring_view NodeName(const Node* node) {
    return {MutableName(const_cast<Node*>(node)), node->nameLength};
}

Node* NewNode(NodeArena& arena, bool folder, std::wstring_view name) {
    // Component names are at most 255 units on every file system we read; a longer
    // one is still kept whole up to the 16-bit length field.
    if (name.size() > 0xFFFF) name = name.substr(0, 0xFFFF);
    void* block = ArenaAllocate(arena, NodeBytes(folder, name.size()));
    Node* node = folder ? static_cast<Node*>(new (block) FolderNode{}) : static_cast<Node*>(new (block) FileNode{});
    node->size = 0;
    node->kind = folder ? 0 : kKindFile;
    node->nameLength = static_cast<uint16_t>(name.size());
    wchar_t* text = MutableName(node);
    std::memcpy(text, name.data(), name.size() * sizeof(wchar_t));
    text[name.size()] = L'\0';
    return node;
}

void ReleaseNode(NodeArena& arena, Node* node) {
    if (!node) return;
    if (!(node->kind & kKindFile)) ReleaseChildren(static_cast<FolderNode*>(node)->children, arena);
    ArenaRelease(arena, node, NodeBytes(node));
}

Node* RenameNode(NodeArena& arena, Node* node, std::wstring_view name) {
    if (name.size() > 0xFFFF) name = name.substr(0, 0xFFFF);
    const bool folder = !(node->kind & kKindFile);
    Node* renamed = node;
    if (((NodeBytes(node) + 7) & ~size_t{7}) != ((NodeBytes(folder, name.size()) + 7) & ~size_t{7})) {
        renamed = static_cast<Node*>(ArenaAllocate(arena, NodeBytes(folder, name.size())));
        std::memcpy(static_cast<void*>(renamed), node, NameOffset(folder));
        ArenaRelease(arena, node, NodeBytes(node));
    }
    renamed->nameLength = static_cast<uint16_t>(name.size());
    wchar_t* text = MutableName(renamed);
    std::memcpy(text, name.data(), name.size() * sizeof(wchar_t));
    text[name.size()] = L'\0';
    return renamed;
}

int CompareKeys(std::wstring_view a, std::wstring_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<uint16_t>(a[i]);
        const auto y = static_cast<uint16_t>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

Node* FindChild(const ChildMap& map, std::wstring_view name) {
    const uint32_t i = LowerBound(map, name);
    if (i < map.count && CompareKeys(NodeName(map.items[i]), name) == 0) return map.items[i];
    return nullptr;
}

bool InsertChild(ChildMap& map, NodeArena& arena, Node* node) {
    const std::wstring_view name = NodeName(node);
    const uint32_t i = LowerBound(map, name);
    if (i < map.count && CompareKeys(NodeName(map.items[i]), name) == 0) return false;
    if (map.count == map.capacity) Reserve(map, arena, map.capacity < 4 ? 4 : map.capacity + map.capacity / 2);
    std::memmove(map.items + i + 1, map.items + i, (map.count - i) * sizeof(Node*));
    map.items[i] = node;
    ++map.count;
    return true;
}

Node* TakeChild(ChildMap& map, NodeArena& arena, std::wstring_view name) {
    const uint32_t i = LowerBound(map, name);
    if (i >= map.count || CompareKeys(NodeName(map.items[i]), name) != 0) return nullptr;
    Node* node = map.items[i];
    std::memmove(map.items + i, map.items + i + 1, (map.count - i - 1) * sizeof(Node*));
    --map.count;
    if (map.count == 0) {
        ArenaRelease(arena, map.items, map.capacity * sizeof(Node*));
        map = ChildMap{};
    }
    return node;
}

void AdoptChildren(ChildMap& map, NodeArena& arena, Node** nodes, size_t count) {
    ReleaseChildren(map, arena);
    if (count == 0) return;
    std::sort(nodes, nodes + count,
              [](const Node* a, const Node* b) { return CompareKeys(NodeName(a), NodeName(b)) < 0; });
    Reserve(map, arena, static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) {
        Node* node = nodes[i];
        if (map.count && CompareKeys(NodeName(map.items[map.count - 1]), NodeName(node)) == 0) {
            ReleaseNode(arena, node);
            continue;
        }
        map.items[map.count++] = node;
    }
}

void ReleaseChildren(ChildMap& map, NodeArena& arena) {
    for (uint32_t i = 0; i < map.count; ++i) ReleaseNode(arena, map.items[i]);
    ArenaRelease(arena, map.items, map.capacity * sizeof(Node*));
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
