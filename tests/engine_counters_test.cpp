// What a run counts as it goes: at its end the whole tree, on any number of threads and
// in either mode; read while it goes on, counts that never go down.
#include <gtest/gtest.h>
#include <windows.h>
#include <process.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/accumulation.h"
#include "engine/run_counters.h"
#include "tests/test_support.h"

using namespace lurmo;
using lurmo::test::TempFolder;

namespace {

RunResult MeasureCounting(const std::wstring& target, bool snapshot, uint32_t threads, RunCounters& counters) {
    RunParameters params;
    params.usedSize = true;
    params.clusterSize = 4096;
    params.threads = threads;
    params.counters = &counters;
    EXPECT_TRUE(SetScanTarget(params, target));
    RunSink sink;
    auto release = [snapshot](RowEntry* record) { ReleaseRowEntry(record, snapshot); };
    sink.fileRow = release;
    sink.folderRow = release;
    sink.snapshotRow = release;
    return MeasureChildren(params, snapshot, sink);
}

// 32 files and 15 folders below the target: files at the top and at every depth, an
// empty folder at the top and one deep down, and a wide folder whose subfolders idle
// threads take over.
void MakeKnownTree(const TempFolder& root) {
    root.File(L"one.bin", 1);
    root.File(L"page.bin", 4096);
    root.File(L"more.bin", 5000);
    for (int i = 0; i < 4; ++i) root.File(L"a\\f" + std::to_wstring(i), 100);
    for (int i = 0; i < 5; ++i) root.File(L"a\\b\\g" + std::to_wstring(i), 9000);
    root.Folder(L"a\\b\\c");
    root.Folder(L"d");
    for (int i = 0; i < 10; ++i) {
        root.File(L"e\\s" + std::to_wstring(i) + L"\\x", 1);
        root.File(L"e\\s" + std::to_wstring(i) + L"\\y", 0);
    }
}

RunCounters g_counters;
std::atomic<bool> g_stopReading{false};
std::vector<RunCounts> g_reads;

unsigned __stdcall ReadUntilStopped(void*) {
    while (!g_stopReading.load()) {
        g_reads.push_back(SumRunCounters(g_counters));
        Sleep(0);
    }
    return 0;
}

}  // namespace

TEST(Counters, AtTheEndTheyHoldTheWholeTreeInEitherModeOnAnyNumberOfThreads) {
    TempFolder root;
    MakeKnownTree(root);
    for (bool snapshot : {true, false}) {
        for (uint32_t threads : {1u, 4u}) {
            RunCounters counters;
            const RunResult result = MeasureCounting(root.path(), snapshot, threads, counters);
            const RunCounts counts = SumRunCounters(counters);
            SCOPED_TRACE(testing::Message() << "snapshot " << snapshot << ", threads " << threads);
            EXPECT_EQ(result.rowCount, 6);
            EXPECT_EQ(counts.files, 32u);
            EXPECT_EQ(counts.folders, 15u);
            // Under the used-size rule: 1 + 1 + 2 clusters at the top, 4 and 5 * 3 in a,
            // 10 in e (the empty files take none).
            EXPECT_EQ(counts.bytes, (4u + 4u + 15u + 10u) * 4096u);
            EXPECT_EQ(counts.bytes, result.grandTotal);
        }
    }
}

TEST(Counters, ReadWhileARunGoesOnTheyNeverGoDown) {
    TempFolder root;
    for (int a = 0; a < 30; ++a) {
        for (int f = 0; f < 20; ++f) root.File(L"t" + std::to_wstring(a) + L"\\u\\f" + std::to_wstring(f), 10 + f);
    }
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ReadUntilStopped, nullptr, 0, nullptr));
    ASSERT_TRUE(thread);
    const RunResult result = MeasureCounting(root.path(), false, 4, g_counters);
    g_stopReading = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ASSERT_EQ(result.rowCount, 30);
    size_t between = 0;   // reads that saw the run part done
    for (size_t i = 1; i < g_reads.size(); ++i) {
        const RunCounts& before = g_reads[i - 1];
        const RunCounts& after = g_reads[i];
        ASSERT_GE(after.files, before.files) << "read " << i;
        ASSERT_GE(after.folders, before.folders) << "read " << i;
        ASSERT_GE(after.bytes, before.bytes) << "read " << i;
        if (after.files > 0 && after.files < 600) ++between;
    }
    EXPECT_GT(between, 0u) << "no read fell inside the run";
    const RunCounts last = SumRunCounters(g_counters);
    EXPECT_EQ(last.files, 600u);
    EXPECT_EQ(last.folders, 60u);
    EXPECT_EQ(last.bytes, result.grandTotal);
}
