#include "engine/folder_tree.h"

#include <vector>

namespace lurmo {

namespace {

bool IsFolder(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }


// The walks below are iterative, with one level per open folder, so that a tree as deep
// as the extended-length paths allow cannot exhaust the thread's stack.

struct TreeLevel {
    unique_hfind find;
    ChildMap* map;
    uint64_t* size;
    size_t childPosition;
    size_t pendingStart;
};

// Builds the tree of the folder `name` (at position of the path) into map and size.
void FillTree(RunParameters& params, NodeArena& arena, ChildMap& map, uint64_t& size, size_t position,
              std::wstring_view name) {
    std::vector<TreeLevel> levels;
    WIN32_FIND_DATAW data;

    auto enter = [&](ChildMap* into, uint64_t* total, size_t at, std::wstring_view folder) {
        WriteName(params, at, folder);
        unique_hfind find = OpenEnumeration(params.path, data);
        if (!find) return false;
        levels.push_back({std::move(find), into, total, at + folder.size() + 1, params.pending.size()});
        return true;
    };
    auto finishTop = [&]() {
        TreeLevel& top = levels.back();
        AdoptChildren(*top.map, arena, params.pending.data() + top.pendingStart,
                      params.pending.size() - top.pendingStart);
        params.pending.resize(top.pendingStart);
        const uint64_t total = *top.size;
        levels.pop_back();
        if (!levels.empty()) *levels.back().size += total;
    };

    bool haveEntry = enter(&map, &size, position, name);
    while (!levels.empty()) {
        if (!haveEntry) {
            finishTop();
            haveEntry = !levels.empty() && NextEnumeration(levels.back().find.get(), data);
            continue;
        }
        const size_t top = levels.size() - 1;
        if (!IsDotEntry(data)) {
            const size_t childPosition = levels[top].childPosition;
            if (IsFolder(data)) {
                auto* folder = static_cast<FolderNode*>(MakeFolderNode(arena, data));
                params.pending.push_back(folder);
                if (MayEnterFolder(params, data, childPosition) &&
                    enter(&folder->children, &folder->size, childPosition, NodeName(folder))) {
                    haveEntry = true;  // the new level's first entry is in data
                    if (IsCancelled(params)) break;
                    continue;
                }
            } else {
                Node* file = MakeFileNode(params, arena, data, true, childPosition);
                params.pending.push_back(file);
                *levels[top].size += file->size;
            }
        }
        if (IsCancelled(params)) break;
        haveEntry = NextEnumeration(levels[top].find.get(), data);
    }
    // A cancelled walk still hands every node made so far to its map, so the partial
    // tree is owned and released like a whole one.
    while (!levels.empty()) finishTop();
}

struct SumLevel {
    unique_hfind find;
    size_t childPosition;
    uint64_t total;
};

}  // namespace

// A folder link that leads back to a folder above it would be walked for ever; it is
// counted as an empty folder instead. Any other link is entered like a folder.
bool MayEnterFolder(RunParameters& params, const WIN32_FIND_DATAW& data, size_t position) {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    WriteName(params, position, data.cFileName);
    return !LeadsToAncestor(params.ancestors, params.path, params.path.size());
}

void FillFolder(RunParameters& params, FolderEntry* entry, size_t position) {
    entry->size = 0;
    FillTree(params, entry->arena, entry->children, entry->size, position, entry->name);
}

uint64_t SumFolder(RunParameters& params, size_t position, std::wstring_view name) {
    std::vector<SumLevel> levels;
    WIN32_FIND_DATAW data;

    auto enter = [&](size_t at, std::wstring_view folder) {
        WriteName(params, at, folder);
        unique_hfind find = OpenEnumeration(params.path, data);
        if (!find) return false;
        levels.push_back({std::move(find), at + folder.size() + 1, 0});
        return true;
    };

    bool haveEntry = enter(position, name);
    uint64_t result = 0;
    while (!levels.empty()) {
        if (!haveEntry) {
            const uint64_t total = levels.back().total;
            levels.pop_back();
            if (levels.empty()) result = total;
            else levels.back().total += total;
            haveEntry = !levels.empty() && NextEnumeration(levels.back().find.get(), data);
            continue;
        }
        const size_t top = levels.size() - 1;
        if (!IsDotEntry(data)) {
            const size_t childPosition = levels[top].childPosition;
            if (IsFolder(data)) {
                if (MayEnterFolder(params, data, childPosition)) {
                    // enter() writes the name into the path before it reuses data.
                    if (enter(childPosition, std::wstring_view(data.cFileName))) {
                        haveEntry = true;
                        if (IsCancelled(params)) return 0;
                        continue;
                    }
                }
            } else {
                levels[top].total += MeasureFileSize(params, data, childPosition);
            }
        }
        if (IsCancelled(params)) return 0;
        haveEntry = NextEnumeration(levels[top].find.get(), data);
    }
    return result;
}

namespace {

// The folders along a relative path: the sizes to correct, the map that holds the last
// component, and that component. False when a component is missing or is a file.
struct PathWalk {
    std::vector<uint64_t*> sizes;
    ChildMap* map = nullptr;
    std::wstring_view leaf;
};

bool WalkToLeaf(FolderEntry* entry, std::wstring_view path, PathWalk& walk) {
    walk.sizes.assign(1, &entry->size);
    walk.map = &entry->children;
    for (;;) {
        const size_t separator = path.find(L'\\');
        if (separator == std::wstring_view::npos) {
            walk.leaf = path;
            return !path.empty();
        }
        Node* node = FindChild(*walk.map, path.substr(0, separator));
        if (!node || (node->kind & kKindFile)) return false;
        auto* folder = static_cast<FolderNode*>(node);
        walk.sizes.push_back(&folder->size);
        walk.map = &folder->children;
        path.remove_prefix(separator + 1);
    }
}

}  // namespace

uint64_t TreeAddItem(RunParameters& params, std::wstring_view relativePath, FolderEntry* entry,
                     const WIN32_FIND_DATAW& data) {
    PathWalk walk;
    if (!WalkToLeaf(entry, relativePath, walk) || FindChild(*walk.map, walk.leaf)) return 0;
    Node* node;
    if (IsFolder(data)) {
        // The new folder's name stands at the end of the path; its subtree is measured now.
        const size_t position = params.path.size() >= walk.leaf.size() ? params.path.size() - walk.leaf.size() : 0;
        node = MakeFolderNode(entry->arena, data);
        if (!InsertChild(*walk.map, entry->arena, node)) {
            ReleaseNode(entry->arena, node);
            return 0;
        }
        auto* folder = static_cast<FolderNode*>(node);
        if (MayEnterFolder(params, data, position)) {
            FillTree(params, entry->arena, folder->children, folder->size, position, NodeName(folder));
        }
    } else {
        // A new file is counted at once from its find data: a file moved in, or written
        // before its notice is handled, may send no modification notice after this one.
        const size_t position = params.path.size() >= walk.leaf.size() ? params.path.size() - walk.leaf.size() : 0;
        node = MakeFileNode(params, entry->arena, data, true, position);
        if (!InsertChild(*walk.map, entry->arena, node)) {
            ReleaseNode(entry->arena, node);
            return 0;
        }
    }
    const uint64_t added = node->size;
    for (uint64_t* size : walk.sizes) *size += added;
    return added;
}

uint64_t TreeRemoveItem(std::wstring_view relativePath, FolderEntry* entry) {
    PathWalk walk;
    if (!WalkToLeaf(entry, relativePath, walk)) return 0;
    Node* node = TakeChild(*walk.map, entry->arena, walk.leaf);
    if (!node) return 0;
    const uint64_t removed = node->size;
    ReleaseNode(entry->arena, node);
    for (uint64_t* size : walk.sizes) *size -= removed;
    return removed;
}

uint64_t TreeUpdateItem(RunParameters& params, std::wstring_view relativePath, FolderEntry* entry,
                        const WIN32_FIND_DATAW& data) {
    PathWalk walk;
    if (!WalkToLeaf(entry, relativePath, walk)) return entry->size;
    Node* node = FindChild(*walk.map, walk.leaf);
    if (!node || !(node->kind & kKindFile)) return entry->size;  // a folder's own change moves no bytes
    const uint64_t before = node->size;
    const uint64_t after = RefreshFileNodeSize(params, data, node);
    if (after != before) {
        for (uint64_t* size : walk.sizes) *size = *size - before + after;
    }
    return entry->size;
}

uint64_t TreeRenameItem(std::wstring_view oldRelativePath, FolderEntry* entry, std::wstring_view newName) {
    const size_t separator = newName.rfind(L'\\');
    if (separator != std::wstring_view::npos) newName.remove_prefix(separator + 1);
    PathWalk walk;
    if (newName.empty() || !WalkToLeaf(entry, oldRelativePath, walk)) return 0;
    Node* node = TakeChild(*walk.map, entry->arena, walk.leaf);
    if (!node) return 0;
    node = RenameNode(entry->arena, node, newName);
    uint64_t replaced = 0;
    if (Node* previous = TakeChild(*walk.map, entry->arena, newName)) {
        replaced = previous->size;
        ReleaseNode(entry->arena, previous);
        for (uint64_t* size : walk.sizes) *size -= replaced;
    }
    InsertChild(*walk.map, entry->arena, node);
    return replaced;
}

TreeCensus CountTree(const FolderEntry* entry) {
    TreeCensus census;
    census.bytes = entry->arena.bytesReserved + sizeof(FolderEntry);
    std::vector<const ChildMap*> maps{&entry->children};
    while (!maps.empty()) {
        const ChildMap* map = maps.back();
        maps.pop_back();
        census.nodes += map->count;
        for (uint32_t i = 0; i < map->count; ++i) {
            const Node* node = map->items[i];
            if (!(node->kind & kKindFile)) maps.push_back(&static_cast<const FolderNode*>(node)->children);
        }
    }
    return census;
}

}  // namespace lurmo
