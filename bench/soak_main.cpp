// Live totals under random change: lists a folder in file-operation mode in the program's
// real main window, then, burst after burst, has another program (bench/soak_burst.py,
// run on the host) change the folder at random, and after each burst waits until the
// listing equals a fresh measurement of the folder. A burst after which it never does
// is reported with the rows that differ.
// Prints one line: RESULT bursts=... clean=... [first_failure=...]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "state/app_state.h"
#include "app/main_window.h"
#include "app/target_boxes.h"
#include "engine/accumulation.h"
#include "engine/folder_tree.h"
#include "engine/size_rule.h"
#include "list/notices.h"
#include "list/result_rows.h"
#include "list/watcher.h"
#include "bench/window_bench.h"

using namespace lurmo;
using namespace lurmo::bench;

namespace {

uint64_t Sum(const Sizes& sizes) {
    uint64_t total = 0;
    for (const auto& [name, size] : sizes) total += size;
    return total;
}

bool RunOver() { return !g_app.busy.load() && (!g_app.worker || WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0); }

// Runs a host command as another program and waits for it (Wine gives no handle to wait
// on for a host program, so the command leaves a mark when it is done).
bool RunHost(const std::wstring& command, const std::wstring& mark) {
    DeleteFileW(mark.c_str());
    std::wstring line = L"/bin/sh -c \"" + command + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The window keeps answering (and applying notices) while the burst goes on.
    return PumpUntil([&] { return GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES; }, 600000);
}

// Prints where the listed tree of a folder row differs from the disk, node by node, so
// that a failing burst says which item went wrong and not only which row.
void PrintTreeDifferences(const std::wstring& path, const ChildMap& listed, const ChildMap& fresh, int& budget) {
    std::map<std::wstring, const Node*> mine, disk;
    VisitChildren(listed, [&](const Node* node) { mine[NodeNameCopy(node)] = node; });
    VisitChildren(fresh, [&](const Node* node) { disk[NodeNameCopy(node)] = node; });
    for (const auto& [name, node] : disk) {
        if (budget <= 0) return;
        const auto found = mine.find(name);
        const std::wstring child = path + L"\\" + name;
        if (found == mine.end()) {
            fwprintf(stderr, L"  missing %ls (%llu)\n", child.c_str(), static_cast<unsigned long long>(node->size));
            --budget;
        } else if (found->second->size != node->size || found->second->kind != node->kind) {
            if ((node->kind & kKindFile) || (found->second->kind & kKindFile)) {
                fwprintf(stderr, L"  %ls listed %llu, on disk %llu\n", child.c_str(),
                         static_cast<unsigned long long>(found->second->size), static_cast<unsigned long long>(node->size));
                --budget;
            } else {
                PrintTreeDifferences(child, static_cast<const FolderNode*>(found->second)->children,
                                     static_cast<const FolderNode*>(node)->children, budget);
            }
        }
    }
    for (const auto& [name, node] : mine) {
        if (budget <= 0) return;
        if (disk.count(name)) continue;
        fwprintf(stderr, L"  extra %ls (%llu)\n", (path + L"\\" + name).c_str(), static_cast<unsigned long long>(node->size));
        --budget;
    }
}

void PrintRowDifferences(const std::wstring& target, const std::wstring& name) {
    const int row = FindRowByName(name);
    const RowEntry* entry = row >= 0 ? RowEntryAt(row) : nullptr;
    if (!entry || (entry->kind & kKindFile)) return;
    RunParameters params;
    params.usedSize = g_app.effect.usedSize != 0;
    params.clusterSize = g_app.scan.clusterSize;
    SetScanTarget(params, target);
    WriteName(params, params.nameSlot, name);
    WIN32_FIND_DATAW data;
    if (!FindItem(params.path, data)) return;
    std::unique_ptr<FolderEntry> fresh(MakeFolderEntry(data));
    MeasureFolderEntry(params, data, fresh.get(), params.nameSlot);
    int budget = 20;
    PrintTreeDifferences(name, static_cast<const FolderEntry*>(entry)->children, fresh->children, budget);
    DestroyFolderEntry(fresh.get());
}

// With SOAK_TRACE naming a file, every notice the watch brings is appended to it with
// the time, beside the burst script's own log of what it changed.
FILE* g_traceFile = nullptr;

void TraceNotice(DWORD action, const std::wstring& path) {
    fwprintf(g_traceFile, L"%lu %lu %ls\n", GetTickCount(), action, path.c_str());
    fflush(g_traceFile);
}

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (; *text; ++text) wide.push_back(static_cast<unsigned char>(*text));
    return wide;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 7) {
        fwprintf(stderr, L"usage: lurmo-bench-soak TARGET UNIX-TARGET UNIX-OUTSIDE BURST-SCRIPT SEED BURSTS [CHANGES]\n");
        return 2;
    }
    const std::wstring target = argv[1], unixTarget = argv[2], unixOutside = argv[3], script = argv[4];
    const unsigned seed = static_cast<unsigned>(_wtoi(argv[5]));
    const int bursts = _wtoi(argv[6]);
    const int changes = argc > 7 ? _wtoi(argv[7]) : 25;
    ForgetSettings();
    if (!OpenMainWindow()) return 1;
    if (const wchar_t* trace = _wgetenv(L"SOAK_TRACE")) {
        g_traceFile = _wfopen(trace, L"w, ccs=UTF-8");
        if (g_traceFile) SetNoticeTrace(TraceNotice);
    }
    g_app.settings.snapShot = 0;
    g_app.settings.usedSize = (seed % 2) != 0;   // both rules, seed by seed
    SetBoxEditText(g_app.driveBox, target);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    if (!PumpUntil([] { return RunOver() && IsWatching(); }, 60000)) {
        fwprintf(stderr, L"the first measurement did not end\n");
        return 1;
    }
    wchar_t temp[MAX_PATH]{};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring mark = std::wstring(temp) + L"lurmo-soak-done-" + std::to_wstring(GetCurrentProcessId());
    wchar_t unixMark[MAX_PATH * 2]{};
    using Convert = char*(CDECL*)(const wchar_t*);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* converted = convert ? convert(mark.c_str()) : nullptr;
    if (!converted) return 1;
    wcsncpy(unixMark, Widen(converted).c_str(), MAX_PATH * 2 - 1);
    HeapFree(GetProcessHeap(), 0, converted);

    int clean = 0;
    int firstFailure = -1;
    for (int burst = 0; burst < bursts; ++burst) {
        const unsigned burstSeed = seed * 100000u + static_cast<unsigned>(burst);
        const std::wstring command = L"python3 '" + script + L"' '" + unixTarget + L"' '" + unixOutside + L"' " +
                                     std::to_wstring(burstSeed) + L" " + std::to_wstring(changes) + L"; touch '" +
                                     unixMark + L"'";
        if (!RunHost(command, mark)) {
            fwprintf(stderr, L"burst %d: the other program did not end\n", burst);
            return 1;
        }
        Sizes fresh;
        DWORD lastLook = 0;
        if (g_traceFile) fwprintf(g_traceFile, L"%lu burst %u done\n", GetTickCount(), burstSeed);
        const bool agreed = PumpUntil(
            [&] {
                if (!RunOver() || GetTickCount() - lastLook < 250) return false;
                Pump();
                fresh = Fresh(target);
                lastLook = GetTickCount();
                return Listed() == fresh && g_app.grandTotal == Sum(fresh) && IsWatching();
            },
            60000);
        if (agreed) {
            ++clean;
            continue;
        }
        if (firstFailure < 0) firstFailure = burst;
        const Sizes listed = Listed();
        fwprintf(stderr, L"burst %d (seed %u): listed %zu rows, total %llu; on disk %zu rows, total %llu; watching %d:",
                 burst, burstSeed, listed.size(), static_cast<unsigned long long>(g_app.grandTotal.load()), fresh.size(),
                 static_cast<unsigned long long>(Sum(fresh)), IsWatching() ? 1 : 0);
        for (const auto& [name, size] : fresh) {
            const auto found = listed.find(name);
            if (found != listed.end() && found->second == size) continue;
            fwprintf(stderr, L" %ls=%llu/%ls", name.c_str(), static_cast<unsigned long long>(size),
                     found == listed.end() ? L"none" : std::to_wstring(found->second).c_str());
        }
        for (const auto& [name, size] : listed) {
            if (!fresh.count(name)) fwprintf(stderr, L" %ls=gone/%llu", name.c_str(), static_cast<unsigned long long>(size));
        }
        fwprintf(stderr, L"\n");
        for (const auto& [name, size] : fresh) {
            const auto found = listed.find(name);
            if (found != listed.end() && found->second != size) PrintRowDifferences(target, name);
        }
        // Start the next burst from a listing that is right again.
        SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
        PumpUntil([] { return RunOver() && IsWatching(); }, 60000);
    }
    wprintf(L"RESULT bursts=%d clean=%d first_failure=%d\n", bursts, clean, firstFailure);
    DestroyWindow(g_app.main);
    Pump();
    return clean == bursts ? 0 : 1;
}
