#include "engine/thread_stack.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

namespace lurmo {

namespace {

// This function's own VirtualAlloc runs below the caller's frame: those pages always stay.
constexpr uintptr_t kKeptAtLeast = 16 * 1024;
constexpr uintptr_t kPageMask = 4096 - 1;

}  // namespace

size_t ReleaseUnusedStack(size_t keptBelowFrame) {
    const uintptr_t kept = std::max<uintptr_t>(keptBelowFrame, kKeptAtLeast);
    const uintptr_t frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (frame < kept) return 0;
    const uintptr_t high = (frame - kept) & ~kPageMask;
    MEMORY_BASIC_INFORMATION info{};
    if (!VirtualQuery(reinterpret_cast<void*>(high), &info, sizeof info)) return 0;
    // The committed pages that reach up to `high` without a break. Below them lie the
    // stack's guard page and what is only reserved, which must stay as they are.
    uintptr_t low = 0;
    for (uintptr_t at = reinterpret_cast<uintptr_t>(info.AllocationBase); at < high;) {
        if (!VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info)) return 0;
        const bool usable = info.State == MEM_COMMIT && !(info.Protect & (PAGE_GUARD | PAGE_NOACCESS));
        if (!usable) low = 0;
        else if (low == 0) low = at;
        at = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    }
    if (low == 0 || low >= high) return 0;
    // MEM_RESET, not MEM_DECOMMIT: the pages stay usable stack, with no guard page of
    // their own that could grow it again.
    if (!VirtualAlloc(reinterpret_cast<void*>(low), high - low, MEM_RESET, PAGE_READWRITE)) return 0;
    return high - low;
}

}  // namespace lurmo
