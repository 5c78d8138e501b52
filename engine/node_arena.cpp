#include "engine/node_arena.h"

#include <cstdlib>
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
constexpr size_t kClassCount = kArenaSmallLimit / 8;

size_t RoundToClass(size_t bytes) { return (bytes + 7) & ~size_t{7}; }

size_t ChunkHeader() { return RoundToClass(sizeof(NodeArena::Chunk)); }
size_t LargeHeader() { return RoundToClass(sizeof(NodeArena::LargeBlock)); }

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
    bytes = RoundToClass(bytes ? bytes : 1);
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
        void*& head = arena.freeLists[bytes / 8 - 1];
        if (head) {
            void* block = head;
            head = *static_cast<void**>(block);
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
    bytes = RoundToClass(bytes ? bytes : 1);
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
    void*& head = arena.freeLists[bytes / 8 - 1];
    *static_cast<void**>(block) = head;
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

NodeArena::~NodeArena() { ArenaReleaseAll(*this); }

}  // namespace lurmo
