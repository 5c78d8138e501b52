// A big folder in the program's real main window: lists FOLDER in file-operation mode and
// times it from the start of the run until the window is idle (rows listed, sorted, the
// watch started), with the longest time the window took to answer a message meanwhile.
// Unless --list-only is given it then times, on those rows, sorting by size, the export,
// the listing as text, select all, invert selection and the status bar; then has another
// thread grow GROW files of the folder by 100 bytes each (and cut them back after) and
// times until the list shows every new size; last, the removal notices of REMOVE rows.
// Prints one line: RESULT rows=... list=... freeze=... [sort=... export=... ...]
#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "app/main_window.h"
#include "app/target_boxes.h"
#include "export/export_file.h"
#include "fileops/file_operations.h"
#include "list/notices.h"
#include "list/result_rows.h"
#include "list/sorting.h"
#include "list/watcher.h"
#include "engine/file_system.h"
#include "engine/size_rule.h"
#include "bench/window_bench.h"

using namespace lurmo;
using namespace lurmo::bench;

namespace {

// The pinging thread's results; it alone writes them until it has ended.
std::atomic<LONG> g_stopPinging{0};
double g_longestWait = 0;
double g_pingStart = 0;
double g_longestWaitAt = 0;   // seconds from the start of the run to the start of that wait

unsigned __stdcall PingWindow(void*) {
    while (!g_stopPinging.load()) {
        const double start = Now();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(g_app.main, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        const double waited = Now() - start;
        if (waited > g_longestWait) {
            g_longestWait = waited;
            g_longestWaitAt = start - g_pingStart;
        }
        Sleep(2);
    }
    return 0;
}

template <typename Work>
double Timed(Work work) {
    const double start = Now();
    work();
    return Now() - start;
}

bool Idle() {
    return g_app.worker && WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0 && !g_app.busy.load() &&
           IsWatching();
}

int QuietMessage(HWND, const std::wstring&, UINT) { return IDOK; }

double TimeExport() {
    ExportRequest request;
    request.owner = g_app.main;
    request.list = g_app.list;
    request.dateColumn = g_app.dateColumn;
    request.showMessage = QuietMessage;
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"lbx", 0, path);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const double seconds = Timed([&] { WriteListingTo(request, file, 0); });
    CloseHandle(file);
    DeleteFileW(path);
    return seconds;
}

struct Grown {
    std::wstring name;
    uint64_t size;
    uint64_t grown = 0;   // the new size by the listing's size rule
};
std::vector<Grown> g_grown;
std::wstring g_target;

void ResizeFile(const std::wstring& name, uint64_t size) {
    HANDLE file = CreateFileW((g_target + L"\\" + name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
}

unsigned __stdcall GrowFiles(void*) {
    for (const Grown& file : g_grown) ResizeFile(file.name, file.size + 100);
    return 0;
}

// Every grown file's row shows its new size.
bool GrowthShown() {
    for (const Grown& file : g_grown) {
        const int row = FindRowByName(file.name);
        if (row < 0 || RowEntryAt(row)->size != file.grown) return false;
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fwprintf(stderr, L"usage: lurmo-bench-window FOLDER [--list-only] [--grow N] [--remove N]\n");
        return 2;
    }
    g_target = argv[1];
    bool listOnly = false;
    int grow = 2000, remove = 10000;
    for (int i = 2; i < argc; ++i) {
        if (wcscmp(argv[i], L"--list-only") == 0) listOnly = true;
        else if (wcscmp(argv[i], L"--grow") == 0 && i + 1 < argc) grow = _wtoi(argv[++i]);
        else if (wcscmp(argv[i], L"--remove") == 0 && i + 1 < argc) remove = _wtoi(argv[++i]);
    }
    ForgetSettings();
    if (!OpenMainWindow()) return 1;
    ShowWindow(g_app.main, SW_SHOWNA);
    g_app.settings.snapShot = 0;
    SetBoxEditText(g_app.driveBox, g_target);
    const double start = Now();
    g_pingStart = start;
    HANDLE pinger = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, PingWindow, nullptr, 0, nullptr));
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    const bool listed = PumpUntil(Idle, listOnly ? 20000 : 1800000);
    const double listing = Now() - start;
    g_stopPinging.store(1);
    PumpUntil([&] { return WaitForSingleObject(pinger, 0) == WAIT_OBJECT_0; }, 60000);
    CloseHandle(pinger);
    if (!listed) {
        fwprintf(stderr, L"the listing did not end: %d rows, busy %d, watching %d\n", g_app.rowCount.load(),
                 static_cast<int>(g_app.busy.load()), IsWatching() ? 1 : 0);
        return 1;
    }
    const int rows = g_app.rowCount;
    wprintf(L"RESULT rows=%d list=%.3f freeze=%.3f freeze_at=%.3f", rows, listing, g_longestWait, g_longestWaitAt);
    fflush(stdout);
    if (listOnly) {
        wprintf(L"\n");
        fflush(stdout);
        return 0;
    }
    const double sort = Timed([] { SortByColumn(1); });
    const double exported = TimeExport();
    const double selectAll = Timed([] { SendMessageW(g_app.main, WM_COMMAND, IDM_SELECT_ALL, 0); });
    // The listing as text takes the selected rows: all of them here.
    const double text = Timed([] { CopyListingText(); });
    const double invert = Timed([] { SendMessageW(g_app.main, WM_COMMAND, IDM_INVERT_SELECTION, 0); });
    const double status = Timed([] { RefreshStatusBar(); });
    Pump();
    wprintf(L" sort=%.3f export=%.3f text=%.3f select_all=%.3f invert=%.3f status=%.3f", sort, exported, text, selectAll,
            invert, status);
    fflush(stdout);

    // Another program grows files of the folder; the time from the start of the changes
    // until the list shows every new size.
    for (int row = 0; row < rows && static_cast<int>(g_grown.size()) < grow; ++row) {
        const RowEntry* entry = RowEntryAt(row);
        if (entry && (entry->kind & kKindFile)) g_grown.push_back({entry->name, entry->size});
    }
    const double growStart = Now();
    HANDLE grower = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, GrowFiles, nullptr, 0, nullptr));
    PumpUntil([&] { return WaitForSingleObject(grower, 0) == WAIT_OBJECT_0; }, 600000);
    CloseHandle(grower);
    const double grown = Now() - growStart;
    for (Grown& file : g_grown) {
        WIN32_FIND_DATAW data;
        RunParameters params = g_app.scan;
        WriteName(params, params.nameSlot, file.name);
        file.grown = FindItem(params.path, data) ? RemeasureFileSize(params, data) : 0;
    }
    const bool shown = PumpUntil(GrowthShown, 600000);
    const double growSeconds = Now() - growStart;
    for (const Grown& file : g_grown) ResizeFile(file.name, file.size);
    // Too many changes at once can overflow the watch's buffer, and the folder is then
    // measured again: the removals wait for the listing to be whole.
    PumpUntil([] { return Idle() && g_app.rowCount == static_cast<int>(SendMessageW(g_app.list, LVM_GETITEMCOUNT, 0, 0)); },
              600000);
    Sleep(500);
    Pump();
    PumpUntil(Idle, 600000);
    wprintf(L" grow=%d growing=%.3f grow_shown=%.3f grow_agreed=%ls", static_cast<int>(g_grown.size()), grown, growSeconds,
            shown ? L"yes" : L"no");
    fflush(stdout);

    // The removal notices of many rows, from the top of the list where every deletion
    // moves the rows behind it (the files stay: a removal notice asks nothing of the disk).
    const int before = g_app.rowCount;
    std::vector<std::wstring> removed;
    for (int row = 0; row < rows && static_cast<int>(removed.size()) < remove; row += 2) {
        if (const RowEntry* entry = RowEntryAt(row)) removed.push_back(entry->name);
    }
    const double removal = Timed([&] {
        for (const std::wstring& name : removed) ApplyNotice(FILE_ACTION_REMOVED, name);
        Retotal();
    });
    wprintf(L" rows_before=%d removed=%d remove=%.3f rows_after=%d\n", before, static_cast<int>(removed.size()), removal,
            g_app.rowCount.load());
    fflush(stdout);
    StopWatcher();
    DestroyWindow(g_app.main);
    Pump();
    return shown ? 0 : 1;
}
