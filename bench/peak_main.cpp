// lurmo-bench-peak FOLDER --mode snapshot|tree: lists FOLDER in the program's real main
// window in that mode with the settings a new user has (in file-operation mode the map
// and its drawing included), waits until the window is idle and the map drawn, and
// prints the whole process's peak working set, as a user's task manager shows it. The
// difference between the two modes, divided by the nodes the tree keeps, is what a node
// costs the user; scripts/bench takes it from the best of several processes.
// Prints one line: RESULT mode=... peak=... end=... nodes=... map=0|1 (end: the working set
// once the window is idle, to tell a peak of the start from one of the listing)
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/main_window.h"
#include "app/target_boxes.h"
#include "bench/window_bench.h"
#include "engine/folder_tree.h"
#include "map/treemap_pane.h"
#include "state/app_state.h"
#include "state/settings.h"

using namespace lurmo;
using namespace lurmo::bench;

namespace {

bool Finished() {
    return g_app.worker && WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0 && !g_app.busy.load();
}

bool MapDrawn() {
    int width = 0, height = 0;
    return CurrentTreemapPicture(width, height) != nullptr;
}

uint64_t KeptNodes() {
    uint64_t nodes = 0;
    for (int row = 0; row < g_app.rowCount; ++row) {
        const RowEntry* entry = RowEntryAt(row);
        if (!entry) continue;
        ++nodes;
        if (!(entry->kind & kKindFile) && !g_app.effect.snapShot) {
            nodes += CountTree(static_cast<const FolderEntry*>(entry)).nodes;
        }
    }
    return nodes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4 || std::wcscmp(argv[2], L"--mode") != 0 ||
        (std::wcscmp(argv[3], L"snapshot") != 0 && std::wcscmp(argv[3], L"tree") != 0)) {
        std::fwprintf(stderr, L"usage: lurmo-bench-peak FOLDER --mode snapshot|tree\n");
        return 2;
    }
    const bool snapshot = std::wcscmp(argv[3], L"snapshot") == 0;
    // A new user who chose the mode: its panes (the map only in file-operation mode)
    // are as the window makes them for that mode.
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        const DWORD value = snapshot ? 1 : 0;
        RegSetValueExW(key, L"SnapShot", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegCloseKey(key);
    }
    if (!OpenMainWindow()) return 1;
    ShowWindow(g_app.main, SW_SHOWNA);
    SetBoxEditText(g_app.driveBox, argv[1]);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    if (!PumpUntil(Finished, 600000)) {
        std::fwprintf(stderr, L"the listing did not end\n");
        return 1;
    }
    // The watch starts and the map draws after the run: a user keeps the window open.
    const bool drawn = PumpUntil(MapDrawn, snapshot ? 1000 : 20000);
    PumpUntil([] { return false; }, 500);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 1;
    std::printf("RESULT mode=%ls peak=%llu end=%llu nodes=%llu map=%d\n", argv[3],
                static_cast<unsigned long long>(counters.PeakWorkingSetSize),
                static_cast<unsigned long long>(counters.WorkingSetSize),
                static_cast<unsigned long long>(KeptNodes()), drawn ? 1 : 0);
    std::fflush(stdout);
    ExitProcess(0);
}
