#include "engine/node_arena.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace lurmo {

struct NodeArena::Chunk {
    Chunk* next;
    size_t size;
};

struct NodeArena::LargeBlock {
    LargeBlock* previous;
    LargeBlock* next;
};

namespace {

constexpr size_t kFirstChunk = 512;
constexpr size_t kLargestChunk = 64 * 1024;
constexpr size_t kGrain = 4;
constexpr size_t kClassCount = kArenaSmallLimit / kGrain;

// Every block can hold the free list's link while it is free.
size_t RoundToClass(size_t bytes) {
    if (bytes < sizeof(void*)) bytes = sizeof(void*);
    return (bytes + kGrain - 1) & ~(kGrain - 1);
}

size_t ChunkHeader() { return (sizeof(NodeArena::Chunk) + 7) & ~size_t{7}; }
size_t LargeHeader() { return (sizeof(NodeArena::LargeBlock) + 7) & ~size_t{7}; }

// A free block may stand on a 4-byte boundary, so its link is copied, not dereferenced.
void* ReadLink(void* block) {
    void* next;
    std::memcpy(&next, block, sizeof next);
    return next;
}

void WriteLink(void* block, void* next) { std::memcpy(block, &next, sizeof next); }

void* TakeFromNewChunk(NodeArena& arena, size_t bytes) {
    size_t size = arena.nextChunkSize ? arena.nextChunkSize : kFirstChunk;
    while (size - ChunkHeader() < bytes) size *= 2;
    auto* chunk = static_cast<NodeArena::Chunk*>(std::malloc(size));
    if (!chunk) throw std::bad_alloc();
    chunk->next = arena.chunks;
    chunk->size = size;
    arena.chunks = chunk;
    arena.bytesReserved += size;
    arena.cursor = reinterpret_cast<char*>(chunk) + ChunkHeader();
    arena.limit = reinterpret_cast<char*>(chunk) + size;
    arena.nextChunkSize = size < kLargestChunk ? size * 2 : kLargestChunk;
    void* block = arena.cursor;
    arena.cursor += bytes;
    return block;
}

}  // namespace

void* ArenaAllocate(NodeArena& arena, size_t bytes) {
    bytes = RoundToClass(bytes);
    if (bytes > kArenaSmallLimit) {
        auto* large = static_cast<NodeArena::LargeBlock*>(std::malloc(LargeHeader() + bytes));
        if (!large) throw std::bad_alloc();
        large->previous = nullptr;
        large->next = arena.largeBlocks;
        if (arena.largeBlocks) arena.largeBlocks->previous = large;
        arena.largeBlocks = large;
        arena.bytesReserved += LargeHeader() + bytes;
        return reinterpret_cast<char*>(large) + LargeHeader();
    }
    if (arena.freeLists) {
        void*& head = arena.freeLists[bytes / kGrain - 1];
        if (head) {
            void* block = head;
            head = ReadLink(block);
            return block;
        }
    }
    if (static_cast<size_t>(arena.limit - arena.cursor) >= bytes) {
        void* block = arena.cursor;
        arena.cursor += bytes;
        return block;
    }
    return TakeFromNewChunk(arena, bytes);
}

void ArenaRelease(NodeArena& arena, void* block, size_t bytes) {
    if (!block) return;
    bytes = RoundToClass(bytes);
    if (bytes > kArenaSmallLimit) {
        auto* large = reinterpret_cast<NodeArena::LargeBlock*>(static_cast<char*>(block) - LargeHeader());
        if (large->previous) large->previous->next = large->next;
        else arena.largeBlocks = large->next;
        if (large->next) large->next->previous = large->previous;
        arena.bytesReserved -= LargeHeader() + bytes;
        std::free(large);
        return;
    }
    if (!arena.freeLists) {
        arena.freeLists = static_cast<void**>(std::calloc(kClassCount, sizeof(void*)));
        if (!arena.freeLists) return;  // the block just stays unused until the arena goes
        arena.bytesReserved += kClassCount * sizeof(void*);
    }
    void*& head = arena.freeLists[bytes / kGrain - 1];
    WriteLink(block, head);
    head = block;
}

void ArenaReleaseAll(NodeArena& arena) {
    while (arena.chunks) {
        NodeArena::Chunk* next = arena.chunks->next;
        std::free(arena.chunks);
        arena.chunks = next;
    }
    while (arena.largeBlocks) {
        NodeArena::LargeBlock* next = arena.largeBlocks->next;
        std::free(arena.largeBlocks);
        arena.largeBlocks = next;
    }
    std::free(arena.freeLists);
    arena.freeLists = nullptr;
    arena.cursor = arena.limit = nullptr;
    arena.nextChunkSize = 0;
    arena.bytesReserved = 0;
}

void ArenaAdopt(NodeArena& into, NodeArena& from) {
    while (from.chunks) {
        NodeArena::Chunk* next = from.chunks->next;
        // Behind the receiving arena's current chunk, so that its cursor stays valid.
        if (into.chunks) {
            from.chunks->next = into.chunks->next;
            into.chunks->next = from.chunks;
        } else {
            from.chunks->next = nullptr;
            into.chunks = from.chunks;
            into.cursor = into.limit = nullptr;
        }
        from.chunks = next;
    }
    while (from.largeBlocks) {
        NodeArena::LargeBlock* next = from.largeBlocks->next;
        from.largeBlocks->previous = nullptr;
        from.largeBlocks->next = into.largeBlocks;
        if (into.largeBlocks) into.largeBlocks->previous = from.largeBlocks;
        into.largeBlocks = from.largeBlocks;
        from.largeBlocks = next;
    }
    // Blocks on the other arena's free lists stay where they are, unused until the sweep.
    if (from.freeLists) into.bytesReserved -= kClassCount * sizeof(void*);
    std::free(from.freeLists);
    from.freeLists = nullptr;
    into.bytesReserved += from.bytesReserved;
    if (into.nextChunkSize < from.nextChunkSize) into.nextChunkSize = from.nextChunkSize;
    from.cursor = from.limit = nullptr;
    from.nextChunkSize = 0;
    from.bytesReserved = 0;
}

NodeArena::~NodeArena() { ArenaReleaseAll(*this); }

}  // namespace lurmo
