#include "app/run_worker.h"

#include <objbase.h>
#include <process.h>

#include <memory>
#include <new>

#include "state/app_state.h"
#include "app/run_progress.h"
#include "app/target_boxes.h"
#include "state/window_messages.h"
#include "engine/accumulation.h"
#include "engine/thread_stack.h"
#include "list/growth.h"
#include "list/result_rows.h"
#include "list/sorting.h"

namespace lurmo {

namespace {

// What the worker was given when it started; it owns this copy, so the user-interface
// thread may install the next target while this run finishes.
struct WorkerJob {
    RunParameters params;
    bool snapshotMode = false;
    bool inPlace = false;     // measured into the rows already listed
    unsigned run = 0;
    std::wstring target;   // as the user sees it, with its trailing backslash
    HWND main = nullptr;
};

// COM for the worker's own thread: the shell objects it binds live in its apartment.
class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};

// The target bound as a shell folder on the calling thread; a failure only means rows
// without icons.
struct BoundTarget {
    com_ptr<IShellFolder> folder;
    com_ptr<IShellIcon> icon;
};

void BindTarget(const std::wstring& target, BoundTarget& bound) {
    std::wstring path = target;
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    PIDLIST_ABSOLUTE item = ILCreateFromPathW(path.c_str());
    if (!item) return;
    com_ptr<IShellFolder> desktop;
    if (SUCCEEDED(SHGetDesktopFolder(desktop.put())) &&
        SUCCEEDED(desktop->BindToObject(item, nullptr, IID_IShellFolder, bound.folder.put_void()))) {
        bound.folder->QueryInterface(IID_IShellIcon, bound.icon.put_void());
    }
    ILFree(item);
}

// The end steps of a completed run. The percentages go to the list's thread a slice of
// rows at a time, the rest in one message: each list message from this thread would be a
// trip between threads.
void FinishRun(const WorkerJob& job) {
    g_app.completedRun.store(job.run);
    g_app.listingIncomplete.store(0);
    if (job.inPlace) RunOnListThread([] { EndMeasuringInPlace(true); });
    if (g_app.grandTotal != 0) RefreshPercentages();
    const int historyIcon = HistoryIconOf(job.target);
    RunOnListThread([&job, historyIcon] {
        ApplyStoredSort();
        SetWindowTextW(g_app.accumulateButton, L"集計(&A)");
        RefreshStatusBar();
        AddToHistory(job.target, historyIcon);
    });
    if (!job.snapshotMode) PostMessageW(job.main, kMsgRunFinishedTree, job.run, 0);
    PostMessageW(job.main, kMsgRunFinished, job.run, 0);
}

// The rows of a run on their way to the list. Rows that come quickly are inserted a few
// hundred at a time, each batch in one message to the list's thread, since one message
// between threads per row and cell made a folder of 100,000 files take minutes; a row
// that comes after a pause (a folder's subtree measured) goes at once, so the list shows
// what is known as it is known. A batch never holds the window for long, nor for a
// tenth of a second.
class RowFeed {
public:
    RowFeed(bool snapshot, bool inPlace, const RowShell& shell) : shell_(shell) {
        batch_.snapshot = snapshot;
        batch_.inPlace = inPlace;
    }
    void Add(RowEntry* entry, bool folder) {
        const DWORD now = GetTickCount();
        batch_.Add(entry, folder, shell_);
        if (batch_.rows.size() >= kMostRows || now - lastAdd_ >= kPause || now - lastFlush_ >= kLongest) Flush();
        lastAdd_ = now;
    }
    void Flush() {
        g_app.grandTotal += batch_.Flush();
        lastFlush_ = GetTickCount();
    }
    // The next child takes a while: the rows gathered so far are shown at once rather
    // than after it.
    void FlushWaiting() {
        if (!batch_.rows.empty()) Flush();
    }

private:
    static constexpr size_t kMostRows = 512;
    static constexpr DWORD kPause = 20, kLongest = 100;
    const RowShell& shell_;
    RowBatch batch_;
    DWORD lastAdd_ = GetTickCount(), lastFlush_ = GetTickCount();
};

void MeasureRun(WorkerJob& job) {
    ComApartment apartment;
    BoundTarget bound;
    BindTarget(job.target, bound);
    TypeIcons types;
    const RowShell shell{bound.folder.get(), bound.icon.get(), job.target, &types};
    if (!job.inPlace) {
        g_app.rowCount = 0;
        g_app.grandTotal = 0;
    }

    // Each finished child becomes a row; the grand total follows the rows.
    RowFeed feed(job.snapshotMode, job.inPlace, shell);
    RunSink sink;
    sink.fileRow = [&feed](FileEntry* entry) { feed.Add(entry, false); };
    sink.folderRow = [&feed](FolderEntry* entry) { feed.Add(entry, true); };
    sink.snapshotRow = [&feed](SnapshotEntry* entry) { feed.Add(entry, !(entry->kind & kKindFile)); };
    sink.waiting = [&feed] { feed.FlushWaiting(); };
    const RunResult result = MeasureChildren(job.params, job.snapshotMode, sink);
    feed.Flush();
    // On the list's thread: from here every row read would be a message between threads,
    // a hundred thousand of them waiting each for the window's paints.
    // Rows measured in place keep the baselines they had.
    if (!job.inPlace) RunOnListThread([&job] { TakeRunBaseline(job.run); });
    else if (result.outcome != RunOutcome::Completed) RunOnListThread([] { EndMeasuringInPlace(false); });
    // The end steps run on the list's thread: the percentages alone are a message per row.
    if (result.outcome != RunOutcome::Completed) return;
    g_app.unreadableFolders.store(static_cast<int>(result.unreadableFolders.size()));
    FinishRun(job);
}

unsigned __stdcall RunWorker(void* argument) {
    // The run's thread lives until the tree is whole, when the process is at its
    // largest: the stack Wine zeroed for it and that it never reaches goes back first.
    ReleaseUnusedStack();
    std::unique_ptr<WorkerJob> job(static_cast<WorkerJob*>(argument));
    // Nothing may leave a thread procedure: a failure ends this run the way a cancel
    // does, and the window is told why.
    try {
        MeasureRun(*job);
    } catch (const std::bad_alloc&) {
        PostMessageW(job->main, kMsgRunFailed, job->run, 1);
    } catch (...) {
        PostMessageW(job->main, kMsgRunFailed, job->run, 0);
    }
    g_app.busy.store(0);
    return 0;
}

constexpr UINT kRunPaintInterval = 200;

// Redraw goes off only while rows keep coming (the list's procedure switches it off at
// an insertion), so that between bursts the list takes clicks and scrolls as ever:
// with redraw off a window is passed over by the mouse.
void HoldListPainting() {
    g_app.runPaintHold = true;
    SetTimer(g_app.main, kTimerRunPaint, kRunPaintInterval, nullptr);
}

// Turns the list's redraw back on, when it is off, and repaints it as flags say.
void TurnListRedrawOn(UINT flags) {
    if (!g_app.listRedrawOff) return;
    g_app.listRedrawOff = false;
    SendMessageW(g_app.list, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(g_app.list, nullptr, nullptr, flags);
}

// The main window's own binding, for rows that the user-interface thread makes later.
void BindTargetForMainThread() {
    g_app.targetIcon.reset();
    g_app.targetFolder.reset();
    ForgetMainThreadTypeIcons();
    BoundTarget bound;
    BindTarget(TargetPath(), bound);
    g_app.targetFolder = std::move(bound.folder);
    g_app.targetIcon = std::move(bound.icon);
}

}  // namespace

void OnRunPaintTimer() {
    if (!g_app.busy.load()) EndListPaintHold();
    else TurnListRedrawOn(RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void EndListPaintHold() {
    KillTimer(g_app.main, kTimerRunPaint);
    g_app.runPaintHold = false;
    TurnListRedrawOn(RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

bool StartWorker(bool inPlace) {
    auto job = std::make_unique<WorkerJob>();
    job->snapshotMode = g_app.effect.snapShot != 0;
    job->inPlace = inPlace;
    job->params.usedSize = g_app.effect.usedSize != 0;
    job->params.clusterSize = g_app.scan.clusterSize;
    job->params.cancel = &g_app.cancel;
    job->params.counters = &g_app.runCounters;
    job->target = TargetPath();
    job->main = g_app.main;
    job->run = ++g_app.runNumber;
    if (!SetScanTarget(job->params, job->target)) return false;
    // The notices of the watch after the run count links by the same rules, and know
    // what the run's links reached.
    job->params.links = MakeLinkLedger(job->params, g_app.effect.followLinks != 0);
    g_app.scan.links = job->params.links;
    BindTargetForMainThread();
    // Busy and cancel are set here rather than by the thread itself, so that a second
    // start or a cancel in the moment before the thread runs is neither missed nor lost.
    g_app.cancel.store(0);
    ResetRunCounters(g_app.runCounters);
    g_app.listingIncomplete.store(1);
    g_app.unreadableFolders.store(0);
    g_app.busy.store(1);
    if (inPlace) BeginMeasuringInPlace();
    else ForgetBaselines();
    // _beginthreadex, not _beginthread: its handle stays valid until closed, so it can be
    // waited on even after the thread has ended.
    const uintptr_t thread = _beginthreadex(nullptr, 0, RunWorker, job.get(), 0, nullptr);
    if (!thread) {
        g_app.busy.store(0);
        return false;
    }
    job.release();
    g_app.worker.reset(reinterpret_cast<HANDLE>(thread));
    HoldListPainting();
    BeginRunProgress();
    return true;
}

}  // namespace lurmo
