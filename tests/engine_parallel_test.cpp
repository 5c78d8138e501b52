// Measuring on several threads: a run on many threads hands over exactly what a run on
// one does (rows in the same order, the same totals and trees) on a tree made to trip
// the hand-over of subfolders between threads; a cancel ends such a run quickly and
// leaves no thread behind; a folder's child blocks keep every child through any mix of
// additions and removals.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/accumulation.h"
#include "engine/file_system.h"
#include "tests/test_support.h"

using namespace lurmo;
using lurmo::test::TempFolder;

namespace {

// A row and, in file-operation mode, its whole tree as "path size kind" lines in key order.
struct Listing {
    std::vector<std::wstring> lines;
    RunResult result;
};

void ListTree(const ChildMap& map, const std::wstring& path, std::vector<std::wstring>& lines) {
    VisitChildren(map, [&](const Node* node) {
        const std::wstring inner = path + L"\\" + NodeNameCopy(node);
        lines.push_back(L"  " + inner + L" " + std::to_wstring(node->size) + L" " + std::to_wstring(node->kind));
        if (!(node->kind & kKindFile)) ListTree(static_cast<const FolderNode*>(node)->children, inner, lines);
    });
}

Listing MeasureOn(const std::wstring& target, bool snapshot, uint32_t threads) {
    RunParameters params;
    params.usedSize = true;
    params.clusterSize = 4096;
    params.threads = threads;
    EXPECT_TRUE(SetScanTarget(params, target));
    Listing listing;
    auto keep = [&listing, snapshot](RowEntry* record) {
        listing.lines.push_back(record->name + L" " + std::to_wstring(record->size) + L" " +
                                std::to_wstring(record->kind) + L" " +
                                std::to_wstring(record->time.dwLowDateTime));
        if (!snapshot && !(record->kind & kKindFile)) {
            const auto* folder = static_cast<const FolderEntry*>(record);
            ListTree(folder->children, record->name, listing.lines);
        }
        ReleaseRowEntry(record, snapshot);
    };
    RunSink sink;
    sink.fileRow = keep;
    sink.folderRow = keep;
    sink.snapshotRow = keep;
    listing.result = MeasureChildren(params, snapshot, sink);
    return listing;
}

std::wstring FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    std::wstring path;
    for (const char* c = value ? value : ""; *c; ++c) path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    return path;
}

// One child holds nearly everything, hundreds of folders deep and wide, so that idle
// threads take subfolders from below it; with Japanese names, a path past the short
// limit and a 4 GiB sparse file among them.
void MakeAwkwardTree(const TempFolder& root) {
    for (int a = 0; a < 12; ++a) {
        for (int b = 0; b < 12; ++b) {
            const std::wstring folder = L"重い\\枝" + std::to_wstring(a) + L"\\葉" + std::to_wstring(b);
            root.File(folder + L"\\データ" + std::to_wstring(b) + L".bin", 1000 * a + b);
            root.File(folder + L"\\x.txt", 5000);
        }
    }
    std::wstring deep = L"重い\\深い";
    while (deep.size() < 300) deep += L"\\とても長いフォルダの名前";
    lurmo::test::MakeFolders(L"\\\\?\\" + root.path() + L"\\" + deep);
    lurmo::test::WriteFileOfSize(L"\\\\?\\" + root.path() + L"\\" + deep + L"\\底.bin", 77777);
    root.File(L"重い\\疎\\four.gib", 1ull << 32);
    root.File(L"小さい\\一.bin", 1);
    root.File(L"ファイル.txt", 123);
    root.Folder(L"空");
}

size_t ThreadsOfThisProcess() {
    size_t count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

std::atomic<LONG>* g_cancelAfter = nullptr;
std::atomic<LONG> g_itemsSeen{0};
std::atomic<LONG> g_cancelledAt{0};   // GetTickCount when the request was made

DWORD CancelAfterManyItems(const WIN32_FIND_DATAW& data) {
    if (g_cancelAfter && g_itemsSeen.fetch_add(1) == 150) {
        g_cancelledAt.store(static_cast<LONG>(GetTickCount()));
        g_cancelAfter->store(1);
    }
    return data.dwFileAttributes;
}

}  // namespace

TEST(Parallel, ManyThreadsHandOverWhatOneThreadDoes) {
    TempFolder root;
    MakeAwkwardTree(root);
    // The host-made link tree adds links that lead back up and one that is entered.
    for (const std::wstring& target : {root.path(), FromEnvironment("LURMO_LINK_TREE")}) {
        ASSERT_FALSE(target.empty());
        for (bool snapshot : {false, true}) {
            SCOPED_TRACE(::testing::PrintToString(target) + (snapshot ? " snapshot" : " file-operation"));
            const Listing one = MeasureOn(target, snapshot, 1);
            EXPECT_EQ(one.result.outcome, RunOutcome::Completed);
            // More threads than processors, so that they interleave even on a small machine.
            for (int attempt = 0; attempt < 3; ++attempt) {
                const Listing many = MeasureOn(target, snapshot, kMaxMeasureThreads);
                EXPECT_EQ(many.result.outcome, RunOutcome::Completed);
                EXPECT_EQ(many.result.rowCount, one.result.rowCount);
                EXPECT_EQ(many.result.grandTotal, one.result.grandTotal);
                ASSERT_EQ(many.lines, one.lines);
            }
        }
    }
    // The awkward tree is counted whole: 144 leaves, the deep file and the sparse one.
    auto used = [](uint64_t bytes) { return (bytes + 4095) / 4096 * 4096; };
    uint64_t expected = used(123) + used(1) + used(77777) + used(1ull << 32);
    for (int a = 0; a < 12; ++a) {
        for (int b = 0; b < 12; ++b) expected += used(1000 * a + b) + used(5000);
    }
    EXPECT_EQ(MeasureOn(root.path(), true, kMaxMeasureThreads).result.grandTotal, expected);
}

TEST(Parallel, ACancelEndsARunOnManyThreadsWithinASecondLeavingNoThread) {
    TempFolder root;
    MakeAwkwardTree(root);
    static const CompressionProbe probe{CancelAfterManyItems, nullptr};
    const CompressionProbe* previous = InstallCompressionProbe(&probe);
    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(snapshot ? "snapshot" : "file-operation");
        const size_t threadsBefore = ThreadsOfThisProcess();
        std::atomic<LONG> cancel{0};
        g_itemsSeen.store(0);
        g_cancelAfter = &cancel;
        RunParameters params;
        params.threads = kMaxMeasureThreads;
        params.cancel = &cancel;
        ASSERT_TRUE(SetScanTarget(params, root.path()));
        RunSink sink;
        sink.fileRow = [](FileEntry* entry) { ReleaseRowEntry(entry, false); };
        sink.folderRow = [](FolderEntry* entry) { ReleaseRowEntry(entry, false); };
        sink.snapshotRow = [](SnapshotEntry* entry) { ReleaseRowEntry(entry, true); };
        const RunResult result = MeasureChildren(params, snapshot, sink);
        const DWORD answered = GetTickCount() - static_cast<DWORD>(g_cancelledAt.load());
        g_cancelAfter = nullptr;
        ASSERT_EQ(cancel.load(), 1) << "the run ended before the request";
        EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
        EXPECT_LT(answered, 1000u);
        EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore) << "a measuring thread outlived its run";
    }
    InstallCompressionProbe(previous);
}

TEST(ChildMap, BlocksKeepEveryChildThroughAdditionsAndRemovals) {
    NodeArena arena;
    ChildMap map;
    std::set<std::wstring> expected;
    // Enough to split blocks many times over; removals empty some blocks altogether.
    std::vector<Node*> adopted;
    for (int i = 0; i < 3000; i += 2) {
        adopted.push_back(NewNode(arena, false, L"k" + std::to_wstring(i)));
        expected.insert(L"k" + std::to_wstring(i));
    }
    AdoptChildren(map, arena, adopted.data(), adopted.size());
    std::mt19937 random(7);
    for (int step = 0; step < 20000; ++step) {
        const std::wstring name = L"k" + std::to_wstring(random() % 3000);
        if (random() % 3 == 0) {
            Node* taken = TakeChild(map, arena, name);
            EXPECT_EQ(taken != nullptr, expected.erase(name) == 1) << ::testing::PrintToString(name);
            ReleaseNode(arena, taken);
        } else {
            Node* node = NewNode(arena, false, name);
            const bool inserted = InsertChild(map, arena, node);
            EXPECT_EQ(inserted, expected.insert(name).second) << ::testing::PrintToString(name);
            if (!inserted) ReleaseNode(arena, node);
        }
        // The way a run's hand-over of a range of names would empty whole blocks.
        if (step == 10000) {
            for (int i = 1000; i < 2000; ++i) {
                const std::wstring gone = L"k" + std::to_wstring(i);
                ReleaseNode(arena, TakeChild(map, arena, gone));
                expected.erase(gone);
            }
        }
    }
    std::vector<std::wstring> keys;
    VisitChildren(map, [&keys](const Node* node) { keys.emplace_back(NodeNameCopy(node)); });
    std::vector<std::wstring> sortedKeys = keys;
    std::sort(sortedKeys.begin(), sortedKeys.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareKeys(a, b) < 0;
    });
    EXPECT_EQ(keys, sortedKeys);
    EXPECT_EQ(std::set<std::wstring>(keys.begin(), keys.end()), expected);
    EXPECT_EQ(map.count, expected.size());
    for (const std::wstring& name : expected) EXPECT_NE(FindChild(map, name), nullptr);
    // Drained one by one, the list of blocks shrinks through every size it grew through.
    for (const std::wstring& name : expected) ReleaseNode(arena, TakeChild(map, arena, name));
    EXPECT_EQ(map.count, 0u);
    EXPECT_EQ(map.blockCount, 0u);
    ReleaseChildren(map, arena);
}
