// Measuring every immediate child of a target: the part of an accumulation that knows
// nothing of windows. Whoever shows the rows (the result list, the console report, the
// tests) receives each finished record through a RunSink.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/entries.h"
#include "engine/size_rule.h"

namespace lurmo {

// Each callback takes ownership of the record it is handed. They are called on the
// measuring thread, one per child, in the order the file system returns the children.
struct RunSink {
    std::function<void(FileEntry*)> fileRow;       // file-operation mode
    std::function<void(FolderEntry*)> folderRow;   // file-operation mode, tree built
    std::function<void(SnapshotEntry*)> snapshotRow;
    // Called, when set, whenever the next child is still being measured: the rows handed
    // over so far are all there will be for a while, so a consumer that gathers rows
    // shows them now.
    std::function<void()> waiting;
};

enum class RunOutcome { Completed, Cancelled };

struct RunResult {
    RunOutcome outcome = RunOutcome::Completed;
    int32_t rowCount = 0;
    uint64_t grandTotal = 0;   // sum of the sizes of the rows handed over
    bool unreadable = false;   // the target itself could not be enumerated: no rows, not "empty"
    // Folders (full extended paths) that could not be opened or read to their end: the
    // rows are measured, but their totals lack what these hold. Only for a completed run.
    std::vector<std::wstring> unreadableFolders;
};

// params holds the target (SetScanTarget), the cluster size and the cancel request.
// A target that cannot be enumerated completes with no rows and unreadable set; an empty
// one completes with no rows and unreadable clear. In file-operation mode a
// child finished when the cancel request is seen is discarded; in snapshot mode it keeps
// its row.
RunResult MeasureChildren(RunParameters& params, bool snapshotMode, const RunSink& sink);

// Each child's size as a snapshot measurement gives it, by name: what a fresh
// accumulation of the target would list, for checking a listing kept up to date.
std::map<std::wstring, uint64_t> MeasureChildSizes(RunParameters& params);

}  // namespace lurmo
