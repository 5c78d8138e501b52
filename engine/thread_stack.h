// What a thread's stack costs the process's working set.
#pragma once

#include <cstddef>

namespace lurmo {

// Hands back to the system the pages of the calling thread's stack that lie well below
// its current frame, keeping them committed: reached again, they read as zeros or as
// what they held, which below the frame is nothing anyone reads. Meant for the first
// statement of a thread procedure: Wine writes zeros over 960 KiB of every new thread's
// stack before the procedure runs, and those pages would stay in the working set for
// as long as the thread lives, used or not; handed back, only the pages the thread
// reaches come back. Windows commits a stack page only when it is reached, and there
// this finds little or nothing to hand back. Returns the bytes handed back.
// `keptBelowFrame` bytes below the caller's frame stay: the calls the thread makes next
// find those pages in place instead of faulting them in again one by one. A thread that
// only waits and makes shallow calls keeps little; one that recurses keeps more.
constexpr size_t kStackKeptForCalls = 64 * 1024;
size_t ReleaseUnusedStack(size_t keptBelowFrame = kStackKeptForCalls);

}  // namespace lurmo
