#include "engine/accumulation.h"

#include <process.h>

#include <atomic>
#include <deque>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "engine/folder_tree.h"
#include "engine/folder_walk.h"
#include "engine/handles.h"
#include "engine/thread_stack.h"

namespace lurmo {

namespace {

static_assert(std::atomic<LONG>::is_always_lock_free, "the run's counters must be lock-free");
static_assert(kMaxMeasureThreads + 1 <= kCounterLanes, "every thread of a run counts in a lane of its own");

bool IsFolder(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

SnapshotEntry* MakeSnapshotEntry(const WIN32_FIND_DATAW& data, uint64_t size) {
    auto entry = std::make_unique<SnapshotEntry>();
    entry->name = data.cFileName;
    entry->kind = IsFolder(data) ? 0 : KindFromAttributes(data.dwFileAttributes);
    MarkShortcut(*entry);
    entry->size = size;
    entry->time = ToLocalFileTime(data.ftLastWriteTime);
    return entry.release();
}

// One child of the target, in the order the file system listed it. The run's thread
// makes it and alone reads it once openPieces has fallen to 0; until then the measuring
// threads own its pieces and arenas (the list of pieces under the run's lock).
struct Slot {
    RowEntry* record = nullptr;     // owned; handed to the sink on delivery
    bool folder = false;
    std::atomic<LONG> openPieces{0};
    // A file whose measuring the cancel request interrupted: the only child that keeps its
    // row behind the request, and only in snapshot mode.
    bool measuredUnderCancel = false;
    std::vector<std::unique_ptr<WalkJob>> pieces;
    std::unique_ptr<NodeArena[]> arenas;   // one per measuring thread, when a tree is kept
    // The child itself when it is a link leading outside the target; the bytes of every
    // such link in it, measured once the walks are done.
    std::vector<PendingLink> links;
    uint64_t linkBytes = 0;
};

struct QueuedPiece {
    Slot* slot;
    WalkJob* piece;
};

// What the run's thread and its measuring threads share. The queue is guarded by lock;
// `ready` counts the pieces queued (and the wake-ups of a stop); the counters are
// written by whoever changes what they count.
struct SharedRun {
    CRITICAL_SECTION lock;
    std::deque<QueuedPiece> queue;
    unique_handle ready;      // semaphore
    unique_handle progress;   // auto-reset event: a slot was finished
    std::atomic<LONG> queued{0};
    std::atomic<LONG> idle{0};
    std::atomic<LONG> stop{0};
    std::atomic<LONG> halt{0};     // the run ends early: the measuring threads stop their walks
    std::atomic<LONG> failed{0};   // a measuring thread ran out of memory
    bool keepTrees = false;
};

// A measuring thread: each owns its parameters (path and scratch state).
struct Measurer {
    SharedRun* run = nullptr;
    uint32_t index = 0;
    RunParameters params;
    unique_handle thread;
};

struct ShareContext {
    SharedRun* run;
    Slot* slot;
};

bool WantsWork(void* context) {
    const SharedRun* run = static_cast<ShareContext*>(context)->run;
    return run->idle.load(std::memory_order_relaxed) > 0 && run->queued.load(std::memory_order_relaxed) == 0;
}

void Enqueue(SharedRun& run, Slot* slot, std::unique_ptr<WalkJob> piece, bool first) {
    // Counted open before it is visible, so that its slot cannot be seen finished early.
    slot->openPieces.fetch_add(1);
    EnterCriticalSection(&run.lock);
    WalkJob* raw = piece.get();
    try {
        slot->pieces.push_back(std::move(piece));
        if (first) run.queue.push_front({slot, raw});
        else run.queue.push_back({slot, raw});
    } catch (...) {
        LeaveCriticalSection(&run.lock);
        slot->openPieces.fetch_sub(1);
        throw;
    }
    run.queued.fetch_add(1);
    LeaveCriticalSection(&run.lock);
    ReleaseSemaphore(run.ready.get(), 1, nullptr);
}

// A piece handed on by a walk goes first, as it belongs to a slot that is waited for.
void HandPiece(void* context, std::unique_ptr<WalkJob> piece) {
    auto* share = static_cast<ShareContext*>(context);
    Enqueue(*share->run, share->slot, std::move(piece), true);
}

void FinishPiece(SharedRun& run, Slot* slot) {
    if (slot->openPieces.fetch_sub(1) == 1) SetEvent(run.progress.get());
}

void ServePieces(Measurer& self) {
    SharedRun& run = *self.run;
    for (;;) {
        run.idle.fetch_add(1);
        WaitForSingleObject(run.ready.get(), INFINITE);
        run.idle.fetch_sub(1);
        if (run.stop.load()) return;
        EnterCriticalSection(&run.lock);
        const QueuedPiece next = run.queue.front();
        run.queue.pop_front();
        run.queued.fetch_sub(1);
        LeaveCriticalSection(&run.lock);

        ShareContext context{&run, next.slot};
        const WalkShare share{&context, WantsWork, HandPiece};
        self.params.path = next.piece->path;
        NodeArena* arena = run.keepTrees ? &next.slot->arenas[self.index] : nullptr;
        try {
            WalkFolder(self.params, *next.piece, arena, &share);
        } catch (...) {
            // The run learns of the failure before the slot can look finished.
            run.failed.store(1);
            run.halt.store(1);
            FinishPiece(run, next.slot);
            throw;
        }
        FinishPiece(run, next.slot);
    }
}

// Nothing may leave a thread procedure: running out of memory stops the whole run,
// which the run's thread reports as its own failure.
unsigned __stdcall MeasureThread(void* argument) {
    // One thread a processor, each with the stack Wine zeroed for it: what the walk
    // does not reach again is handed back at once, while the tree is still empty.
    ReleaseUnusedStack();
    auto& self = *static_cast<Measurer*>(argument);
    try {
        ServePieces(self);
    } catch (...) {
        self.run->failed.store(1);
        self.run->halt.store(1);
        SetEvent(self.run->progress.get());
    }
    return 0;
}

uint32_t MeasureThreadCount(const RunParameters& params) {
    if (params.threads) return params.threads < kMaxMeasureThreads ? params.threads : kMaxMeasureThreads;
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    const uint32_t processors = info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
    return processors < kMaxMeasureThreads ? processors : kMaxMeasureThreads;
}

// The measuring threads of one run; they are told to stop and waited for when it goes,
// however the run ends.
struct MeasurerCrew {
    SharedRun run;
    std::vector<std::unique_ptr<Measurer>> measurers;

    ~MeasurerCrew() {
        run.halt.store(1);
        run.stop.store(1);
        std::vector<HANDLE> threads;
        for (const auto& measurer : measurers) {
            if (measurer->thread) threads.push_back(measurer->thread.get());
        }
        if (!threads.empty()) {
            ReleaseSemaphore(run.ready.get(), static_cast<LONG>(threads.size()), nullptr);
            // A walk looks at the request after every item, so this does not take long.
            WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
        }
        DeleteCriticalSection(&run.lock);
    }
};

void StartCrew(MeasurerCrew& crew, const RunParameters& params, uint32_t count) {
    crew.run.ready.reset(CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr));
    crew.run.progress.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!crew.run.ready || !crew.run.progress) throw std::bad_alloc();
    for (uint32_t i = 0; i < count; ++i) {
        auto measurer = std::make_unique<Measurer>();
        measurer->run = &crew.run;
        measurer->index = i;
        measurer->params.usedSize = params.usedSize;
        measurer->params.clusterSize = params.clusterSize;
        measurer->params.path = params.path.substr(0, params.nameSlot);
        measurer->params.nameSlot = params.nameSlot;
        measurer->params.cancel = params.cancel;
        measurer->params.halt = &crew.run.halt;
        if (params.counters) measurer->params.lane = &params.counters->lanes[i + 1];
        measurer->params.links = params.links;
        crew.measurers.push_back(std::move(measurer));
        const uintptr_t thread = _beginthreadex(nullptr, 0, MeasureThread, crew.measurers.back().get(), 0, nullptr);
        if (!thread) {
            if (i == 0) throw std::bad_alloc();
            break;   // fewer threads measure
        }
        crew.measurers.back()->thread.reset(reinterpret_cast<HANDLE>(thread));
    }
}

// Completes a finished folder slot: the bytes of each piece go to the nodes above it,
// and the nodes made on every thread to the row's own arena.
void CompleteSlot(Slot& slot, uint32_t threads) {
    if (!slot.folder) {
        slot.record->size += slot.linkBytes;
        return;
    }
    uint64_t total = 0;
    for (const auto& piece : slot.pieces) {
        total += piece->total;
        for (Node* node : piece->chain) node->size += piece->total;
    }
    slot.record->size = total + slot.linkBytes;
    if (slot.arenas) {
        auto* entry = static_cast<FolderEntry*>(slot.record);
        for (uint32_t i = 0; i < threads; ++i) ArenaAdopt(entry->arena, slot.arenas[i]);
    }
}

void ReleaseSlot(Slot& slot, bool snapshotMode) {
    ReleaseRowEntry(std::exchange(slot.record, nullptr), snapshotMode);
}

// Where a child with the reparse attribute stands: true when it is measured as a plain
// one. A link leading outside the target waits in the slot, counting 0 until then.
bool IsPlainChild(RunParameters& params, const WIN32_FIND_DATAW& data, bool snapshotMode, Slot& slot) {
    WriteName(params, params.nameSlot, data.cFileName);
    PendingLink link;
    const LinkPlace place = PlaceLink(*params.links, params.path, link.final);
    if (place == LinkPlace::NotALink) return true;
    if (place == LinkPlace::Outside) {
        link.key = params.path;
        link.folder = IsFolder(data);
        if (link.folder && !snapshotMode) {
            auto* entry = static_cast<FolderEntry*>(slot.record);
            link.map = &entry->children;
            link.arena = &entry->arena;
        }
        link.owner = &slot.linkBytes;
        slot.links.push_back(std::move(link));
    }
    return false;
}

// Makes the slot of one child: a file is measured here at once, a folder is queued.
void OpenSlot(RunParameters& params, const WIN32_FIND_DATAW& data, bool snapshotMode, MeasurerCrew& crew,
              Slot& slot, uint32_t threads) {
    const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!IsFolder(data)) {
        WriteName(params, params.nameSlot, data.cFileName);
        if (snapshotMode) {
            slot.record = MakeSnapshotEntry(data, MeasureFileSize(params, data, params.nameSlot));
        } else {
            FileEntry* entry = MakeFileEntry(params, data);
            MarkShortcut(*entry);
            slot.record = entry;
        }
        CountFile(params.lane, slot.record->size);
        if (link && !IsPlainChild(params, data, snapshotMode, slot)) slot.record->size = 0;
        return;
    }
    CountFolder(params.lane);
    slot.folder = true;
    slot.record = snapshotMode ? static_cast<RowEntry*>(MakeSnapshotEntry(data, 0))
                               : static_cast<RowEntry*>(MakeFolderEntry(data));
    if (link && !IsPlainChild(params, data, snapshotMode, slot)) return;
    auto piece = std::make_unique<WalkJob>();
    WriteName(params, params.nameSlot, data.cFileName);
    piece->path = params.path;
    if (!snapshotMode) {
        slot.arenas = std::make_unique<NodeArena[]>(threads);
        piece->map = &static_cast<FolderEntry*>(slot.record)->children;
    }
    Enqueue(crew.run, &slot, std::move(piece), false);
}

bool HasLinks(const Slot& slot) {
    if (!slot.links.empty()) return true;
    for (const auto& piece : slot.pieces) {
        if (!piece->links.empty()) return true;
    }
    return false;
}

bool AllWalksDone(const std::deque<Slot>& slots) {
    for (const Slot& slot : slots) {
        if (slot.openPieces.load(std::memory_order_acquire) != 0) return false;
    }
    return true;
}

// Once every walk is done, the links that lead outside the target are measured, all
// together in the order of their full paths, so which of them counts shared data does
// not depend on which thread walked faster. The measuring threads are idle by then, so
// the first arena of a slot is free to take the nodes.
void MeasureRunLinks(RunParameters& params, std::deque<Slot>& slots) {
    std::vector<PendingLink> links;
    for (Slot& slot : slots) {
        NodeArena* arena = slot.arenas ? &slot.arenas[0] : nullptr;
        auto take = [&](std::vector<PendingLink>& found) {
            for (PendingLink& link : found) {
                link.owner = &slot.linkBytes;
                if (!link.arena) link.arena = arena;
                links.push_back(std::move(link));
            }
            found.clear();
        };
        take(slot.links);
        for (auto& piece : slot.pieces) take(piece->links);
    }
    MeasureOutsideLinks(params, links, nullptr, nullptr);
}

enum class Delivery { Delivered, NotReady, Stop };

// Hands the front slot to the sink when it is finished. Once the cancel request is seen
// no child is handed over, but for a file that was being measured when it came, which
// keeps its row in snapshot mode; the run ends behind it.
Delivery DeliverFront(RunParameters& params, bool snapshotMode, Slot& slot, uint32_t threads, const RunSink& sink,
                      RunResult& result, bool linksMeasured) {
    if (slot.openPieces.load(std::memory_order_acquire) != 0) return Delivery::NotReady;
    if (!linksMeasured && HasLinks(slot)) return Delivery::NotReady;
    const bool cancelled = IsCancelled(params);
    if (cancelled && !(snapshotMode && slot.measuredUnderCancel)) return Delivery::Stop;
    CompleteSlot(slot, threads);
    RowEntry* record = std::exchange(slot.record, nullptr);
    result.grandTotal += record->size;
    ++result.rowCount;
    if (snapshotMode) sink.snapshotRow(static_cast<SnapshotEntry*>(record));
    else if (slot.folder) sink.folderRow(static_cast<FolderEntry*>(record));
    else sink.fileRow(static_cast<FileEntry*>(record));
    return cancelled ? Delivery::Stop : Delivery::Delivered;
}

}  // namespace

RunResult MeasureChildren(RunParameters& params, bool snapshotMode, const RunSink& sink) {
    RunResult result;
    WIN32_FIND_DATAW data;
    params.lane = params.counters ? &params.counters->lanes[0] : nullptr;
    WriteName(params, params.nameSlot, L"");
    EnsureLinkLedger(params);
    std::wstring target = params.path;
    // Whether the request was there before the current child came out of the listing.
    bool cancelledBeforeItem = IsCancelled(params);
    unique_hfind find = OpenEnumeration(target, data);
    if (!find) {
        // A volume root lists no "." and "..", so an empty one has nothing to find at all:
        // that is an empty target, not one that could not be read.
        const DWORD error = GetLastError();
        result.unreadable = error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES;
        return result;
    }

    // The crew is declared after the slots, so however the run ends its threads are
    // stopped and joined before the slots they write to are released.
    std::deque<Slot> slots;
    struct SlotsOwner {
        std::deque<Slot>& slots;
        bool snapshotMode;
        ~SlotsOwner() {
            for (Slot& slot : slots) ReleaseSlot(slot, snapshotMode);
        }
    } owner{slots, snapshotMode};
    MeasurerCrew crew;
    InitializeCriticalSection(&crew.run.lock);
    crew.run.keepTrees = !snapshotMode;
    const uint32_t threads = MeasureThreadCount(params);
    StartCrew(crew, params, threads);

    // The children are listed and queued as they come; the finished ones are handed over
    // from the front, so the sink sees them in the order the file system gave them.
    bool listing = true;
    bool stopped = false;
    bool linksMeasured = false;
    auto deliverReady = [&]() {
        while (!slots.empty()) {
            if (crew.run.failed.load()) throw std::bad_alloc();
            const Delivery delivery =
                DeliverFront(params, snapshotMode, slots.front(), threads, sink, result, linksMeasured);
            if (delivery == Delivery::NotReady) {
                if (sink.waiting) sink.waiting();
                return;
            }
            if (delivery == Delivery::Stop) {
                stopped = true;
                return;
            }
            slots.pop_front();
        }
    };
    while (!stopped) {
        if (crew.run.failed.load()) throw std::bad_alloc();
        if (listing) {
            if (!IsDotEntry(data)) {
                slots.emplace_back();
                Slot& slot = slots.back();
                OpenSlot(params, data, snapshotMode, crew, slot, threads);
                slot.measuredUnderCancel = !slot.folder && !cancelledBeforeItem && IsCancelled(params);
            }
            deliverReady();
            if (stopped) break;
            cancelledBeforeItem = IsCancelled(params);
            listing = NextEnumeration(find.get(), data);
            if (!listing) {
                if (GetLastError() != ERROR_NO_MORE_FILES) result.unreadableFolders.push_back(target);
                find.reset();
            }
            continue;
        } else if (slots.empty()) {
            break;
        } else if (!linksMeasured && AllWalksDone(slots)) {
            MeasureRunLinks(params, slots);
            linksMeasured = true;
        } else {
            // Waits for a slot to finish; the timeout bounds how late a cancel request
            // that stops no walk (all are done or queued) is seen here.
            WaitForSingleObject(crew.run.progress.get(), 50);
        }
        deliverReady();
    }
    if (stopped) {
        result.outcome = RunOutcome::Cancelled;
        result.unreadableFolders.clear();
        return result;
    }
    // Every piece is finished and its thread idle: what each could not read is final.
    for (const auto& measurer : crew.measurers) {
        for (std::wstring& folder : measurer->params.unreadable) result.unreadableFolders.push_back(std::move(folder));
    }
    return result;
}

std::map<std::wstring, uint64_t> MeasureChildSizes(RunParameters& params) {
    std::map<std::wstring, uint64_t> sizes;
    RunSink sink;
    sink.snapshotRow = [&sizes](SnapshotEntry* entry) {
        sizes[entry->name] = entry->size;
        ReleaseRowEntry(entry, true);
    };
    MeasureChildren(params, true, sink);
    return sizes;
}

}  // namespace lurmo
