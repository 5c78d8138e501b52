// Links count each byte once: a link inside the target counts 0, what links reach outside
// it counts once, at the first link by full path, however many threads measure; with
// links not followed every link counts 0. On the host-made tree of tests/make_link_tree.sh.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/accumulation.h"
#include "engine/file_system.h"
#include "engine/link_rules.h"

using namespace lurmo;

namespace {

using Sizes = std::map<std::wstring, uint64_t>;

std::wstring RulesTree() {
    const char* tree = std::getenv("LURMO_LINK_RULES");
    std::wstring path;
    if (tree) {
        for (const char* c = tree; *c; ++c) path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    }
    return path;
}

// Wine lists a symbolic link to a file as a plain file; Windows marks it as the reparse
// point it is. The probe gives the file links that mark, as Windows would.
DWORD MarkFileLinks(const WIN32_FIND_DATAW& data) {
    for (const wchar_t* link : {L"flink", L"z_f", L"zz_f"}) {
        if (wcscmp(data.cFileName, link) == 0) return data.dwFileAttributes | FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return data.dwFileAttributes;
}

struct FileLinksAsOnWindows {
    FileLinksAsOnWindows() { InstallCompressionProbe(&probe); }
    ~FileLinksAsOnWindows() { InstallCompressionProbe(nullptr); }
    CompressionProbe probe{MarkFileLinks, nullptr};
};

// One run's rows, with the records kept for a look at the trees.
struct Listing {
    bool snapshot = false;
    RunResult result;
    std::map<std::wstring, RowEntry*> rows;
    ~Listing() {
        for (auto& [name, record] : rows) ReleaseRowEntry(record, snapshot);
    }
    Sizes sizes() const {
        Sizes sizes;
        for (const auto& [name, record] : rows) sizes[name] = record->size;
        return sizes;
    }
    const Node* NodeAt(const std::wstring& top, const std::wstring& inner) const {
        const auto* folder = static_cast<const FolderEntry*>(rows.at(top));
        return FindChild(folder->children, inner);
    }
};

void Measure(Listing& listing, bool snapshot, uint32_t threads, bool follow = true) {
    RunParameters params;
    params.usedSize = false;
    params.threads = threads;
    ASSERT_TRUE(SetScanTarget(params, RulesTree() + L"\\T"));
    params.links = MakeLinkLedger(params, follow);
    listing.snapshot = snapshot;
    RunSink sink;
    auto keep = [&listing](RowEntry* record) { listing.rows[record->name] = record; };
    sink.fileRow = keep;
    sink.folderRow = keep;
    sink.snapshotRow = keep;
    listing.result = MeasureChildren(params, snapshot, sink);
    EXPECT_EQ(listing.result.outcome, RunOutcome::Completed);
}

}  // namespace

TEST(Links, AFolderOrFileLinkInsideTheTargetCountsNothing) {
    ASSERT_FALSE(RulesTree().empty()) << "the link tree fixture did not run";
    FileLinksAsOnWindows probe;
    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(snapshot ? "snapshot" : "file-operation");
        Listing listing;
        Measure(listing, snapshot, 1);
        const Sizes sizes = listing.sizes();
        EXPECT_EQ(sizes.at(L"real"), 8000u);
        EXPECT_EQ(sizes.at(L"link_in"), 0u);
        EXPECT_EQ(sizes.at(L"file.bin"), 4000u);
        EXPECT_EQ(sizes.at(L"flink"), 0u);
        if (!snapshot) {
            EXPECT_EQ(static_cast<const FolderEntry*>(listing.rows.at(L"link_in"))->children.count, 0u);
            const Node* loop = listing.NodeAt(L"sub", L"loop");
            ASSERT_NE(loop, nullptr);
            EXPECT_EQ(loop->size, 0u);
            EXPECT_EQ(static_cast<const FolderNode*>(loop)->children.count, 0u);
        }
    }
}

TEST(Links, OutsideDataCountsOnceAtTheFirstLinkByPathWhateverTheThreads) {
    ASSERT_FALSE(RulesTree().empty()) << "the link tree fixture did not run";
    FileLinksAsOnWindows probe;
    // By path: 0_inner (O\inner) < a_out (O, less inner) < sub\b_out (O again: 0)
    // < sub\zz_f (F\f.bin) < z_f (the same file: 0).
    const Sizes expected{{L"0_inner", 3000}, {L"a_out", 6000}, {L"file.bin", 4000}, {L"flink", 0},
                         {L"link_in", 0},    {L"real", 8000},  {L"sub", 500},        {L"z_f", 0}};
    for (uint32_t threads : {1u, kMaxMeasureThreads}) {
        for (bool snapshot : {false, true}) {
            for (int run = 0; run < 5; ++run) {
                SCOPED_TRACE(std::to_string(threads) + (snapshot ? " threads, snapshot" : " threads, tree"));
                Listing listing;
                Measure(listing, snapshot, threads);
                EXPECT_EQ(listing.sizes(), expected);
                EXPECT_EQ(listing.result.grandTotal, 21500u);
                if (snapshot) continue;
                // The trees agree: a_out holds o.bin and, counted at 0_inner, an empty inner.
                const auto* out = static_cast<const FolderEntry*>(listing.rows.at(L"a_out"));
                ASSERT_NE(FindChild(out->children, L"o.bin"), nullptr);
                EXPECT_EQ(FindChild(out->children, L"o.bin")->size, 6000u);
                ASSERT_NE(FindChild(out->children, L"inner"), nullptr);
                EXPECT_EQ(FindChild(out->children, L"inner")->size, 0u);
                ASSERT_NE(listing.NodeAt(L"sub", L"zz_f"), nullptr);
                EXPECT_EQ(listing.NodeAt(L"sub", L"zz_f")->size, 500u);
                EXPECT_EQ(listing.NodeAt(L"sub", L"b_out")->size, 0u);
            }
        }
    }
}

TEST(Links, NotFollowedEveryLinkCountsNothing) {
    ASSERT_FALSE(RulesTree().empty()) << "the link tree fixture did not run";
    FileLinksAsOnWindows probe;
    const Sizes expected{{L"0_inner", 0}, {L"a_out", 0}, {L"file.bin", 4000}, {L"flink", 0},
                         {L"link_in", 0}, {L"real", 8000}, {L"sub", 0},      {L"z_f", 0}};
    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(snapshot ? "snapshot" : "file-operation");
        Listing listing;
        Measure(listing, snapshot, kMaxMeasureThreads, false);
        EXPECT_EQ(listing.sizes(), expected);
        EXPECT_EQ(listing.result.grandTotal, 12000u);
    }
}
