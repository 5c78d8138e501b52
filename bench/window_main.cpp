// A big folder in the program's real main window: lists FOLDER in file-operation mode and
// times it from the start of the run until the window is idle (rows listed, sorted, the
// watch started), with the longest time the window took to answer a sent and a posted
// message meanwhile.
// Unless --list-only is given it then times, on those rows, sorting by size, the export,
// the listing as text, select all, invert selection, the status bar, the shares after the
// total moved and another unit of size; then has another
// thread (or with --grow-at-once a host program, in one burst) grow GROW files of the
// folder by 100 bytes each (and cut them back after) and times until the list shows every
// new size; last, the removal notices of REMOVE rows.
// Prints one line: RESULT rows=... list=... freeze=... [sort=... export=... ...]
#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
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
#include "map/treemap_pane.h"
#include "engine/file_system.h"
#include "engine/size_rule.h"
#include "bench/window_bench.h"
#include "tests/unix_path.h"

using namespace lurmo;
using namespace lurmo::bench;
using lurmo::test::UnixPath;

namespace {

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

// Seconds since 1970 on the system's clock, which the host shell's `date` also reads.
double SystemNow() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
    return static_cast<double>(ticks.QuadPart) / 1e7 - 11644473600.0;
}

struct HostStart {
    std::wstring line;
    bool started = false;
};

unsigned __stdcall StartHostProcess(void* argument) {
    auto& start = *static_cast<HostStart*>(argument);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    start.started =
        CreateProcessW(nullptr, start.line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) != FALSE;
    if (start.started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return 0;
}

// Starts a host program; on a thread of its own, since under Wine that takes a fifth of
// a second, which would count as the window's own wait.
bool StartHostCommand(std::wstring line) {
    HostStart start{std::move(line)};
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, StartHostProcess, &start, 0, nullptr));
    if (!thread) return false;
    PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 60000);
    CloseHandle(thread);
    return start.started;
}

// Another program changes every file by 'by' bytes in one go (a host shell under Wine:
// 2,000 files in about a hundredth of a second, where this process's own calls take a
// second or two). Returns when it is done, with the time of its last change on Now()'s
// clock (the shell writes it: the window may be busy when the shell ends); negative
// where there is no host shell.
double ResizeFilesAtOnce(const char* by) {
    wchar_t temp[MAX_PATH]{};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring list = std::wstring(temp) + L"lurmo-bench-grow.txt";
    const std::wstring mark = std::wstring(temp) + L"lurmo-bench-grown";
    DeleteFileW(mark.c_str());
    std::string names;
    for (const Grown& file : g_grown) names.append(file.name.begin(), file.name.end()).append("\n");
    HANDLE out = CreateFileW(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(out, names.data(), static_cast<DWORD>(names.size()), &written, nullptr);
    CloseHandle(out);
    const std::string folder = UnixPath(g_target);
    if (folder.empty()) return -1;
    const std::string command = "cd '" + folder + "' && xargs -d '\\n' truncate -s " + by + " < '" + UnixPath(list) +
                                "'; date +%s.%N > '" + UnixPath(mark) + ".part' && mv '" + UnixPath(mark) + ".part' '" +
                                UnixPath(mark) + "'";
    if (!StartHostCommand(L"/bin/sh -c \"" + std::wstring(command.begin(), command.end()) + L"\"")) return -1;
    if (!PumpUntil([&] { return GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60000)) return -1;
    char text[64]{};
    HANDLE in = CreateFileW(mark.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD read = 0;
    ReadFile(in, text, sizeof text - 1, &read, nullptr);
    CloseHandle(in);
    DeleteFileW(mark.c_str());
    DeleteFileW(list.c_str());
    return Now() - (SystemNow() - strtod(text, nullptr));
}

// Every grown file's row shows its new size.
// The new sizes by the listing's rule, looked up on a thread of their own: 2,000 lookups
// on the window's thread would hold it longer than anything the program does.
unsigned __stdcall MeasureGrown(void* argument) {
    RunParameters& params = *static_cast<RunParameters*>(argument);
    for (Grown& file : g_grown) {
        WIN32_FIND_DATAW data;
        WriteName(params, params.nameSlot, file.name);
        file.grown = FindItem(params.path, data) ? RemeasureFileSize(params, data) : 0;
    }
    return 0;
}

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
        fwprintf(stderr, L"usage: lurmo-bench-window FOLDER [--list-only] [--grow N] [--grow-at-once] [--remove N] [--sort STATE]\n");
        return 2;
    }
    g_target = argv[1];
    bool listOnly = false, growAtOnce = false;
    int storedSort = -1;   // the order a user chose in an earlier session, as stored
    int grow = 2000, remove = 10000;
    for (int i = 2; i < argc; ++i) {
        if (wcscmp(argv[i], L"--list-only") == 0) listOnly = true;
        else if (wcscmp(argv[i], L"--grow") == 0 && i + 1 < argc) grow = _wtoi(argv[++i]);
        else if (wcscmp(argv[i], L"--grow-at-once") == 0) growAtOnce = true;
        else if (wcscmp(argv[i], L"--sort") == 0 && i + 1 < argc) storedSort = _wtoi(argv[++i]);
        else if (wcscmp(argv[i], L"--remove") == 0 && i + 1 < argc) remove = _wtoi(argv[++i]);
    }
    ForgetSettings();
    if (!OpenMainWindow()) return 1;
    ShowWindow(g_app.main, SW_SHOWNA);
    g_app.settings.snapShot = 0;
    if (storedSort >= 0) g_app.settings.sort = static_cast<DWORD>(storedSort);
    SetBoxEditText(g_app.driveBox, g_target);
    const double start = Now();
    StartPinging(start);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    const bool listed = PumpUntil(Idle, listOnly ? 20000 : 1800000);
    const double listing = Now() - start;
    const PingResults listingWaits = StopPinging();
    if (!listed) {
        fwprintf(stderr, L"the listing did not end: %d rows, busy %d, watching %d\n", g_app.rowCount.load(),
                 static_cast<int>(g_app.busy.load()), IsWatching() ? 1 : 0);
        return 1;
    }
    const int rows = g_app.rowCount;
    wprintf(L"RESULT rows=%d list=%.3f freeze=%.3f freeze_at=%.3f posted_freeze=%.3f posted_freeze_at=%.3f", rows, listing,
            listingWaits.sent, listingWaits.sentAt, listingWaits.posted, listingWaits.postedAt);
    fflush(stdout);
    if (listOnly) {
        wprintf(L"\n");
        fflush(stdout);
        return 0;
    }
    // As a user who acts once the map is there: selecting rows then frames their tiles.
    PumpUntil(
        [] {
            int width = 0, height = 0;
            return CurrentTreemapPicture(width, height) != nullptr;
        },
        20000);
    const double sort = Timed([] { SortByColumn(1); });
    const double exported = TimeExport();
    const double selectAll = Timed([] { SendMessageW(g_app.main, WM_COMMAND, IDM_SELECT_ALL, 0); });
    // The listing as text takes the selected rows: all of them here.
    const double text = Timed([] { CopyListingText(); });
    const double invert = Timed([] { SendMessageW(g_app.main, WM_COMMAND, IDM_INVERT_SELECTION, 0); });
    const double status = Timed([] { RefreshStatusBar(); });
    // The shares after notices moved the total by a fifth, as the window redoes them:
    // every share cell but those of the empty files is written again.
    const uint64_t listedTotal = g_app.grandTotal;
    const double shares = Timed([&] {
        g_app.grandTotal += listedTotal / 5;
        Retotal();
    });
    g_app.grandTotal = listedTotal;
    Retotal();
    // Every size cell written again, with the list idle (its redraw on), as the user
    // chooses another unit.
    const double unit = Timed([] { SendMessageW(g_app.main, WM_COMMAND, IDM_UNIT_KB, 0); });
    SendMessageW(g_app.main, WM_COMMAND, IDM_UNIT_BYTE, 0);
    Pump();
    wprintf(L" sort=%.3f export=%.3f text=%.3f select_all=%.3f invert=%.3f status=%.3f shares=%.3f unit=%.3f", sort,
            exported, text, selectAll, invert, status, shares, unit);
    fflush(stdout);

    // Another program grows files of the folder; the time from the start of the changes
    // until the list shows every new size.
    for (int row = 0; row < rows && static_cast<int>(g_grown.size()) < grow; ++row) {
        const RowEntry* entry = RowEntryAt(row);
        if (entry && (entry->kind & kKindFile)) g_grown.push_back({entry->name, entry->size});
    }
    const unsigned runsBefore = g_app.runNumber;
    const double growStart = Now();
    // The window must keep answering while it follows the burst, a fresh measurement
    // into the rows included.
    StartPinging(growStart);
    double lastChange = growAtOnce ? ResizeFilesAtOnce("+100") : -1;
    if (lastChange < 0) {
        HANDLE grower = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, GrowFiles, nullptr, 0, nullptr));
        PumpUntil([&] { return WaitForSingleObject(grower, 0) == WAIT_OBJECT_0; }, 600000);
        CloseHandle(grower);
        lastChange = Now();
    }
    const double grown = lastChange - growStart;
    RunParameters params = g_app.scan;
    HANDLE measurer = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, MeasureGrown, &params, 0, nullptr));
    PumpUntil([&] { return WaitForSingleObject(measurer, 0) == WAIT_OBJECT_0; }, 600000);
    CloseHandle(measurer);
    const bool shown = PumpUntil(GrowthShown, 600000);
    const double growSeconds = Now() - growStart;
    const PingResults growWaits = StopPinging();
    const unsigned freshRuns = g_app.runNumber - runsBefore;   // the watch overflowed: measured afresh
    if (!growAtOnce || ResizeFilesAtOnce("-100") < 0) {
        for (const Grown& file : g_grown) ResizeFile(file.name, file.size);
    }
    // Too many changes at once can overflow the watch's buffer, and the folder is then
    // measured again: the removals wait for the listing to be whole.
    PumpUntil([] { return Idle() && g_app.rowCount == static_cast<int>(SendMessageW(g_app.list, LVM_GETITEMCOUNT, 0, 0)); },
              600000);
    Sleep(500);
    Pump();
    PumpUntil(Idle, 600000);
    wprintf(L" grow=%d growing=%.3f grow_shown=%.3f grow_agreed=%ls grow_fresh_runs=%u grow_freeze=%.3f grow_posted_freeze=%.3f",
            static_cast<int>(g_grown.size()), grown, growSeconds, shown ? L"yes" : L"no", freshRuns, growWaits.sent,
            growWaits.posted);
    fflush(stdout);

    // The removal notices of many rows, from the top of the list where every deletion
    // moves the rows behind it. A notice is checked against the disk, so with the watch
    // off the folder is renamed for the time of the notices: every name is then gone.
    // (Moving the files themselves aside costs Wine a scan of the folder per name.)
    const int before = g_app.rowCount;
    std::vector<std::wstring> removed;
    for (int row = 0; row < rows && static_cast<int>(removed.size()) < remove; row += 2) {
        if (const RowEntry* entry = RowEntryAt(row)) removed.push_back(entry->name);
    }
    StopWatcher();
    std::wstring folder = g_target;
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    const std::wstring aside = folder + L"-aside";
    const bool movedAside = MoveFileW(folder.c_str(), aside.c_str()) != FALSE;
    const double removal = Timed([&] {
        for (const std::wstring& name : removed) ApplyNotice(FILE_ACTION_REMOVED, name);
        Retotal();
    });
    if (movedAside) MoveFileW(aside.c_str(), folder.c_str());
    wprintf(L" rows_before=%d removed=%d remove=%.3f rows_after=%d\n", before, static_cast<int>(removed.size()), removal,
            g_app.rowCount.load());
    fflush(stdout);
    DestroyWindow(g_app.main);
    Pump();
    return shown ? 0 : 1;
}
