#include "engine/run_counters.h"

namespace lurmo {

void ResetRunCounters(RunCounters& counters) {
    for (CounterLane& lane : counters.lanes) {
        lane.files.store(0, std::memory_order_relaxed);
        lane.folders.store(0, std::memory_order_relaxed);
        lane.bytes.store(0, std::memory_order_relaxed);
    }
}

RunCounts SumRunCounters(const RunCounters& counters) {
    RunCounts counts;
    for (const CounterLane& lane : counters.lanes) {
        counts.files += lane.files.load(std::memory_order_relaxed);
        counts.folders += lane.folders.load(std::memory_order_relaxed);
        counts.bytes += lane.bytes.load(std::memory_order_relaxed);
    }
    return counts;
}

}  // namespace lurmo
