#include "list/arrivals.h"

#include <process.h>

#include <atomic>
#include <list>
#include <memory>
#include <new>
#include <vector>

#include "state/app_state.h"
#include "state/message_box.h"
#include "state/window_messages.h"
#include "engine/folder_tree.h"
#include "list/notices.h"
#include "list/result_rows.h"
#include "list/thread_wait.h"

namespace lurmo {

namespace {

struct HeldNotice {
    DWORD action;
    std::wstring path;
    std::wstring oldPath;
};

// One folder being measured. The user-interface thread makes it, starts its thread and
// alone touches `held`; the thread owns `params` and `measured` until it has posted its
// message, after which only the user-interface thread reads them.
struct Arrival {
    unsigned number = 0;
    std::wstring relative;
    WIN32_FIND_DATAW data{};
    HWND main = nullptr;
    RunParameters params;
    std::unique_ptr<FolderEntry> measured;
    std::atomic<LONG> cancel{0};
    std::atomic<LONG> failed{0};
    unique_handle thread;
    std::vector<HeldNotice> held;
};

// The folders being measured, oldest first; the user-interface thread's alone.
std::list<std::unique_ptr<Arrival>> g_arrivals;
unsigned g_lastNumber = 0;

// Whether path is the folder itself or lies below it.
bool Concerns(const Arrival& arrival, const std::wstring& path) {
    const std::wstring& folder = arrival.relative;
    if (path.size() < folder.size() || _wcsnicmp(path.c_str(), folder.c_str(), folder.size()) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == L'\\';
}

void MeasureArrival(Arrival& arrival) {
    RunParameters& params = arrival.params;
    WriteName(params, params.nameSlot, arrival.relative);
    const size_t cut = arrival.relative.rfind(L'\\');
    const size_t position = params.nameSlot + (cut == std::wstring::npos ? 0 : cut + 1);
    WIN32_FIND_DATAW data;
    if (!FindItem(params.path, data)) return;   // gone again: its removal notice follows
    // A link counts by the run's link rules.
    MeasureFolderEntry(params, data, arrival.measured.get(), position);
}

// Nothing may leave a thread procedure: a failure is reported through the message.
unsigned __stdcall MeasureArrivalThread(void* argument) {
    auto& arrival = *static_cast<Arrival*>(argument);
    try {
        MeasureArrival(arrival);
    } catch (...) {
        arrival.failed.store(1);
    }
    PostMessageW(arrival.main, kMsgWatcher, kFolderMeasured, static_cast<LPARAM>(arrival.number));
    return 0;
}

// False when the thread had to be terminated: its record is then left allocated, as the
// thread may have been stopped anywhere in it.
bool StopArrival(Arrival& arrival) {
    arrival.cancel.store(1);
    if (arrival.thread && !WaitForThreadAnsweringMessages(arrival.thread.get(), 5000)) {
        TerminateThread(arrival.thread.get(), 0);
        return false;
    }
    return true;
}

// The folder's row measured again: its tree gives way to the new one. A file row of
// the name (the folder replaced it meanwhile) goes, and the folder is appended.
bool ReplaceRowTree(Arrival& arrival, int row) {
    RowEntry* entry = RowEntryAt(row);
    if (!entry) return true;
    if (entry->kind & kKindFile) {
        RemoveRow(row);
        return false;
    }
    auto* listed = static_cast<FolderEntry*>(entry);
    const uint64_t before = listed->size;
    TreeReplaceAll(listed, arrival.measured.get());
    g_app.grandTotal += listed->size - before;
    RewriteSizeCell(listed, row);
    UpdateFolderRow(arrival.data, listed, row);
    return true;
}

// Puts the measured folder in the list: a new row, or a node of its row's tree. Whatever
// stood under its name (the folder before it was removed and made again, a file it
// replaced) gives way to what was measured.
void PlaceArrival(Arrival& arrival) {
    const size_t cut = arrival.relative.find(L'\\');
    if (cut == std::wstring::npos) {
        const int row = FindRowByName(arrival.relative);
        if (row >= 0 && ReplaceRowTree(arrival, row)) return;
        const uint64_t size = arrival.measured->size;
        if (!AppendFolderRow(arrival.measured.get())) return;
        arrival.measured.release();
        g_app.grandTotal += size;
        return;
    }
    const int row = FindRowByName(arrival.relative.substr(0, cut));
    if (row < 0) return;
    RowEntry* entry = RowEntryAt(row);
    if (!entry || (entry->kind & kKindFile)) return;
    auto* folder = static_cast<FolderEntry*>(entry);
    const std::wstring inner = arrival.relative.substr(cut + 1);
    ++g_app.mapChanges;
    const uint64_t removed = TreeRemoveItem(inner, folder);
    const uint64_t added = TreeGraftFolder(inner, folder, arrival.measured.get());
    RewriteSizeCell(folder, row);
    g_app.grandTotal += added - removed;
}

}  // namespace

void MeasureArrivingFolder(const std::wstring& relative, const WIN32_FIND_DATAW& data) {
    auto arrival = std::make_unique<Arrival>();
    arrival->number = ++g_lastNumber;
    arrival->relative = relative;
    arrival->data = data;
    arrival->main = g_app.main;
    arrival->params.usedSize = g_app.scan.usedSize;
    arrival->params.clusterSize = g_app.scan.clusterSize;
    arrival->params.path = g_app.scan.path.substr(0, g_app.scan.nameSlot);
    arrival->params.nameSlot = g_app.scan.nameSlot;
    arrival->params.links = g_app.scan.links;
    arrival->params.cancel = &arrival->cancel;
    arrival->measured.reset(MakeFolderEntry(data));
    const size_t cut = relative.rfind(L'\\');
    if (cut != std::wstring::npos) arrival->measured->name = relative.substr(cut + 1);
    Arrival* started = arrival.get();
    g_arrivals.push_back(std::move(arrival));
    const uintptr_t thread = _beginthreadex(nullptr, 0, MeasureArrivalThread, started, 0, nullptr);
    if (!thread) {
        g_arrivals.pop_back();
        throw std::bad_alloc();
    }
    started->thread.reset(reinterpret_cast<HANDLE>(thread));
}

bool HoldForArrival(DWORD action, const std::wstring& path, const std::wstring& oldPath) {
    for (auto& arrival : g_arrivals) {
        if (Concerns(*arrival, path) || (!oldPath.empty() && Concerns(*arrival, oldPath))) {
            arrival->held.push_back({action, path, oldPath});
            return true;
        }
    }
    return false;
}

void OnFolderMeasured(LPARAM number) {
    for (auto it = g_arrivals.begin(); it != g_arrivals.end(); ++it) {
        if ((*it)->number != static_cast<unsigned>(number)) continue;
        // Out of the list before anything is applied, so its held notices apply for real.
        std::unique_ptr<Arrival> arrival = std::move(*it);
        g_arrivals.erase(it);
        WaitForSingleObject(arrival->thread.get(), INFINITE);   // it ends right after posting
        if (arrival->failed.load()) {
            ShowMessage(L"メモリ不足です.", MB_ICONERROR);
            return;
        }
        g_app.unreadableFolders += static_cast<int>(arrival->params.unreadable.size());
        PlaceArrival(*arrival);
        for (const HeldNotice& notice : arrival->held) ApplyNotice(notice.action, notice.path, notice.oldPath);
        Retotal();
        return;
    }
}

void AbandonArrivals() {
    std::list<std::unique_ptr<Arrival>> arrivals = std::move(g_arrivals);
    g_arrivals.clear();
    for (auto& arrival : arrivals) arrival->cancel.store(1);
    for (auto& arrival : arrivals) {
        if (!StopArrival(*arrival)) arrival.release();
    }
}

bool ArrivalsPending() { return !g_arrivals.empty(); }

}  // namespace lurmo
