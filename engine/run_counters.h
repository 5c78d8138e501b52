// How far a run has come: the files, folders and bytes measured so far, for showing
// progress while it goes on. Each measuring thread writes a lane of its own, alone, with
// a plain load and store (no locked instruction, no message, nothing but the increment
// per item); whoever shows the progress sums the lanes whenever it likes. A lane only
// grows, so the sum read later is never below the sum read before.
#pragma once

#include <atomic>
#include <cstdint>

namespace lurmo {

// One cache line each, so that two threads counting never share one.
struct alignas(64) CounterLane {
    std::atomic<uint64_t> files{0};
    std::atomic<uint64_t> folders{0};
    std::atomic<uint64_t> bytes{0};   // under the run's size rule
};

// The run's own thread and one per measuring thread.
constexpr uint32_t kCounterLanes = 9;

struct RunCounters {
    CounterLane lanes[kCounterLanes];
};

struct RunCounts {
    uint64_t files = 0;
    uint64_t folders = 0;
    uint64_t bytes = 0;
};

// Only while no run writes them.
void ResetRunCounters(RunCounters& counters);
RunCounts SumRunCounters(const RunCounters& counters);

// Called by the lane's one writer; a null lane counts nothing (a measurement that
// shows no progress).
inline void CountFile(CounterLane* lane, uint64_t size) {
    if (!lane) return;
    lane->files.store(lane->files.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    lane->bytes.store(lane->bytes.load(std::memory_order_relaxed) + size, std::memory_order_relaxed);
}

inline void CountFolder(CounterLane* lane) {
    if (!lane) return;
    lane->folders.store(lane->folders.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

}  // namespace lurmo
