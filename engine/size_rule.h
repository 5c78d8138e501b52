// The run parameters and the rule that turns one file's find data into its size.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/entries.h"
#include "engine/file_system.h"
#include "engine/run_counters.h"
#include "engine/link_rules.h"

namespace lurmo {

// Everything a measurement reads, fixed while one run or one notice is handled. Each
// thread that measures owns its own copy, so two threads never write one path.
struct RunParameters {
    bool usedSize = true;       // false: logical sizes; true: sizes on disk
    uint32_t clusterSize = 0;   // bytes per cluster of the target's volume

    // The target in extended-length form with its trailing backslash, followed by the
    // relative path of whatever is being measured. nameSlot is just behind the target.
    std::wstring path;
    size_t nameSlot = 0;

    const std::atomic<LONG>* cancel = nullptr;  // set by the user-interface thread
    const std::atomic<LONG>* halt = nullptr;    // set by a run that ends early

    // Where a run counts what it has measured, for showing its progress: the caller's
    // counters (null for none), and the lane of the thread that owns these parameters.
    RunCounters* counters = nullptr;
    CounterLane* lane = nullptr;

    // Threads that measure a run's folders: 0 for one per processor (at most
    // kMaxMeasureThreads), 1 for a single one.
    uint32_t threads = 0;

    // The full paths of the folders the walks could not read whole, in the order met.
    std::vector<std::wstring> unreadable;

    // How links are treated and what they reached; shared by a run's threads and kept
    // for the watch after it. Made, following links, at the first need when not given.
    std::shared_ptr<LinkLedger> links;

    // Scratch state of the walks, kept here so a run allocates it once.
    std::vector<Node*> pending;
    std::vector<std::wstring> excluded;   // full paths a walk behind a link passes over
};

constexpr uint32_t kMaxMeasureThreads = 8;

bool IsCancelled(const RunParameters& params);

// Installs a user-facing target path (with or without a trailing backslash) as the
// target of the measurements. False when the path cannot be made absolute.
bool SetScanTarget(RunParameters& params, std::wstring_view target);

// Writes name at position of the path, dropping whatever stood behind it.
void WriteName(RunParameters& params, size_t position, std::wstring_view name);

// Reads the cluster size of the volume that holds the folder path (with or without its
// trailing backslash; "C:" stands for its root) into params.clusterSize. On
// failure reports "読み取りできませんでした. : <path>" and leaves the cluster size as it was.
bool QueryClusterSize(RunParameters& params, const wchar_t* path);

// Size of one file under the run's size rule. A compressed file under used size counts
// at least one cluster; its name is written at position to ask for its compressed size.
uint64_t MeasureFileSize(RunParameters& params, const WIN32_FIND_DATAW& data, size_t position);
// The same for a file measured again after a change: the path already holds its full
// path, and a compressed size is taken as returned, without the one-cluster minimum.
uint64_t RemeasureFileSize(RunParameters& params, const WIN32_FIND_DATAW& data);

uint32_t KindFromAttributes(DWORD attributes);

// A logical size rounded up to whole clusters (cluster 0: as it is).
uint64_t RoundUpToClusters(uint64_t logical, uint32_t cluster);

// Row records and tree nodes (the records own their names).
FileEntry* MakeFileEntry(RunParameters& params, const WIN32_FIND_DATAW& data);
FolderEntry* MakeFolderEntry(const WIN32_FIND_DATAW& data);
Node* MakeFileNode(RunParameters& params, NodeArena& arena, const WIN32_FIND_DATAW& data, bool count,
                   size_t position);
Node* MakeFolderNode(NodeArena& arena, const WIN32_FIND_DATAW& data);
// Re-measures a file node from fresh find data (the path holds its full path) and
// returns its new size; a folder node keeps its size.
uint64_t RefreshFileNodeSize(RunParameters& params, const WIN32_FIND_DATAW& data, Node* node);

}  // namespace lurmo
