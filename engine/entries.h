// The records behind the result rows and the nodes of a folder tree.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/node_arena.h"

namespace lurmo {

// Kind flags, one 32-bit word on every record and node.
constexpr uint32_t kKindFile = 0x1;        // clear: a folder
constexpr uint32_t kKindCompressed = 0x2;
constexpr uint32_t kKindEncrypted = 0x4;
constexpr uint32_t kKindShortcut = 0x8;    // a file whose name ends in ".lnk", any case
// A row met by the run that measures the target again into the rows in place; rows
// without it at the end of that run are gone from the disk. Never set on a node.
constexpr uint32_t kKindMetAgain = 0x80000000;

// --- Folder tree nodes ------------------------------------------------------------
// A node lives in its tree's arena with its name stored inline right behind it, so each
// name is kept once and the node needs no pointer to it. Nodes carry no time and no path.
// Nodes and child blocks are packed on 4-byte boundaries: a file node with a 12-character
// name takes 36 bytes rather than 48, which is most of a big tree's memory. The engine
// reads their fields by value; nothing keeps a pointer to a field.
// A name whose units all lie below 256 (most names on most disks) is kept one byte a
// unit: that takes another third off such a file node (24 bytes).
#pragma pack(push, 4)
struct Node {
    uint64_t size;
    uint16_t nameLength : 15;   // in UTF-16 units; the name is not terminated
    uint16_t narrowName : 1;    // the name is kept one byte a unit
    uint16_t kind;              // 0 folder, 1 file, 3 compressed file
};

// The children of one folder, ordered by name compared as unsigned UTF-16 code units
// (case-sensitive, shorter prefix first). Keys are the children's own names. They stand
// in blocks of at most kChildBlockItems, so adding or removing one child moves one
// block and, when a block splits or empties, the short list of blocks: never the whole
// folder. `store` is the only block while blockCount is 1, else the list of blocks.
struct ChildMap {
    void* store = nullptr;
    uint32_t count = 0;        // children in all blocks
    uint32_t blockCount = 0;
};

constexpr uint32_t kChildBlockItems = 120;   // a full block stays below the arena's small limit

struct ChildBlock {
    uint32_t count;
    uint32_t capacity;
    Node* items[kChildBlockItems];   // only `capacity` of them are allocated
};

struct FileNode : Node {};

struct FolderNode : Node {
    ChildMap children;
};
#pragma pack(pop)
static_assert(sizeof(Node) == 12, "a file node's fixed part");

// The longest name kept one byte a unit; longer names (rare: 255 is the usual limit) are
// kept as they are.
constexpr size_t kNarrowNameLimit = 255;
// Room for a name kept one byte a unit, widened to be read.
struct NameBuffer {
    wchar_t units[kNarrowNameLimit];
};
// The node's name; it may stand in `buffer`, so the view lives as long as the buffer is
// not used again.
std::wstring_view NodeName(const Node* node, NameBuffer& buffer);
std::wstring NodeNameCopy(const Node* node);
Node* NewNode(NodeArena& arena, bool folder, std::wstring_view name);
// Releases the node and, for a folder, everything below it.
void ReleaseNode(NodeArena& arena, Node* node);
// Gives the node a new name; the node may move, so the returned pointer replaces it.
Node* RenameNode(NodeArena& arena, Node* node, std::wstring_view name);

int CompareKeys(std::wstring_view a, std::wstring_view b);
// CompareKeys on the node's own name, without widening it.
int CompareNodeKey(const Node* node, std::wstring_view name);
int CompareNodeKeys(const Node* a, const Node* b);
Node* FindChild(const ChildMap& map, std::wstring_view name);
// False when the name is already a key; the node is then not inserted.
bool InsertChild(ChildMap& map, NodeArena& arena, Node* node);
// Takes the node out of the map without releasing it; null when the name is absent.
Node* TakeChild(ChildMap& map, NodeArena& arena, std::wstring_view name);
// Replaces the (empty) map by the given nodes, sorted; a repeated name keeps its first node.
void AdoptChildren(ChildMap& map, NodeArena& arena, Node** nodes, size_t count);
void ReleaseChildren(ChildMap& map, NodeArena& arena);
// The child at index (0 .. count-1) in key order; for walks over a whole folder.
Node* ChildAt(const ChildMap& map, uint32_t index);
// The block at b (0 .. blockCount-1).
const ChildBlock* ChildBlockAt(const ChildMap& map, uint32_t b);
// Calls visit(node) for each child in key order.
template <typename Visit>
void VisitChildren(const ChildMap& map, Visit visit) {
    for (uint32_t b = 0; b < map.blockCount; ++b) {
        const ChildBlock* block = ChildBlockAt(map, b);
        for (uint32_t i = 0; i < block->count; ++i) visit(block->items[i]);
    }
}

constexpr uint64_t kNewRow = UINT64_MAX;   // see RowEntry::baseline

// --- Row records -------------------------------------------------------------------
// Every row record begins with these four fields, so code that shows, sorts or exports
// a row reads them alike whatever the record is.
struct RowEntry {
    std::wstring name;
    uint32_t kind = 0;
    uint64_t size = 0;
    FILETIME time{};   // last-write time, already local
    // The size the row had when the run that listed it ended, for the list's change
    // column; kNewRow for a row listed after that. The engine never reads it.
    uint64_t baseline = kNewRow;
};

struct FileEntry : RowEntry {};

// A number no tree has had before: a folder record takes one when it is made and a new
// one whenever its tree changes, so whoever keeps figures about a tree (the map's file
// types) knows when they are stale, even for a new record at a freed one's address.
uint64_t NextTreeStamp();

struct FolderEntry : RowEntry {
    NodeArena arena;      // holds every node of the tree below this folder
    ChildMap children;
    uint64_t treeStamp = NextTreeStamp();
};

struct SnapshotEntry : RowEntry {};

// Releases every node of the entry's tree and its name; the record itself is the caller's.
void DestroyFolderEntry(FolderEntry* entry);
// Releases the record behind a row by the layout of the listing's mode.
void ReleaseRowEntry(RowEntry* entry, bool snapshotMode);

bool HasShortcutExtension(std::wstring_view name);
// Gives a file's record the shortcut kind when its name ends in ".lnk"; true when it has it.
bool MarkShortcut(RowEntry& entry);
FILETIME ToLocalFileTime(const FILETIME& utc);

}  // namespace lurmo
