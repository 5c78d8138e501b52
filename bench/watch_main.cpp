// Live update under load: lists a folder in file-operation mode in the program's real
// main window, then has another thread create, modify and delete 10,000 files in it, and
// times how long the listing takes to agree with a fresh measurement of the folder and
// the longest the window took to answer while the changes were made.
// With --move FOLDER it then moves FOLDER (on the same volume) into the watched folder,
// waits until its row shows its total and moves it back, while another thread keeps
// sending the window a message and times the longest wait for an answer.
// Prints one line: RESULT changes=... seconds=... changes_freeze=... [freeze=... moved=...]
#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>

#include "state/app_state.h"
#include "app/main_window.h"
#include "app/target_boxes.h"
#include "engine/accumulation.h"
#include "engine/folder_tree.h"
#include "list/result_rows.h"
#include "list/watcher.h"
#include "bench/window_bench.h"

using namespace lurmo;
using namespace lurmo::bench;

namespace {

constexpr int kFiles = 10000;

void WriteBytes(const std::wstring& path, DWORD size, DWORD disposition) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    static const char bytes[4096] = {};
    DWORD written = 0;
    if (disposition == OPEN_EXISTING) SetFilePointer(file, 0, nullptr, FILE_END);
    WriteFile(file, bytes, size, &written, nullptr);
    CloseHandle(file);
}

std::wstring g_target;

// Moves the folder in, waits for its row and its total, and moves it back. The longest
// the window took to answer meanwhile go to waits; false on a failure.
bool MoveIn(const std::wstring& folder, double& seconds, PingResults& waits) {
    const size_t cut = folder.find_last_of(L"\\/");
    const std::wstring name = folder.substr(cut + 1);
    // Its total, measured ahead by the same rule.
    RunParameters params;
    params.usedSize = g_app.effect.usedSize != 0;
    params.clusterSize = g_app.scan.clusterSize;
    if (!SetScanTarget(params, folder.substr(0, cut))) return false;
    const uint64_t expected = SumFolder(params, params.nameSlot, name);
    const std::wstring inside = g_target + L"\\" + name;
    const double start = Now();
    StartPinging(start);
    bool shown = false;
    if (MoveFileW(folder.c_str(), inside.c_str())) {
        shown = PumpUntil(
            [&] {
                const int row = FindRowByName(name);
                return row >= 0 && RowEntryAt(row)->size == expected;
            },
            600000);
        seconds = Now() - start;
        MoveFileW(inside.c_str(), folder.c_str());
    }
    waits = StopPinging();
    return shown;
}

// The changes, made as another program would, while the window goes on answering.
unsigned __stdcall MakeChanges(void*) {
    for (int folder = 0; folder < 10; ++folder) CreateDirectoryW((g_target + L"\\part" + std::to_wstring(folder)).c_str(), nullptr);
    auto name = [](int i) { return g_target + L"\\part" + std::to_wstring(i % 10) + L"\\file-" + std::to_wstring(i) + L".dat"; };
    for (int i = 0; i < kFiles; ++i) WriteBytes(name(i), static_cast<DWORD>(i % 3000), CREATE_ALWAYS);
    for (int i = 0; i < kFiles; ++i) WriteBytes(name(i), 100, OPEN_EXISTING);
    for (int i = 0; i < kFiles; i += 2) DeleteFileW(name(i).c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 && !(argc == 4 && wcscmp(argv[2], L"--move") == 0)) {
        fwprintf(stderr, L"usage: lurmo-bench-watch EMPTY-FOLDER [--move FOLDER]\n");
        return 2;
    }
    g_target = argv[1];
    ForgetSettings();
    if (!OpenMainWindow()) return 1;
    g_app.settings.snapShot = 0;
    SetBoxEditText(g_app.driveBox, g_target);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    if (!PumpUntil([] { return g_app.worker && WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0 && IsWatching(); },
                   60000)) {
        fwprintf(stderr, L"the first measurement did not end\n");
        return 1;
    }
    const DWORD start = GetTickCount();
    // How long the window may take to answer while it follows the changes as they come.
    StartPinging(0);
    HANDLE changer = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, MakeChanges, nullptr, 0, nullptr));
    PumpUntil([&] { return WaitForSingleObject(changer, 0) == WAIT_OBJECT_0; }, 600000);
    CloseHandle(changer);
    const DWORD changed = GetTickCount();
    const PingResults changesWaits = StopPinging();
    DWORD lastLook = 0;
    const bool agreed = PumpUntil(
        [&] {
            const bool runOver = !g_app.worker || WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0;
            if (!runOver || g_app.busy.load() || GetTickCount() - lastLook < 200) return false;
            lastLook = GetTickCount();
            const Sizes fresh = Fresh(g_target);
            uint64_t total = 0;
            for (const auto& [name, size] : fresh) total += size;
            return Listed() == fresh && total == g_app.grandTotal;
        },
        600000);
    const DWORD end = GetTickCount();
    wprintf(L"RESULT changes=%d making=%.2f agreed=%ls seconds=%.2f changes_freeze=%.3f", kFiles * 2 + kFiles / 2,
            (changed - start) / 1000.0, agreed ? L"yes" : L"no", (end - start) / 1000.0, changesWaits.sent);
    wprintf(L" changes_posted_freeze=%.3f", changesWaits.posted);
    bool moved = true;
    if (argc == 4) {
        double seconds = 0;
        PingResults waits;
        moved = MoveIn(argv[3], seconds, waits);
        wprintf(L" freeze=%.3f posted_freeze=%.3f moved=%ls move_seconds=%.2f", waits.sent, waits.posted,
                moved ? L"yes" : L"no", seconds);
    }
    wprintf(L"\n");
    DestroyWindow(g_app.main);
    Pump();
    return agreed && moved ? 0 : 1;
}
