// lurmo-bench FOLDER [--runs N]
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
#include "engine/file_system.h"
#include "engine/folder_tree.h"
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

RunParameters MakeParameters(const std::wstring& target) {
    RunParameters params;
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
    std::fprintf(stderr, "usage: lurmo-bench FOLDER [--runs N]\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring folder;
    int runs = 7;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--runs") == 0 && i + 1 < argc) runs = _wtoi(argv[++i]);
        else if (folder.empty()) folder = argv[i];
        else return Usage();
    }
    if (folder.empty() || runs < 1) return Usage();
    const std::wstring target = MakeExtendedPath(folder);
    if (target.empty()) return Usage();

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
