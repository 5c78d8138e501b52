#include "engine/folder_walk.h"

#include <algorithm>
#include <string>

#include "engine/folder_tree.h"

namespace lurmo {

namespace {

bool IsFolder(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// A subfolder to enter: its node when a tree is kept, else its name in the name pool.
struct Subfolder {
    Node* node;
    size_t nameStart;
    size_t nameLength;
};

// One open folder: it has been read; its subfolders wait in subfolders[next, end).
struct Level {
    size_t pathLength;   // of the folder's own path in params.path
    Node* node;          // null for the walk's own folder, and when only summing
    ChildMap* map;
    uint64_t total;
    size_t firstSubfolder, next, end;
    size_t namesStart;
};

struct Walk {
    RunParameters& params;
    WalkJob& job;
    NodeArena* arena;
    std::vector<Level> levels;
    std::vector<Subfolder> subfolders;
    std::wstring names;
    FolderReader reader;
    NameBuffer nameBuffer;   // for the subfolder name last asked for
};

std::wstring_view SubfolderName(Walk& walk, const Subfolder& sub) {
    if (sub.node) return NodeName(sub.node, walk.nameBuffer);
    return std::wstring_view(walk.names).substr(sub.nameStart, sub.nameLength);
}

// Keeps only the subfolders whose nodes the map still holds (a name the enumeration
// returned twice keeps its first node; the other is gone).
void DropReleasedSubfolders(Walk& walk, size_t first, const ChildMap& map) {
    std::vector<Node*> kept;
    VisitChildren(map, [&kept](Node* node) { kept.push_back(node); });
    std::sort(kept.begin(), kept.end());
    auto gone = [&kept](const Subfolder& sub) { return !std::binary_search(kept.begin(), kept.end(), sub.node); };
    walk.subfolders.erase(std::remove_if(walk.subfolders.begin() + static_cast<ptrdiff_t>(first),
                                         walk.subfolders.end(), gone),
                          walk.subfolders.end());
}

// Whether the entry at params.path is data an earlier link reached; only a walk behind a
// link has any to pass over.
bool IsExcluded(const RunParameters& params) {
    for (const std::wstring& excluded : params.excluded) {
        if (_wcsicmp(excluded.c_str(), params.path.c_str()) == 0) return true;
    }
    return false;
}

// What becomes of an entry with the reparse attribute, or met behind a link: true when
// it is measured as a plain entry. A link is never entered here: it keeps its node at 0
// and, when it leads outside the target, waits to be measured after the walk.
bool EntersAsPlain(Walk& walk, const WIN32_FIND_DATAW& data, size_t position, Node* node) {
    RunParameters& params = walk.params;
    WriteName(params, position, data.cFileName);
    if (IsExcluded(params)) return false;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    std::wstring final;
    const LinkPlace place = PlaceLink(EnsureLinkLedger(params), params.path, final);
    if (place == LinkPlace::NotALink) return true;
    if (place == LinkPlace::Outside) {
        PendingLink link;
        link.key = params.path;
        link.final = std::move(final);
        link.folder = IsFolder(data);
        if (node) {
            link.map = link.folder ? &static_cast<FolderNode*>(node)->children : nullptr;
            link.chain = walk.job.chain;
            for (size_t above = 1; above < walk.levels.size(); ++above) link.chain.push_back(walk.levels[above].node);
            link.chain.push_back(node);
        }
        walk.job.links.push_back(std::move(link));
    }
    return false;
}

// Reads the folder of the last level whole: sums its files, makes its nodes and lists
// the subfolders to enter.
void ReadLevel(Walk& walk) {
    RunParameters& params = walk.params;
    const size_t index = walk.levels.size() - 1;
    const size_t childPosition = walk.levels[index].pathLength + 1;
    ChildMap* map = walk.levels[index].map;
    const size_t pendingStart = params.pending.size();
    const bool excluding = !params.excluded.empty();
    uint64_t total = 0;
    WIN32_FIND_DATAW data;
    FolderReader& reader = walk.reader;
    if (OpenFolderReader(reader, params.path, data)) {
        do {
            if (IsDotEntry(data)) continue;
            // Links, and what an earlier link counted, are the only entries looked at twice.
            const bool special = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || excluding;
            if (IsFolder(data)) {
                CountFolder(params.lane);
                Node* node = nullptr;
                if (map) {
                    node = MakeFolderNode(*walk.arena, data);
                    params.pending.push_back(node);
                }
                if (!special || EntersAsPlain(walk, data, childPosition, node)) {
                    const size_t length = wcslen(data.cFileName);
                    walk.subfolders.push_back({node, walk.names.size(), length});
                    if (!node) walk.names.append(data.cFileName, length);
                }
            } else if (special) {
                Node* file = map ? MakeFileNode(params, *walk.arena, data, false, childPosition) : nullptr;
                if (file) params.pending.push_back(file);
                if (EntersAsPlain(walk, data, childPosition, file)) {
                    const uint64_t size = MeasureFileSize(params, data, childPosition);
                    if (file) file->size = size;
                    total += size;
                }
            } else if (map) {
                Node* file = MakeFileNode(params, *walk.arena, data, true, childPosition);
                params.pending.push_back(file);
                total += file->size;
                CountFile(params.lane, file->size);
            } else {
                const uint64_t size = MeasureFileSize(params, data, childPosition);
                total += size;
                CountFile(params.lane, size);
            }
            if (IsCancelled(params)) break;
        } while (NextFolderEntry(reader, data));
    }
    // A folder that could not be read whole is named, so that what was read of it is
    // not taken for its true total.
    if (reader.failed && !IsCancelled(params)) params.unreadable.push_back(params.path);
    CloseFolderReader(reader);
    if (map) {
        // Even a cancelled read hands its nodes to the map, which then owns them.
        const size_t made = params.pending.size() - pendingStart;
        AdoptChildren(*map, *walk.arena, params.pending.data() + pendingStart, made);
        params.pending.resize(pendingStart);
        if (map->count != made) DropReleasedSubfolders(walk, walk.levels[index].firstSubfolder, *map);
    }
    Level& level = walk.levels[index];
    level.total = total;
    level.end = walk.subfolders.size();
    params.path.resize(level.pathLength);
}

void OpenLevel(Walk& walk, Node* node, ChildMap* map) {
    walk.levels.push_back(
        {walk.params.path.size(), node, map, 0, walk.subfolders.size(), walk.subfolders.size(), 0, walk.names.size()});
    ReadLevel(walk);
}

// Hands the shallowest subfolder not yet entered to another thread.
void HandOn(Walk& walk, const WalkJob& job, const WalkShare& share) {
    for (size_t i = 0; i < walk.levels.size(); ++i) {
        Level& level = walk.levels[i];
        if (level.next == level.end) continue;
        const Subfolder sub = walk.subfolders[level.next++];
        auto piece = std::make_unique<WalkJob>();
        piece->path.assign(walk.params.path, 0, level.pathLength);
        piece->path.push_back(L'\\');
        piece->path.append(SubfolderName(walk, sub));
        if (sub.node) {
            piece->map = &static_cast<FolderNode*>(sub.node)->children;
            piece->chain = job.chain;
            for (size_t above = 1; above <= i; ++above) piece->chain.push_back(walk.levels[above].node);
            piece->chain.push_back(sub.node);
        }
        share.hand(share.context, std::move(piece));
        return;
    }
}

}  // namespace

void WalkFolder(RunParameters& params, WalkJob& job, NodeArena* arena, const WalkShare* share) {
    Walk walk{params, job, arena, {}, {}, {}, {}, {}};
    job.total = 0;
    OpenLevel(walk, nullptr, job.map);
    while (!walk.levels.empty()) {
        if (IsCancelled(params)) return;
        const size_t top = walk.levels.size() - 1;
        if (walk.levels[top].next == walk.levels[top].end) {
            const Level done = walk.levels.back();
            walk.levels.pop_back();
            walk.subfolders.resize(done.firstSubfolder);
            walk.names.resize(done.namesStart);
            if (done.node) done.node->size = done.total;
            if (walk.levels.empty()) job.total = done.total;
            else walk.levels.back().total += done.total;
            continue;
        }
        if (share && share->wanted(share->context)) {
            HandOn(walk, job, *share);
            continue;
        }
        const Subfolder sub = walk.subfolders[walk.levels[top].next++];
        WriteName(params, walk.levels[top].pathLength + 1, SubfolderName(walk, sub));
        OpenLevel(walk, sub.node, sub.node ? &static_cast<FolderNode*>(sub.node)->children : nullptr);
    }
}

}  // namespace lurmo
