// The walk that measures one folder and everything below it, for a single thread or as
// one piece of a run that several threads share. A folder is read whole before any of
// its subfolders is entered, so one find handle is open at a time and the subfolders
// still to be entered can be handed to an idle thread, shallowest first.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/entries.h"
#include "engine/link_rules.h"
#include "engine/size_rule.h"

namespace lurmo {

// One piece of a measurement: a folder and every folder below it that is not handed on.
struct WalkJob {
    std::wstring path;          // the folder's full extended path, without trailing backslash
    ChildMap* map = nullptr;    // where the folder's children go; null when only summing
    // When a tree is kept: the nodes above the folder, the folder's own node last, that
    // the bytes of this piece still have to be added to (the walk writes no size outside
    // its own piece, as another thread may be walking beside it).
    std::vector<Node*> chain;
    uint64_t total = 0;         // bytes found by this piece alone
    // Links leading outside the target, counted 0 here and measured after the walks.
    std::vector<PendingLink> links;
};

// How a walk hands subfolders to other threads; a walk without one keeps everything.
struct WalkShare {
    void* context = nullptr;
    bool (*wanted)(void* context) = nullptr;   // true while a thread waits for work
    void (*hand)(void* context, std::unique_ptr<WalkJob> job) = nullptr;
};

// Measures the folder whose full path stands in params.path. With job.map set, builds
// its tree with nodes from arena and writes the size of every folder node below it; the
// folder's own total is left in job.total. Stops early when the run is cancelled. A link
// is not entered: it counts 0, or, leading outside the target, waits in job.links.
void WalkFolder(RunParameters& params, WalkJob& job, NodeArena* arena, const WalkShare* share);

}  // namespace lurmo
