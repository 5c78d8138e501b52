#include "engine/folder_tree.h"

#include <utility>
#include <vector>

#include "engine/folder_walk.h"

namespace lurmo {

namespace {

bool IsFolder(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace

void FillFolder(RunParameters& params, FolderEntry* entry, size_t position) {
    entry->treeStamp = NextTreeStamp();
    entry->size = 0;
    WriteName(params, position, entry->name);
    WalkJob job;
    job.map = &entry->children;
    WalkFolder(params, job, &entry->arena, nullptr);
    entry->size = job.total;
    MeasureOutsideLinks(params, job.links, &entry->size, &entry->arena);
}

void MeasureFolderEntry(RunParameters& params, const WIN32_FIND_DATAW& data, FolderEntry* entry, size_t position) {
    entry->treeStamp = NextTreeStamp();
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return FillFolder(params, entry, position);
    WriteName(params, position, entry->name);
    std::vector<PendingLink> links(1);
    const LinkPlace place = PlaceLink(EnsureLinkLedger(params), params.path, links[0].final);
    if (place == LinkPlace::NotALink) return FillFolder(params, entry, position);
    entry->size = 0;
    if (place != LinkPlace::Outside) return;
    links[0].key = params.path;
    links[0].folder = true;
    links[0].map = &entry->children;
    MeasureOutsideLinks(params, links, &entry->size, &entry->arena);
}

uint64_t SumFolder(RunParameters& params, size_t position, std::wstring_view name) {
    WriteName(params, position, name);
    WalkJob job;
    WalkFolder(params, job, nullptr, nullptr);
    MeasureOutsideLinks(params, job.links, &job.total, nullptr);
    return IsCancelled(params) ? 0 : job.total;
}

namespace {

// The folders along a relative path: the sizes to correct, the map that holds the last
// component, and that component. False when a component is missing or is a file.
struct PathWalk {
    std::vector<Node*> folders;   // below the entry, whose size is corrected apart
    ChildMap* map = nullptr;
    std::wstring_view leaf;
};

void AddToSizes(FolderEntry* entry, const PathWalk& walk, uint64_t bytes) {
    entry->size += bytes;
    for (Node* folder : walk.folders) folder->size += bytes;
}

void SubtractFromSizes(FolderEntry* entry, const PathWalk& walk, uint64_t bytes) {
    entry->size -= bytes;
    for (Node* folder : walk.folders) folder->size -= bytes;
}

bool WalkToLeaf(FolderEntry* entry, std::wstring_view path, PathWalk& walk) {
    walk.folders.clear();
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
        walk.folders.push_back(folder);
        walk.map = &folder->children;
        path.remove_prefix(separator + 1);
    }
}

}  // namespace

uint64_t TreeAddItem(RunParameters& params, std::wstring_view relativePath, FolderEntry* entry,
                     const WIN32_FIND_DATAW& data) {
    entry->treeStamp = NextTreeStamp();
    if (IsFolder(data)) return 0;   // a new folder is measured apart and grafted
    PathWalk walk;
    if (!WalkToLeaf(entry, relativePath, walk) || FindChild(*walk.map, walk.leaf)) return 0;
    // A new file is counted at once from its find data: a file moved in, or written
    // before its notice is handled, may send no modification notice after this one.
    const size_t position = params.path.size() >= walk.leaf.size() ? params.path.size() - walk.leaf.size() : 0;
    Node* node = MakeFileNode(params, entry->arena, data, true, position);
    if (!InsertChild(*walk.map, entry->arena, node)) {
        ReleaseNode(entry->arena, node);
        return 0;
    }
    const uint64_t added = node->size;
    AddToSizes(entry, walk, added);
    return added;
}

void TreeReplaceAll(FolderEntry* entry, FolderEntry* measured) {
    entry->treeStamp = NextTreeStamp();
    entry->children = ChildMap{};
    ArenaReleaseAll(entry->arena);
    ArenaAdopt(entry->arena, measured->arena);
    entry->children = std::exchange(measured->children, ChildMap{});
    entry->size = std::exchange(measured->size, 0);
}

const Node* TreeFindItem(std::wstring_view relativePath, FolderEntry* entry) {
    PathWalk walk;
    return WalkToLeaf(entry, relativePath, walk) ? FindChild(*walk.map, walk.leaf) : nullptr;
}

bool TreeKnowsParent(std::wstring_view relativePath, FolderEntry* entry) {
    PathWalk walk;
    return WalkToLeaf(entry, relativePath, walk);
}

uint64_t TreeGraftFolder(std::wstring_view relativePath, FolderEntry* entry, FolderEntry* measured) {
    entry->treeStamp = NextTreeStamp();
    PathWalk walk;
    if (!WalkToLeaf(entry, relativePath, walk) || FindChild(*walk.map, walk.leaf)) return 0;
    auto* folder = static_cast<FolderNode*>(NewNode(entry->arena, true, walk.leaf));
    ArenaAdopt(entry->arena, measured->arena);
    folder->children = std::exchange(measured->children, ChildMap{});
    folder->size = std::exchange(measured->size, 0);
    InsertChild(*walk.map, entry->arena, folder);
    const uint64_t added = folder->size;
    AddToSizes(entry, walk, added);
    return added;
}

uint64_t TreeRemoveItem(std::wstring_view relativePath, FolderEntry* entry) {
    entry->treeStamp = NextTreeStamp();
    PathWalk walk;
    if (!WalkToLeaf(entry, relativePath, walk)) return 0;
    Node* node = TakeChild(*walk.map, entry->arena, walk.leaf);
    if (!node) return 0;
    const uint64_t removed = node->size;
    ReleaseNode(entry->arena, node);
    SubtractFromSizes(entry, walk, removed);
    return removed;
}

uint64_t TreeUpdateItem(RunParameters& params, std::wstring_view relativePath, FolderEntry* entry,
                        const WIN32_FIND_DATAW& data) {
    entry->treeStamp = NextTreeStamp();
    PathWalk walk;
    if (!WalkToLeaf(entry, relativePath, walk)) return entry->size;
    Node* node = FindChild(*walk.map, walk.leaf);
    if (!node || !(node->kind & kKindFile)) return entry->size;  // a folder's own change moves no bytes
    const uint64_t before = node->size;
    const uint64_t after = RefreshFileNodeSize(params, data, node);
    if (after != before) {
        SubtractFromSizes(entry, walk, before);
        AddToSizes(entry, walk, after);
    }
    return entry->size;
}

uint64_t TreeRenameItem(std::wstring_view oldRelativePath, FolderEntry* entry, std::wstring_view newName) {
    entry->treeStamp = NextTreeStamp();
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
        SubtractFromSizes(entry, walk, replaced);
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
        VisitChildren(*map, [&maps](const Node* node) {
            if (!(node->kind & kKindFile)) maps.push_back(&static_cast<const FolderNode*>(node)->children);
        });
    }
    return census;
}

}  // namespace lurmo
