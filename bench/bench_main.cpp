// lurmo-bench FOLDER [--runs N] [--threads N]
// lurmo-bench FOLDER --only bare|snapshot|tree [--threads N]
// lurmo-bench --churn
//
// Times, in one process, three measurements of FOLDER:
//   (a) a bare recursive FindFirstFileExW walk (basic information level, large fetch)
//       that only sums logical sizes: the floor for any tool that enumerates;
//   (b) MeasureChildren in snapshot mode;
//   (c) MeasureChildren in file-operation mode, which keeps a tree per folder.
// Each is run N times (default 7) after one warm-up walk, interleaved so that drifts of
// the machine touch all three alike. Best and median times are reported; the ratios and
// the RESULT line use the best, since on a shared machine other work only ever adds
// time, while the median moves with whatever else runs. For
// (c) it reports the memory the kept trees hold per node. The three must agree on the
// logical total (and (c) on the item count, and all with FOLDER.sizes when it exists);
// the exit status is 1 when they do not, 2 on a usage error.
//
// --threads sets how many threads measure (default: one per processor). The measurements
// count their progress as the window does.
//
// With --only the process makes one measurement of that kind, prints
// "RESULT seconds=... peak=... nodes=..." (the peak working set in bytes; the nodes kept,
// rows included, in file-operation mode) and exits without releasing anything:
// scripts/bench times whole processes this way, start to end, as a user waiting for a
// report would, and takes the memory a node costs the whole process from the peaks.
//
// --churn times 10,000 additions and 10,000 removals of files in a folder of 1,000,000
// files, in the child blocks the trees use and in one flat sorted array (the layout the
// blocks replaced, which moved the whole list on every change).
//
// The last line, "RESULT key=value ...", is what scripts/bench reads.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "engine/accumulation.h"
#include "engine/run_counters.h"
#include "engine/file_system.h"
#include "engine/folder_tree.h"
#include "engine/entries.h"
#include "engine/handles.h"

using namespace lurmo;

namespace {

struct WalkCount {
    uint64_t files = 0;
    uint64_t folders = 0;
    uint64_t bytes = 0;
};

double Seconds() {
    static const double frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

uint64_t LogicalSize(const WIN32_FIND_DATAW& data) { return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow; }

bool IsDots(const wchar_t* name) { return name[0] == L'.' && (!name[1] || (name[1] == L'.' && !name[2])); }

// (a) The least any enumerating tool must do: every folder opened once with the cheapest
// information level and the largest fetch, and nothing kept. Links are not entered (the
// trees measured here have none).
WalkCount WalkBare(std::wstring path) {
    struct Level {
        unique_hfind find;
        size_t length;
    };
    WalkCount count;
    std::vector<Level> levels;
    WIN32_FIND_DATAW data;
    auto open = [&](size_t length) {
        path.resize(length);
        path += path.back() == L'\\' ? L"*" : L"\\*";
        unique_hfind find(FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH));
        path.resize(length);
        if (!find) return false;
        levels.push_back({std::move(find), length});
        return true;
    };

    bool haveEntry = open(path.size());
    while (!levels.empty()) {
        if (!haveEntry) {
            levels.pop_back();
            haveEntry = !levels.empty() && FindNextFileW(levels.back().find.get(), &data);
            continue;
        }
        if (!IsDots(data.cFileName)) {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ++count.folders;
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    path.resize(levels.back().length);
                    if (path.back() != L'\\') path.push_back(L'\\');
                    path += data.cFileName;
                    if (open(path.size())) {
                        haveEntry = true;
                        continue;
                    }
                }
            } else {
                ++count.files;
                count.bytes += LogicalSize(data);
            }
        }
        haveEntry = FindNextFileW(levels.back().find.get(), &data);
    }
    return count;
}

uint32_t g_threads = 0;
// Counted as the window and the report count, so that the cost of showing progress is
// in every figure.
RunCounters g_counters;

RunParameters MakeParameters(const std::wstring& target) {
    RunParameters params;
    params.threads = g_threads;
    ResetRunCounters(g_counters);
    params.counters = &g_counters;
    params.usedSize = false;  // logical sizes, so that the three totals can be compared
    params.clusterSize = 4096;
    SetScanTarget(params, target);
    return params;
}

struct SnapshotRun {
    double seconds = 0;
    RunResult result;
    std::map<std::wstring, uint64_t> rows;
};

// (b)
SnapshotRun TimeSnapshotRun(const std::wstring& target) {
    RunParameters params = MakeParameters(target);
    std::vector<SnapshotEntry*> entries;
    RunSink sink;
    sink.snapshotRow = [&entries](SnapshotEntry* entry) { entries.push_back(entry); };
    sink.fileRow = [](FileEntry* entry) { ReleaseRowEntry(entry, false); };
    sink.folderRow = [](FolderEntry* entry) { ReleaseRowEntry(entry, false); };
    SnapshotRun run;
    const double start = Seconds();
    run.result = MeasureChildren(params, true, sink);
    run.seconds = Seconds() - start;
    for (SnapshotEntry* entry : entries) {
        run.rows[entry->name] = entry->size;
        ReleaseRowEntry(entry, true);
    }
    return run;
}

struct TreeRun {
    double seconds = 0;
    double releaseSeconds = 0;
    RunResult result;
    uint64_t nodes = 0;        // rows and every node below them
    uint64_t bytes = 0;        // arenas, records and the names the records own
    uint64_t processBytes = 0; // growth of the process's private bytes while the trees lived
};

uint64_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
        return 0;
    }
    // Wine leaves PrivateUsage at 0; its PagefileUsage is the process's anonymous
    // resident memory, which is what the heap grows.
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

// Heap bytes behind a record's name: nothing while it fits the string's own buffer.
uint64_t NameBytes(const std::wstring& name) {
    static const size_t inlineCapacity = std::wstring().capacity();
    return name.capacity() > inlineCapacity ? (name.capacity() + 1) * sizeof(wchar_t) : 0;
}

// (c)
TreeRun TimeTreeRun(const std::wstring& target) {
    RunParameters params = MakeParameters(target);
    std::vector<RowEntry*> entries;
    RunSink sink;
    sink.fileRow = [&entries](FileEntry* entry) { entries.push_back(entry); };
    sink.folderRow = [&entries](FolderEntry* entry) { entries.push_back(entry); };
    sink.snapshotRow = [](SnapshotEntry* entry) { ReleaseRowEntry(entry, true); };
    TreeRun run;
    const uint64_t before = PrivateBytes();
    const double start = Seconds();
    run.result = MeasureChildren(params, false, sink);
    run.seconds = Seconds() - start;
    const uint64_t after = PrivateBytes();
    run.processBytes = after > before ? after - before : 0;

    for (const RowEntry* entry : entries) {
        ++run.nodes;
        run.bytes += NameBytes(entry->name);
        if (entry->kind & kKindFile) {
            run.bytes += sizeof(FileEntry);
        } else {
            const TreeCensus census = CountTree(static_cast<const FolderEntry*>(entry));
            run.nodes += census.nodes;
            run.bytes += census.bytes;  // the arena and the FolderEntry itself
        }
    }
    const double releaseStart = Seconds();
    for (RowEntry* entry : entries) ReleaseRowEntry(entry, false);
    run.releaseSeconds = Seconds() - releaseStart;
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Best(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr,
                        nullptr);
    return result;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

// The record lurmo-bench-tree leaves beside its tree; false when there is none.
bool ReadSizesRecord(const std::wstring& path, std::map<std::wstring, uint64_t>& sizes) {
    unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    std::string text;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t tab = line.find('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
        sizes[FromUtf8(line.substr(tab + 1))] = std::strtoull(line.c_str(), nullptr, 10);
    }
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: lurmo-bench FOLDER [--runs N] [--threads N]\n"
                 "       lurmo-bench FOLDER --only bare|snapshot|tree [--threads N]\n"
                 "       lurmo-bench --churn\n");
    return 2;
}

// One measurement as a whole process makes it; nothing is released before the exit.
int MeasureOnly(const std::wstring& target, const std::wstring& kind) {
    RunParameters params = MakeParameters(target);
    RunSink sink;
    std::vector<RowEntry*> kept;
    sink.fileRow = [&kept](FileEntry* entry) { kept.push_back(entry); };
    sink.folderRow = [&kept](FolderEntry* entry) { kept.push_back(entry); };
    sink.snapshotRow = [&kept](SnapshotEntry* entry) { kept.push_back(entry); };
    const double start = Seconds();
    uint64_t bytes = 0;
    if (kind == L"bare") bytes = WalkBare(target).bytes;
    else if (kind == L"snapshot") bytes = MeasureChildren(params, true, sink).grandTotal;
    else if (kind == L"tree") bytes = MeasureChildren(params, false, sink).grandTotal;
    else return Usage();
    const double seconds = Seconds() - start;
    // What a user's task manager shows: the process's peak working set, everything in it
    // (heap slack, thread stacks, buffers freed again) and not only what the trees hold.
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    const uint64_t peak = GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)
                              ? counters.PeakWorkingSetSize : 0;
    uint64_t nodes = 0;
    for (const RowEntry* entry : kept) {
        ++nodes;
        if (!(entry->kind & kKindFile) && kind == L"tree") nodes += CountTree(static_cast<const FolderEntry*>(entry)).nodes;
    }
    std::printf("RESULT seconds=%.3f bytes=%llu peak=%llu nodes=%llu\n", seconds, static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(peak), static_cast<unsigned long long>(nodes));
    std::fflush(stdout);
    ExitProcess(0);
}

std::wstring ChurnName(uint64_t i) {
    // Twelve characters, spread over the key space like real names.
    wchar_t name[16];
    uint64_t x = i * 0x9E3779B97F4A7C15ull;
    for (int c = 0; c < 12; ++c) {
        name[c] = static_cast<wchar_t>(L'a' + x % 26);
        x /= 26;
        if (c == 5) x ^= i * 0xD1B54A32D192ED03ull;
    }
    name[12] = L'\0';
    return name;
}

int Churn() {
    constexpr uint64_t kFolderFiles = 1000000, kChanges = 10000;
    NodeArena arena;
    std::vector<Node*> nodes;
    nodes.reserve(kFolderFiles);
    for (uint64_t i = 0; i < kFolderFiles; ++i) nodes.push_back(NewNode(arena, false, ChurnName(i)));
    ChildMap map;
    AdoptChildren(map, arena, nodes.data(), nodes.size());
    std::vector<Node*> flat(nodes.begin(), nodes.end());   // sorted by AdoptChildren
    std::sort(flat.begin(), flat.end(), [](const Node* a, const Node* b) { return CompareNodeKeys(a, b) < 0; });
    std::vector<Node*> fresh;
    for (uint64_t i = 0; i < kChanges; ++i) fresh.push_back(NewNode(arena, false, ChurnName(kFolderFiles + i)));
    auto less = [](const Node* a, const Node* b) { return CompareNodeKeys(a, b) < 0; };

    double start = Seconds();
    for (Node* node : fresh) InsertChild(map, arena, node);
    for (Node* node : fresh) TakeChild(map, arena, NodeNameCopy(node));
    const double blocks = Seconds() - start;

    start = Seconds();
    for (Node* node : fresh) flat.insert(std::lower_bound(flat.begin(), flat.end(), node, less), node);
    for (Node* node : fresh) flat.erase(std::lower_bound(flat.begin(), flat.end(), node, less));
    const double array = Seconds() - start;

    std::printf("churn: %llu additions and %llu removals in a folder of %llu files: child blocks %.3f s "
                "(%.1f us a change), one flat array %.3f s (%.1f us a change)\n",
                static_cast<unsigned long long>(kChanges), static_cast<unsigned long long>(kChanges),
                static_cast<unsigned long long>(kFolderFiles), blocks, blocks * 1e6 / (2 * kChanges), array,
                array * 1e6 / (2 * kChanges));
    std::printf("RESULT changes=%llu folder=%llu blocks=%.3f flat=%.3f agree=%d\n",
                static_cast<unsigned long long>(2 * kChanges), static_cast<unsigned long long>(kFolderFiles), blocks,
                array, map.count == kFolderFiles && flat.size() == kFolderFiles ? 1 : 0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring folder, only;
    int runs = 7;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--runs") == 0 && i + 1 < argc) runs = _wtoi(argv[++i]);
        else if (std::wcscmp(argv[i], L"--threads") == 0 && i + 1 < argc) g_threads = static_cast<uint32_t>(_wtoi(argv[++i]));
        else if (std::wcscmp(argv[i], L"--only") == 0 && i + 1 < argc) only = argv[++i];
        else if (std::wcscmp(argv[i], L"--churn") == 0) return Churn();
        else if (folder.empty()) folder = argv[i];
        else return Usage();
    }
    if (folder.empty() || runs < 1) return Usage();
    const std::wstring target = MakeExtendedPath(folder);
    if (target.empty()) return Usage();
    if (!only.empty()) return MeasureOnly(target, only);

    const WalkCount warm = WalkBare(target);
    if (warm.files + warm.folders == 0) {
        std::fprintf(stderr, "lurmo-bench: %s is empty or cannot be read\n", ToUtf8(folder).c_str());
        return 2;
    }

    std::vector<double> bare, snapshot, tree, release;
    WalkCount walk;
    SnapshotRun lastSnapshot;
    TreeRun lastTree, firstTree;
    bool agree = true;
    for (int run = 0; run < runs; ++run) {
        const double start = Seconds();
        walk = WalkBare(target);
        bare.push_back(Seconds() - start);

        lastSnapshot = TimeSnapshotRun(target);
        snapshot.push_back(lastSnapshot.seconds);

        lastTree = TimeTreeRun(target);
        if (run == 0) firstTree = lastTree;
        tree.push_back(lastTree.seconds);
        release.push_back(lastTree.releaseSeconds);

        if (walk.bytes != lastSnapshot.result.grandTotal || walk.bytes != lastTree.result.grandTotal ||
            walk.files + walk.folders != lastTree.nodes || lastSnapshot.result.outcome != RunOutcome::Completed ||
            lastTree.result.outcome != RunOutcome::Completed) {
            std::fprintf(stderr,
                         "lurmo-bench: run %d disagrees: bare walk %llu bytes in %llu items, snapshot %llu bytes, "
                         "tree %llu bytes in %llu nodes\n",
                         run + 1, static_cast<unsigned long long>(walk.bytes),
                         static_cast<unsigned long long>(walk.files + walk.folders),
                         static_cast<unsigned long long>(lastSnapshot.result.grandTotal),
                         static_cast<unsigned long long>(lastTree.result.grandTotal),
                         static_cast<unsigned long long>(lastTree.nodes));
            agree = false;
        }
    }

    std::map<std::wstring, uint64_t> recorded;
    const bool haveRecord = ReadSizesRecord(target + L".sizes", recorded);
    if (haveRecord && recorded != lastSnapshot.rows) {
        std::fprintf(stderr, "lurmo-bench: the rows differ from %s.sizes\n", ToUtf8(folder).c_str());
        for (const auto& [name, size] : recorded) {
            auto it = lastSnapshot.rows.find(name);
            if (it == lastSnapshot.rows.end() || it->second != size) {
                std::fprintf(stderr, "  %s: recorded %llu, measured %s\n", ToUtf8(name).c_str(),
                             static_cast<unsigned long long>(size),
                             it == lastSnapshot.rows.end() ? "nothing" : std::to_string(it->second).c_str());
            }
        }
        agree = false;
    }

    const double a = Best(bare), b = Best(snapshot), c = Best(tree);
    const double perNode = lastTree.nodes ? static_cast<double>(lastTree.bytes) / lastTree.nodes : 0;
    const double processPerNode = firstTree.nodes ? static_cast<double>(firstTree.processBytes) / firstTree.nodes : 0;
    std::printf("tree %s: %llu files, %llu folders, %llu bytes, %d top-level rows%s\n", ToUtf8(folder).c_str(),
                static_cast<unsigned long long>(walk.files), static_cast<unsigned long long>(walk.folders),
                static_cast<unsigned long long>(walk.bytes), lastSnapshot.result.rowCount,
                haveRecord ? ", rows match the .sizes record" : "");
    std::printf("runs %d (best / median)\n", runs);
    std::printf("  (a) bare walk       %8.3f s / %8.3f s\n", a, Median(bare));
    std::printf("  (b) snapshot mode   %8.3f s / %8.3f s   b/a %.3f (medians %.3f)\n", b, Median(snapshot), b / a,
                Median(snapshot) / Median(bare));
    std::printf("  (c) file-operation  %8.3f s / %8.3f s   c/a %.3f (medians %.3f)   release of the trees %.3f s\n", c,
                Median(tree), c / a, Median(tree) / Median(bare), Median(release));
    std::printf("  tree memory: %llu nodes, %llu bytes held, %.1f bytes/node (process private bytes grew %.1f "
                "bytes/node in the first run)\n",
                static_cast<unsigned long long>(lastTree.nodes), static_cast<unsigned long long>(lastTree.bytes),
                perNode, processPerNode);
    std::printf("  totals %s\n", agree ? "agree" : "DISAGREE");
    std::printf("RESULT files=%llu folders=%llu bare=%.3f snapshot=%.3f tree=%.3f ba=%.3f ca=%.3f bytes_per_node=%.1f "
                "agree=%d\n",
                static_cast<unsigned long long>(walk.files), static_cast<unsigned long long>(walk.folders), a, b, c,
                b / a, c / a, perNode, agree ? 1 : 0);
    return agree ? 0 : 1;
}
