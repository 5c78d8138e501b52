// Memory for one folder tree: nodes and child arrays are carved out of chunks that
// belong to the tree, so a tree of millions of nodes costs a few bytes of overhead
// per node and is released in one sweep when its row goes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lurmo {

struct NodeArena {
    NodeArena() = default;
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;
    ~NodeArena();

    struct Chunk;
    struct LargeBlock;

    Chunk* chunks = nullptr;
    char* cursor = nullptr;
    char* limit = nullptr;
    size_t nextChunkSize = 0;
    void** freeLists = nullptr;     // one list per 8-byte size class, made on the first release
    LargeBlock* largeBlocks = nullptr;
    size_t bytesReserved = 0;       // everything taken from the heap, headers included
};

// Blocks are 4-byte aligned (the nodes are packed so). Small blocks (up to kArenaSmallLimit bytes) are recycled
// through per-size free lists; larger ones go to the heap and are tracked so that the
// arena still releases them all when it goes.
constexpr size_t kArenaSmallLimit = 1024;

void* ArenaAllocate(NodeArena& arena, size_t bytes);
void ArenaRelease(NodeArena& arena, void* block, size_t bytes);
void ArenaReleaseAll(NodeArena& arena);
// Moves every block of `from` into `into`, which then releases them; `from` is left empty.
// Blocks from both may be released through `into` afterwards.
void ArenaAdopt(NodeArena& into, NodeArena& from);

}  // namespace lurmo
