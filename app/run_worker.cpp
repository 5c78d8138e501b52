#include "app/run_worker.h"

#include <process.h>

#include <memory>

#include "app/app_state.h"
#include "app/target_boxes.h"
#include "engine/accumulation.h"
#include "list/result_rows.h"
#include "list/sorting.h"

namespace lurmo {

namespace {

// What the worker was given when it started; it owns this copy.
struct WorkerJob {
    RunParameters params;
    bool snapshotMode = false;
};

void FinishRun(const WorkerJob& job) {
    if (g_app.grandTotal != 0) RefreshPercentages();
    ApplyStoredSort();
    SetWindowTextW(g_app.accumulateButton, L"集計(&A)");
    RefreshStatusBar();
    AddToHistory();
    if (!job.snapshotMode) PostMessageW(g_app.main, kMsgRunFinishedTree, 0, 0);
    PostMessageW(g_app.main, kMsgRunFinished, 0, 0);
}

unsigned __stdcall RunWorker(void* argument) {
    std::unique_ptr<WorkerJob> job(static_cast<WorkerJob*>(argument));
    g_app.rowCount = 0;
    g_app.grandTotal = 0;

    // Each finished child becomes a row at once; the grand total follows the rows.
    RunSink sink;
    sink.fileRow = [](FileEntry* entry) {
        g_app.grandTotal += entry->size;
        AppendFileRow(entry);
    };
    sink.folderRow = [](FolderEntry* entry) {
        g_app.grandTotal += entry->size;
        AppendFolderRow(entry);
    };
    sink.snapshotRow = [](SnapshotEntry* entry) {
        g_app.grandTotal += entry->size;
        AppendSnapshotRow(entry);
    };
    const RunResult result = MeasureChildren(job->params, job->snapshotMode, sink);
    g_app.busy.store(0);
    if (result.outcome == RunOutcome::Completed) FinishRun(*job);
    return 0;
}

// Binds the target as a shell folder for the rows' icons. Done on the user-interface
// thread, which owns the shell objects, before the worker starts; a failure only means
// rows without icons.
void BindTargetFolder() {
    g_app.targetIcon.reset();
    g_app.targetFolder.reset();
    std::wstring path(g_app.pathBuffer, g_app.nameSlot);
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    PIDLIST_ABSOLUTE target = ILCreateFromPathW(path.c_str());
    if (!target) return;
    if (g_app.desktop &&
        SUCCEEDED(g_app.desktop->BindToObject(target, nullptr, IID_IShellFolder, g_app.targetFolder.put_void()))) {
        g_app.targetFolder->QueryInterface(IID_IShellIcon, g_app.targetIcon.put_void());
    }
    ILFree(target);
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

bool StartWorker() {
    auto job = std::make_unique<WorkerJob>();
    job->snapshotMode = g_app.effect.snapShot != 0;
    job->params.usedSize = g_app.effect.usedSize != 0;
    job->params.clusterSize = g_app.scan.clusterSize;
    job->params.cancel = &g_app.cancel;
    if (!SetScanTarget(job->params, std::wstring(g_app.pathBuffer, g_app.nameSlot))) return false;
    BindTargetFolder();
    // Busy and cancel are set here rather than by the thread itself, so that a second
    // start or a cancel in the moment before the thread runs is neither missed nor lost.
    g_app.cancel.store(0);
    g_app.busy.store(1);
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
    return true;
}

}  // namespace lurmo
