#include "list/watcher.h"

#include <process.h>

#include <atomic>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "state/message_box.h"
#include "state/window_messages.h"
#include "engine/entries.h"
#include "engine/file_system.h"
#include "engine/thread_stack.h"
#include "list/arrivals.h"
#include "list/notices.h"
#include "list/result_rows.h"
#include "list/thread_wait.h"

namespace lurmo {

namespace {

constexpr DWORD kBufferBytes = 10240;
constexpr DWORD kNotifyFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE;

// One watch. The watcher thread issues every request itself and does not end while one
// of its requests is still pending, so the record is never freed under the system's
// feet; the user-interface thread frees it only after the thread has ended.
struct WatchRecord {
    unique_hfile directory;
    unique_handle event;       // the requests' completion event, manual reset
    // Set to end the thread. Not the completion event: every request issued resets that
    // one, so a stop that came just before a request went out was lost, and the thread
    // slept on until it was terminated.
    unique_handle stop;
    unique_handle issued;      // set by the thread once its first request is out
    unique_handle thread;
    OVERLAPPED overlapped{};
    alignas(DWORD) BYTE buffer[kBufferBytes]{};
    bool firstRequestFailed = false;
    // Wine reports changes in a sub-folder only once that folder has been opened after
    // the request was issued; these are the folders to open, parents first.
    std::vector<std::wstring> foldersToOpen;
    unsigned generation = 0;
    // Armed for a run that is still measuring: batches are kept until it has ended.
    bool holding = false;
    std::deque<std::vector<BYTE>> heldBatches;
    bool remeasureHeld = false;
    bool failed = false;      // ended by a failure on this side; nothing more is applied
};

struct NoticeBatch {
    const BYTE* buffer;
    DWORD bytes;
};

WatchRecord* g_watch = nullptr;
std::atomic<LONG> g_stopRequest{0};
unsigned g_generation = 0;

// Buffers handed over and not yet applied, oldest first, and where the first goes on. A
// burst brings buffers of hundreds of notices, each looked up on disk: applied whole, one
// took the window a tenth of a second and more. They are copied at once (the watch's
// thread asks for the next one sooner) and applied a slice at a time, the window
// answering between slices. A new watch, or none, starts from an empty queue: whatever
// stops a watch measures the target afresh or ends the listing.
struct NoticeQueue {
    std::deque<std::vector<BYTE>> buffers;
    DWORD offset = 0;
    unsigned generation = 0;   // of the watch the buffers came from
    bool scheduled = false;    // the next slice is asked for, by message or by timer
    bool applying = false;
    ULONGLONG retotalled = 0;   // when the percentages were last redone during a burst
};
NoticeQueue g_queue;

constexpr ULONGLONG kSliceMilliseconds = 30;
// How often the percentages and the status bar follow a burst that goes on.
constexpr ULONGLONG kRetotalMilliseconds = 250;

bool IssueRequest(WatchRecord& watch) {
    return ReadDirectoryChangesW(watch.directory.get(), watch.buffer, kBufferBytes, TRUE, kNotifyFilter, nullptr,
                                 &watch.overlapped, nullptr) != FALSE;
}

void CollectFolders(const std::wstring& base, const ChildMap& map, std::vector<std::wstring>& out) {
    VisitChildren(map, [&](const Node* node) {
        if (node->kind & kKindFile) return;
        // Parents first: Wine adds a folder to a subtree watch only when its parent is in.
        out.push_back(base + L"\\" + NodeNameCopy(node));
        const std::wstring path = out.back();
        CollectFolders(path, static_cast<const FolderNode*>(node)->children, out);
    });
}

void CollectListedFolders(WatchRecord& watch) {
    std::wstring target = g_app.scan.path.substr(0, g_app.scan.nameSlot);
    if (!target.empty() && target.back() == L'\\') target.pop_back();
    for (int row = 0; row < g_app.rowCount; ++row) {
        const RowEntry* entry = RowEntryAt(row);
        if (!entry || (entry->kind & kKindFile)) continue;
        watch.foldersToOpen.push_back(target + L"\\" + entry->name);
        const std::wstring top = watch.foldersToOpen.back();
        CollectFolders(top, static_cast<const FolderEntry*>(entry)->children, watch.foldersToOpen);
    }
}

void OpenFoldersOnce(const WatchRecord& watch) {
    for (const std::wstring& folder : watch.foldersToOpen) {
        if (g_stopRequest.load()) return;
        unique_hfile opened(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    }
}

// Cancels this thread's pending request and waits (alertably, so a completion routed
// to this thread can run) until the system has let go of the buffer.
void RetireRequest(WatchRecord& watch) {
    if (HasOverlappedIoCompleted(&watch.overlapped)) return;
    CancelIo(watch.directory.get());
    for (int i = 0; i < 2000 && !HasOverlappedIoCompleted(&watch.overlapped); ++i) SleepEx(1, TRUE);
}

void WatchRequests(WatchRecord& watch);

// Nothing may leave a thread procedure; the thread only waits and hands buffers over, so
// whatever fails here just ends the watch.
unsigned __stdcall WatchChanges(void* argument) {
    // The thread lives as long as the watch and only waits: the stack Wine zeroed for it
    // would otherwise stay in the working set all that time, about as much as what a
    // 20,000-node tree keeps. Handed back before the request goes out, so before the
    // run that follows builds its tree: the pages pass through the working set while
    // the process is at its smallest. Its calls are shallow (waits, opening folders, handing
    // batches over): the least is kept.
    ReleaseUnusedStack(0);
    WatchRecord& watch = *static_cast<WatchRecord*>(argument);
    try {
        WatchRequests(watch);
    } catch (...) {
        RetireRequest(watch);
    }
    return 0;
}

void WatchRequests(WatchRecord& watch) {
    const HWND main = g_app.main;
    if (!IssueRequest(watch)) {
        watch.firstRequestFailed = true;
        SetEvent(watch.issued.get());
        return;
    }
    SetEvent(watch.issued.get());
    OpenFoldersOnce(watch);
    for (;;) {
        const HANDLE waits[2] = {watch.stop.get(), watch.event.get()};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) break;
        DWORD bytes = 0;
        const BOOL completed = GetOverlappedResult(watch.directory.get(), &watch.overlapped, &bytes, TRUE);
        if (g_stopRequest.load()) break;
        // Windows reports an overflowing burst as an empty completion, Wine as an error.
        const bool overflow = completed ? bytes == 0 : GetLastError() == ERROR_NOTIFY_ENUM_DIR;
        if (!completed && !overflow) break;   // the target went away: the list stays as it is
        if (overflow) {
            // More changed than the system could hold: only a fresh measurement is right.
            PostMessageW(main, kMsgWatcher, kRemeasureTarget, watch.generation);
            break;
        }
        ResetEvent(watch.event.get());
        NoticeBatch batch{watch.buffer, bytes};
        SendMessageW(main, kMsgWatcher, kApplyNotices, reinterpret_cast<LPARAM>(&batch));
        if (g_stopRequest.load()) break;
        if (!IssueRequest(watch)) {
            PostMessageW(main, kMsgWatcher, kRequestRefused, watch.generation);
            break;
        }
    }
    RetireRequest(watch);
}

void ShowWatchError(const wchar_t* text) { ShowMessage(text, MB_ICONERROR); }

// Applies one buffer of notices. Memory running out half way leaves the listing in a
// state no later notice can correct: the watch ends, and the user is told. The watcher
// thread may be waiting for this very call, so it is only told to stop; its record goes
// with the next StopWatcher, as after any other end of a watch.
DWORD ApplyBatch(const BYTE* buffer, DWORD bytes, DWORD offset, ULONGLONG until) {
    try {
        return DispatchNotices(buffer, bytes, offset, until);
    } catch (const std::bad_alloc&) {
        g_stopRequest.store(1);
        if (g_watch) {
            g_watch->failed = true;
            SetEvent(g_watch->stop.get());
        }
        ShowWatchError(L"メモリ不足です.");
    }
    return bytes;
}

void ForgetQueuedNotices() {
    g_queue.buffers.clear();
    g_queue.offset = 0;
    g_queue.scheduled = false;
    g_queue.generation = 0;
    if (g_app.main) KillTimer(g_app.main, kTimerApplyNotices);
}

void ScheduleSlice() {
    if (g_queue.scheduled || g_queue.buffers.empty()) return;
    g_queue.scheduled = true;
    // Input waiting for the window goes first: a timer's message comes after it, a posted
    // one before it.
    if (HIWORD(GetQueueStatus(QS_INPUT))) SetTimer(g_app.main, kTimerApplyNotices, USER_TIMER_MINIMUM, nullptr);
    else PostMessageW(g_app.main, kMsgWatcher, kApplyQueued, g_queue.generation);
}

// Applies queued notices, in order, for about kSliceMilliseconds, and asks for the next
// slice when some are left. The buffer being applied is out of the queue meanwhile, so
// nothing that runs in between (a message box's loop) can free it.
void ApplyQueuedSlice() {
    if (g_queue.applying) return;   // the slice under way asks for the next itself
    g_queue.applying = true;
    const ULONGLONG until = GetTickCount64() + kSliceMilliseconds;
    const unsigned generation = g_queue.generation;
    while (!g_queue.buffers.empty()) {
        if (!g_watch || g_watch->failed || g_stopRequest.load()) {
            ForgetQueuedNotices();   // nothing more is applied to this listing
            break;
        }
        std::vector<BYTE> buffer = std::move(g_queue.buffers.front());
        g_queue.buffers.pop_front();
        const DWORD from = g_queue.offset;
        g_queue.offset = 0;
        const DWORD reached = ApplyBatch(buffer.data(), static_cast<DWORD>(buffer.size()), from, until);
        if (g_queue.generation != generation) break;   // the watch was stopped meanwhile
        if (reached < buffer.size()) {
            g_queue.buffers.push_front(std::move(buffer));
            g_queue.offset = reached;
            break;
        }
        if (GetTickCount64() >= until) break;
    }
    g_queue.applying = false;
    if (g_queue.generation != generation) return;
    const ULONGLONG now = GetTickCount64();
    if (g_queue.buffers.empty() || now - g_queue.retotalled >= kRetotalMilliseconds) {
        RetotalIfPending();
        g_queue.retotalled = now;
    }
    ScheduleSlice();
}

void QueueBatch(const BYTE* buffer, DWORD bytes) {
    if (g_queue.generation != g_watch->generation) {
        ForgetQueuedNotices();
        g_queue.generation = g_watch->generation;
    }
    g_queue.buffers.emplace_back(buffer, buffer + bytes);
}

// Ends the watch's thread and releases the record. A thread that had to be terminated
// may leave a request pending, so its record is then left allocated on purpose.
void ReleaseWatch(std::unique_ptr<WatchRecord> watch) {
    g_stopRequest.store(1);
    SetEvent(watch->stop.get());
    if (watch->thread) {
        // The thread may be sending us a buffer right now: answer it (it is not applied,
        // the watch is ending) so that the thread can see the stop request.
        if (!WaitForThreadAnsweringMessages(watch->thread.get(), 5000)) {
            TerminateThread(watch->thread.get(), 0);
            watch.release();
        }
    }
}

// Opens the target and starts the thread that issues the requests. Null after a failure,
// which is shown when report is set.
std::unique_ptr<WatchRecord> OpenWatch(bool report, bool openListedFolders) {
    auto fail = [report](const wchar_t* text) {
        if (report) ShowWatchError(text);
        return std::unique_ptr<WatchRecord>();
    };
    const std::wstring target = TargetFolder();
    unique_hfile directory(CreateFileW(target.c_str(), FILE_LIST_DIRECTORY,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    if (!directory) return fail(L"エラー：CreateFile()");
    unique_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    unique_handle issued(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    unique_handle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event || !issued || !stop) return fail(L"エラー：CreateEvent()");
    std::unique_ptr<WatchRecord> watch(new (std::nothrow) WatchRecord);
    if (!watch) return fail(L"エラー：malloc()");
    watch->directory = std::move(directory);
    watch->event = std::move(event);
    watch->issued = std::move(issued);
    watch->stop = std::move(stop);
    watch->overlapped.hEvent = watch->event.get();
    watch->generation = ++g_generation;
    // The old half of a rename whose new half the previous watch never delivered would
    // pair with this watch's first rename and misname an item: it is forgotten.
    ClearPendingOldNames();
    if (openListedFolders && IsWine()) CollectListedFolders(*watch);
    g_stopRequest.store(0);
    const uintptr_t thread = _beginthreadex(nullptr, 0, WatchChanges, watch.get(), 0, nullptr);
    if (!thread) return fail(L"エラー：_beginthread()");
    watch->thread.reset(reinterpret_cast<HANDLE>(thread));
    // Nothing may change unseen between here and the measuring that follows: wait until
    // the request is out.
    WaitForSingleObject(watch->issued.get(), 5000);
    if (watch->firstRequestFailed) {
        ReleaseWatch(std::move(watch));
        return fail(L"エラー：ReadDirectoryChangesW()");
    }
    return watch;
}

}  // namespace

void ArmWatcher() {
    StopWatcher();
    // A failure here is not shown: StartWatcher tries again when the run ends, and reports.
    g_watch = OpenWatch(false, false).release();
    if (g_watch) g_watch->holding = true;
}

bool StartWatcher() {
    // Notices measure with the run's rule, on this thread, through extended paths.
    g_app.scan.usedSize = g_app.effect.usedSize != 0;
    g_app.scan.cancel = nullptr;
    SetScanTarget(g_app.scan, TargetPath());
    if (g_watch && g_watch->holding) {
        // Armed before the run: what changed while it measured is applied now. Items the
        // run saw already make these notices change nothing.
        g_watch->holding = false;
        std::deque<std::vector<BYTE>> held = std::move(g_watch->heldBatches);
        for (const std::vector<BYTE>& batch : held) QueueBatch(batch.data(), static_cast<DWORD>(batch.size()));
        ApplyQueuedSlice();
        if (!g_watch || !g_watch->remeasureHeld) return false;
        // The armed request overflowed while the run measured, and its thread has ended:
        // nothing follows the target until it is measured afresh. Asked by the queue, so
        // that the run's own end is done first.
        PostMessageW(g_app.main, kMsgWatcher, kRemeasureTarget, g_watch->generation);
        return true;
    }
    StopWatcher();
    // Not armed before a run (the program's own rename): every listed folder is opened.
    g_watch = OpenWatch(true, true).release();
    return false;
}

void StopWatcher() {
    g_stopRequest.store(1);
    ForgetQueuedNotices();
    AbandonArrivals();
    if (!g_watch) return;
    std::unique_ptr<WatchRecord> watch(g_watch);
    g_watch = nullptr;
    ReleaseWatch(std::move(watch));
}

void OnApplyNoticesTimer() {
    KillTimer(g_app.main, kTimerApplyNotices);
    if (!g_queue.scheduled) return;
    g_queue.scheduled = false;
    ApplyQueuedSlice();
}

bool IsWatching() {
    return g_watch != nullptr && !g_watch->holding && !g_watch->failed && g_watch->thread &&
           WaitForSingleObject(g_watch->thread.get(), 0) == WAIT_TIMEOUT;
}

// Wine's watch goes on naming the items of a renamed or moved folder by the folder's old
// path, at any depth, and opening the folder again does not mend it: only a watch
// started after every earlier one on the tree has closed knows the new names. A folder
// made or moved in fares no better: its own items' names and those of a folder deleted
// and made again under its name may go unreported, however often it is opened (seen in
// the soak of the live totals). So the target is measured afresh, with a new watch armed
// first and every folder opened by that measuring after its request went out: nothing
// changed meanwhile is lost, and the measured tree is trusted only once every folder in
// it is followed again. A burst of such changes asks once: the run holds what comes
// while it measures. Windows follows such folders by itself.
namespace {

// Whether a folder notice asks for a fresh measurement: only under Wine, with a watch
// on, and never while a name is typed (the program's own new folder among them): a run
// would end the edit, and the rename that ends it is followed in its turn.
bool FreshWatchWanted() {
    return g_watch && !g_watch->holding && IsWine() && !g_app.labelEdit && g_app.pendingRenameName.empty();
}

void AskForFreshWatch() { PostMessageW(g_app.main, kMsgWatcher, kRemeasureTarget, g_watch->generation); }

}  // namespace

void FollowArrivedFolder(const std::wstring& relativePath) {
    if (!FreshWatchWanted()) return;
    const std::wstring folder = g_app.scan.path.substr(0, g_app.scan.nameSlot) + relativePath;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) AskForFreshWatch();
}

// Wine may report a folder moved within the target as removed only, with nothing where
// it went: a folder gone is followed as one made.
void FollowGoneFolder() {
    if (FreshWatchWanted()) AskForFreshWatch();
}

bool OnWatcherMessage(WPARAM what, LPARAM data) {
    if (what == kApplyNotices) {
        if (g_stopRequest.load() || !g_watch || g_watch->failed) return false;
        const auto* batch = reinterpret_cast<const NoticeBatch*>(data);
        if (g_watch->holding) {
            g_watch->heldBatches.emplace_back(batch->buffer, batch->buffer + batch->bytes);
            return false;
        }
        QueueBatch(batch->buffer, batch->bytes);
        // Behind a slice already asked for, in its turn; else at once, as before a burst.
        if (!g_queue.scheduled) ApplyQueuedSlice();
        return false;
    }
    if (what == kApplyQueued) {
        if (g_queue.generation != static_cast<unsigned>(data) || !g_queue.scheduled) return false;
        g_queue.scheduled = false;
        ApplyQueuedSlice();
        return false;
    }
    if (what == kFolderMeasured) {
        OnFolderMeasured(data);
        return false;
    }
    // The other two come by the queue: act only on the watch that sent them.
    if (!g_watch || g_watch->generation != static_cast<unsigned>(data)) return false;
    if (what == kRemeasureTarget) {
        if (!g_watch->holding) return true;
        g_watch->remeasureHeld = true;
    } else if (what == kRequestRefused) {
        ShowWatchError(L"エラー：ReadDirectoryChangesW()");
    }
    return false;
}

}  // namespace lurmo
