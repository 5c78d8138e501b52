// Measuring every immediate child of a target in both listing modes: the rows handed
// over, their sizes and kinds, the run's totals, the cancel request at each point where
// it can arrive, a drive root and folder links.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/accumulation.h"
#include "engine/file_system.h"
#include "engine/folder_tree.h"
#include "tests/test_support.h"

using namespace lurmo;
using lurmo::test::TempFolder;
using lurmo::test::MappedDrive;

namespace {

RunParameters ParamsFor(const std::wstring& target, bool used) {
    RunParameters params;
    params.usedSize = used;
    params.clusterSize = 4096;
    EXPECT_TRUE(SetScanTarget(params, target)) << target;
    return params;
}

enum class Via { FileRow, FolderRow, SnapshotRow };

struct Row {
    Via via;
    uint32_t kind;
    uint64_t size;
};

// Everything one run hands over. The records stay alive until the end of the test, so
// the trees can be inspected, and are released then by the layout of the run's mode.
class Received {
public:
    explicit Received(bool snapshotMode) : snapshotMode_(snapshotMode) {}
    ~Received() {
        for (RowEntry* record : records_) ReleaseRowEntry(record, snapshotMode_);
    }
    Received(const Received&) = delete;
    Received& operator=(const Received&) = delete;

    bool snapshotMode() const { return snapshotMode_; }
    size_t count() const { return records_.size(); }
    const std::vector<RowEntry*>& records() const { return records_; }
    const std::vector<Via>& via() const { return via_; }

    // Runs after each record has been stored: the place to send a cancel request from.
    std::function<void(const Received&)> afterRow;

    RunSink Sink() {
        RunSink sink;
        if (snapshotMode_) {
            sink.snapshotRow = [this](SnapshotEntry* entry) { Keep(entry, Via::SnapshotRow); };
            sink.fileRow = [](FileEntry* entry) {
                ADD_FAILURE() << "a file-operation row in snapshot mode";
                ReleaseRowEntry(entry, false);
            };
            sink.folderRow = [](FolderEntry* entry) {
                ADD_FAILURE() << "a file-operation row in snapshot mode";
                ReleaseRowEntry(entry, false);
            };
        } else {
            sink.fileRow = [this](FileEntry* entry) { Keep(entry, Via::FileRow); };
            sink.folderRow = [this](FolderEntry* entry) { Keep(entry, Via::FolderRow); };
            sink.snapshotRow = [](SnapshotEntry* entry) {
                ADD_FAILURE() << "a snapshot row in file-operation mode";
                ReleaseRowEntry(entry, true);
            };
        }
        return sink;
    }

    std::map<std::wstring, Row> ByName() const {
        std::map<std::wstring, Row> rows;
        for (size_t i = 0; i < records_.size(); ++i) {
            const RowEntry* record = records_[i];
            EXPECT_TRUE(rows.emplace(record->name, Row{via_[i], record->kind, record->size}).second)
                << "two rows named " << ::testing::PrintToString(record->name);
        }
        return rows;
    }

    std::map<std::wstring, uint64_t> Sizes() const {
        std::map<std::wstring, uint64_t> sizes;
        for (const RowEntry* record : records_) sizes[record->name] = record->size;
        return sizes;
    }

    const FolderEntry* Folder(const std::wstring& name) const {
        for (size_t i = 0; i < records_.size(); ++i) {
            if (via_[i] == Via::FolderRow && records_[i]->name == name) return static_cast<FolderEntry*>(records_[i]);
        }
        return nullptr;
    }

private:
    void Keep(RowEntry* entry, Via how) {
        records_.push_back(entry);
        via_.push_back(how);
        if (afterRow) afterRow(*this);
    }

    bool snapshotMode_;
    std::vector<RowEntry*> records_;
    std::vector<Via> via_;
};

// Every folder's size equals the sum of its children, all the way down.
uint64_t CheckTreeTotals(const ChildMap& map, uint64_t size, const std::wstring& where) {
    uint64_t sum = 0;
    for (uint32_t i = 0; i < map.count; ++i) {
        const Node* node = ChildAt(map, i);
        if (!(node->kind & kKindFile)) {
            CheckTreeTotals(static_cast<const FolderNode*>(node)->children, node->size,
                            where + L"\\" + NodeNameCopy(node));
        }
        sum += node->size;
    }
    EXPECT_EQ(sum, size) << ::testing::PrintToString(where);
    return sum;
}

// What holds for any run: the counts and the grand total agree with the rows handed
// over, files and folders arrive through their own callbacks, and each folder's row
// carries the total of the tree built below it.
void CheckRunAgrees(const Received& got, const RunResult& result) {
    EXPECT_EQ(static_cast<size_t>(result.rowCount), got.count());
    uint64_t sum = 0;
    for (size_t i = 0; i < got.count(); ++i) {
        const RowEntry* record = got.records()[i];
        sum += record->size;
        const bool file = (record->kind & kKindFile) != 0;
        if (got.snapshotMode()) {
            EXPECT_EQ(got.via()[i], Via::SnapshotRow);
        } else if (file) {
            EXPECT_EQ(got.via()[i], Via::FileRow) << ::testing::PrintToString(record->name);
        } else {
            ASSERT_EQ(got.via()[i], Via::FolderRow) << ::testing::PrintToString(record->name);
            const auto* folder = static_cast<const FolderEntry*>(record);
            CheckTreeTotals(folder->children, folder->size, folder->name);
        }
    }
    EXPECT_EQ(result.grandTotal, sum);
}

const char* ModeName(bool snapshotMode) { return snapshotMode ? "snapshot mode" : "file-operation mode"; }

// Five children: three files on both sides of a cluster edge, a folder three levels deep
// and an empty folder.
void MakeSample(const TempFolder& root) {
    root.File(L"top.txt", 1);
    root.File(L"Big.bin", 4097);
    root.File(L"zero.dat", 0);
    root.File(L"Docs\\a.txt", 1);
    root.File(L"Docs\\2010\\b.bin", 4097);
    root.File(L"Docs\\2010\\deep\\d.bin", 4096);
    root.Folder(L"Docs\\empty");
    root.Folder(L"Empty");
}

// A probe that marks files named c_* compressed and e_* encrypted, and that can send
// the cancel request at the moment an item is enumerated.
struct ProbeState {
    std::atomic<LONG>* cancel = nullptr;
    std::function<bool(const WIN32_FIND_DATAW&)> cancelWhen;
    std::wstring lastAsked;
};
ProbeState g_probe;

DWORD ProbeAttributes(const WIN32_FIND_DATAW& data) {
    DWORD attributes = data.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (wcsncmp(data.cFileName, L"c_", 2) == 0) attributes |= FILE_ATTRIBUTE_COMPRESSED;
        if (wcsncmp(data.cFileName, L"e_", 2) == 0) attributes |= FILE_ATTRIBUTE_ENCRYPTED;
    }
    if (g_probe.cancel && g_probe.cancelWhen && g_probe.cancelWhen(data)) g_probe.cancel->store(1);
    return attributes;
}

bool ProbeCompressedSize(const wchar_t* path, uint64_t* size) {
    g_probe.lastAsked = path;
    *size = 100;
    return true;
}

const CompressionProbe kProbe{ProbeAttributes, ProbeCompressedSize};

struct ProbeScope {
    ProbeScope() { InstallCompressionProbe(&kProbe); }
    ~ProbeScope() {
        InstallCompressionProbe(nullptr);
        g_probe = ProbeState{};
    }
};

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Measures the target into got with the given size rule. These runs have no cancel
// request, so every one must complete.
RunResult MeasureCompleted(const std::wstring& target, bool used, Received& got) {
    RunParameters params = ParamsFor(target, used);
    const RunResult result = MeasureChildren(params, got.snapshotMode(), got.Sink());
    EXPECT_EQ(result.outcome, RunOutcome::Completed);
    return result;
}

}  // namespace

TEST(MeasureChildren, RowsAndTotalsOfASmallTreeInBothModesAndRules) {
    TempFolder root;
    MakeSample(root);
    WIN32_FIND_DATAW topData{}, docsData{};
    ASSERT_TRUE(FindItem(root / L"top.txt", topData));
    ASSERT_TRUE(FindItem(root / L"Docs", docsData));

    for (bool used : {false, true}) {
        const std::map<std::wstring, uint64_t> expected =
            used ? std::map<std::wstring, uint64_t>{{L"Big.bin", 8192}, {L"Docs", 4096 + 8192 + 4096},
                                                    {L"Empty", 0}, {L"top.txt", 4096}, {L"zero.dat", 0}}
                 : std::map<std::wstring, uint64_t>{{L"Big.bin", 4097}, {L"Docs", 1 + 4097 + 4096},
                                                    {L"Empty", 0}, {L"top.txt", 1}, {L"zero.dat", 0}};
        const uint64_t expectedTotal = used ? 28672 : 12292;
        for (bool snapshot : {false, true}) {
            SCOPED_TRACE(std::string(ModeName(snapshot)) + (used ? ", used size" : ", logical size"));
            Received got(snapshot);
            const RunResult result = MeasureCompleted(root.path(), used, got);
            EXPECT_EQ(result.rowCount, 5);
            EXPECT_EQ(result.grandTotal, expectedTotal);
            EXPECT_EQ(got.Sizes(), expected);
            CheckRunAgrees(got, result);

            // Rows carry the local form of the last-write time.
            for (const RowEntry* record : got.records()) {
                const WIN32_FIND_DATAW* data = record->name == L"top.txt" ? &topData
                                             : record->name == L"Docs"    ? &docsData
                                                                          : nullptr;
                if (!data) continue;
                const FILETIME local = ToLocalFileTime(data->ftLastWriteTime);
                EXPECT_EQ(CompareFileTime(&record->time, &local), 0) << ::testing::PrintToString(record->name);
            }

            if (!snapshot) {
                const FolderEntry* docs = got.Folder(L"Docs");
                ASSERT_NE(docs, nullptr);
                // a.txt, 2010, 2010\b.bin, 2010\deep, 2010\deep\d.bin, empty
                EXPECT_EQ(CountTree(docs).nodes, 6u);
                EXPECT_EQ(docs->children.count, 3u);
                const FolderEntry* empty = got.Folder(L"Empty");
                ASSERT_NE(empty, nullptr);
                EXPECT_EQ(empty->children.count, 0u);
            }
        }
    }
}

TEST(MeasureChildren, EmptyMissingAndUnreadableTargetsCompleteWithoutRows) {
    TempFolder root;
    root.Folder(L"Nothing");
    root.File(L"plain.txt", 10);
    const std::wstring targets[] = {root / L"Nothing", root / L"missing", root / L"missing\\deeper",
                                    root / L"plain.txt"};
    for (const std::wstring& target : targets) {
        for (bool snapshot : {false, true}) {
            SCOPED_TRACE(::testing::PrintToString(target) + ", " + ModeName(snapshot));
            Received got(snapshot);
            const RunResult result = MeasureCompleted(target, true, got);
            EXPECT_EQ(result.rowCount, 0);
            EXPECT_EQ(result.grandTotal, 0u);
            EXPECT_EQ(got.count(), 0u);
        }
    }
}

TEST(MeasureChildren, ATargetWithOneEmptyFileHasOneZeroRow) {
    TempFolder root;
    root.File(L"only.bin", 0);
    for (bool used : {false, true}) {
        for (bool snapshot : {false, true}) {
            SCOPED_TRACE(std::string(ModeName(snapshot)) + (used ? ", used size" : ", logical size"));
            Received got(snapshot);
            const RunResult result = MeasureCompleted(root.path(), used, got);
            EXPECT_EQ(result.rowCount, 1);
            EXPECT_EQ(result.grandTotal, 0u);
            ASSERT_EQ(got.count(), 1u);
            EXPECT_EQ(got.records()[0]->name, L"only.bin");
            EXPECT_EQ(got.records()[0]->kind, kKindFile);
            EXPECT_EQ(got.records()[0]->size, 0u);
            CheckRunAgrees(got, result);
        }
    }
}

TEST(MeasureChildren, RowKindsMarkFilesShortcutsAndAttributes) {
    TempFolder root;
    root.Folder(L"Folder");
    root.Folder(L"dir.lnk");  // a folder is never a shortcut, whatever its name
    root.File(L"plain.txt", 1);
    root.File(L"Link.LNK", 1);
    root.File(L"shortcut.lnk", 1);
    root.File(L"Mixed.LnK", 1);
    root.File(L".lnk", 1);
    root.File(L"notes.lnk.txt", 1);
    root.File(L"lnk", 1);
    root.File(L"file.lnkx", 1);
    root.File(L"c_packed.lnk", 5000);
    root.File(L"e_secret.txt", 1);

    const std::map<std::wstring, uint32_t> expected{
        {L"Folder", 0},
        {L"dir.lnk", 0},
        {L"plain.txt", kKindFile},
        {L"Link.LNK", kKindFile | kKindShortcut},
        {L"shortcut.lnk", kKindFile | kKindShortcut},
        {L"Mixed.LnK", kKindFile | kKindShortcut},
        {L".lnk", kKindFile | kKindShortcut},
        {L"notes.lnk.txt", kKindFile},
        {L"lnk", kKindFile},
        {L"file.lnkx", kKindFile},
        {L"c_packed.lnk", kKindFile | kKindCompressed | kKindShortcut},
        {L"e_secret.txt", kKindFile | kKindEncrypted},
    };

    ProbeScope probe;
    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(ModeName(snapshot));
        g_probe.lastAsked.clear();
        Received got(snapshot);
        const RunResult result = MeasureCompleted(root.path(), true, got);
        CheckRunAgrees(got, result);
        std::map<std::wstring, uint32_t> kinds;
        for (const auto& [name, row] : got.ByName()) kinds[name] = row.kind;
        EXPECT_EQ(kinds, expected);

        // The compressed file is asked for by its full path and counts one cluster at least.
        const auto rows = got.ByName();
        ASSERT_EQ(rows.count(L"c_packed.lnk"), 1u);
        EXPECT_EQ(rows.at(L"c_packed.lnk").size, 4096u);
        EXPECT_TRUE(EndsWith(g_probe.lastAsked, root.path() + L"\\c_packed.lnk"))
            << ::testing::PrintToString(g_probe.lastAsked);
    }
}

TEST(MeasureChildren, ACancelSentFromTheSinkEndsTheRunAfterThatRow) {
    TempFolder root;
    for (int i = 0; i < 3; ++i) root.File(L"folder" + std::to_wstring(i) + L"\\inner.bin", 100 + i);
    for (int i = 0; i < 3; ++i) root.File(L"file" + std::to_wstring(i) + L".bin", 10 + i);

    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(ModeName(snapshot));
        std::atomic<LONG> cancel{0};
        RunParameters params = ParamsFor(root.path(), false);
        params.cancel = &cancel;
        Received got(snapshot);
        got.afterRow = [&cancel](const Received& sofar) {
            if (sofar.count() == 2) cancel.store(1);
        };
        const RunResult result = MeasureChildren(params, snapshot, got.Sink());
        EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
        EXPECT_EQ(result.rowCount, 2);
        EXPECT_EQ(got.count(), 2u);
        CheckRunAgrees(got, result);
    }
}

TEST(MeasureChildren, AFolderCancelledWhileMeasuredHasNoRowInEitherMode) {
    TempFolder root;
    for (const wchar_t* name : {L"A", L"B", L"C", L"D"}) {
        root.File(std::wstring(name) + L"\\sub\\" + name + L"-inner.bin", 1000);
        root.File(std::wstring(name) + L"\\" + name + L"-top.bin", 10);
    }

    ProbeScope probe;
    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(ModeName(snapshot));
        std::atomic<LONG> cancel{0};
        RunParameters params = ParamsFor(root.path(), false);
        params.cancel = &cancel;
        Received got(snapshot);
        // The request arrives inside folder C, once its walk is under way; the folders
        // are walked side by side, so which of the others finished first is open.
        g_probe.cancel = &cancel;
        g_probe.cancelWhen = [](const WIN32_FIND_DATAW& data) { return std::wstring(data.cFileName) == L"C-inner.bin"; };
        const RunResult result = MeasureChildren(params, snapshot, got.Sink());
        g_probe = ProbeState{};
        EXPECT_EQ(cancel.load(), 1) << "folder C was never walked";
        EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
        EXPECT_EQ(got.Sizes().count(L"C"), 0u) << "the folder cut short has a row";
        EXPECT_LT(result.rowCount, 4);
        // The rows handed over are whole; C's partial total never shows.
        for (const RowEntry* record : got.records()) EXPECT_EQ(record->size, 1010u);
        EXPECT_EQ(result.grandTotal, 1010u * got.count());
        CheckRunAgrees(got, result);
    }
}

TEST(MeasureChildren, AFileFinishedAfterTheCancelKeepsItsRowOnlyInSnapshotMode) {
    TempFolder root;
    for (int i = 1; i <= 5; ++i) root.File(L"f" + std::to_wstring(i) + L".bin", i);

    ProbeScope probe;
    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(ModeName(snapshot));
        std::atomic<LONG> cancel{0};
        RunParameters params = ParamsFor(root.path(), false);
        params.cancel = &cancel;
        Received got(snapshot);
        std::wstring third;
        // The request arrives as the third file comes out of the enumeration, that is
        // while it is being measured.
        g_probe.cancel = &cancel;
        g_probe.cancelWhen = [&got, &third](const WIN32_FIND_DATAW& data) {
            if (got.count() != 2 || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !third.empty()) return false;
            third = data.cFileName;
            return true;
        };
        const RunResult result = MeasureChildren(params, snapshot, got.Sink());
        g_probe = ProbeState{};
        ASSERT_FALSE(third.empty());
        EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
        CheckRunAgrees(got, result);
        const auto sizes = got.Sizes();
        if (snapshot) {
            EXPECT_EQ(got.count(), 3u);
            ASSERT_EQ(sizes.count(third), 1u) << "the file measured under the request lost its row";
            EXPECT_EQ(sizes.at(third), static_cast<uint64_t>(third[1] - L'0'));
        } else {
            EXPECT_EQ(got.count(), 2u);
            EXPECT_EQ(sizes.count(third), 0u) << "a child finished under the request was kept";
        }
    }
}

TEST(MeasureChildren, ADriveRootHasNoDotEntriesToSkip) {
    TempFolder folder;
    folder.File(L"first\\inner.bin", 300);
    folder.File(L"second.bin", 20);
    MappedDrive drive(folder.path());
    ASSERT_FALSE(drive.root().empty()) << "no drive letter could be mapped in the Wine prefix";
    ASSERT_NE(GetFileAttributesW((drive.root() + L"second.bin").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the mapped drive does not lead to the test folder";
    {
        // What makes the case: the root's listing starts with a real child.
        WIN32_FIND_DATAW data;
        unique_hfind find(FindFirstFileW((drive.root() + L"*").c_str(), &data));
        ASSERT_TRUE(find);
        do {
            EXPECT_FALSE(IsDotEntry(data)) << "the drive root lists dot entries";
        } while (FindNextFileW(find.get(), &data));
    }

    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(ModeName(snapshot));
        RunParameters params = ParamsFor(drive.root(), false);
        ASSERT_EQ(params.path, L"\\\\?\\" + drive.root());
        Received got(snapshot);
        const RunResult result = MeasureChildren(params, snapshot, got.Sink());
        EXPECT_EQ(result.outcome, RunOutcome::Completed);
        EXPECT_EQ(got.Sizes(), (std::map<std::wstring, uint64_t>{{L"first", 300}, {L"second.bin", 20}}));
        EXPECT_EQ(result.grandTotal, 320u);
        CheckRunAgrees(got, result);
    }
}

TEST(MeasureChildren, FolderLinksEndAndCountWhereTheyLead) {
    const char* tree = std::getenv("LURMO_LINK_TREE");
    ASSERT_NE(tree, nullptr) << "the link tree fixture did not run";
    std::wstring root;
    for (const char* c = tree; *c; ++c) root.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));

    // root/a holds ten.bin (10 bytes), loop -> .., self -> . and to_b -> ../b; root/b
    // holds data.bin (100 bytes). to_b leads inside the target: b's bytes count at b.
    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(ModeName(snapshot));
        Received got(snapshot);
        const RunResult result = MeasureCompleted(root, false, got);
        EXPECT_EQ(got.Sizes(), (std::map<std::wstring, uint64_t>{{L"a", 10}, {L"b", 100}}));
        EXPECT_EQ(result.grandTotal, 110u);
        CheckRunAgrees(got, result);
        if (!snapshot) {
            const FolderEntry* a = got.Folder(L"a");
            ASSERT_NE(a, nullptr);
            // ten.bin, loop, self and to_b, none of the links entered
            EXPECT_EQ(CountTree(a).nodes, 4u);
            const Node* toB = FindChild(a->children, L"to_b");
            ASSERT_NE(toB, nullptr);
            EXPECT_EQ(toB->size, 0u);
            for (const wchar_t* link : {L"loop", L"self"}) {
                const Node* node = FindChild(a->children, link);
                ASSERT_NE(node, nullptr) << link;
                EXPECT_EQ(node->size, 0u) << link;
                EXPECT_EQ(static_cast<const FolderNode*>(node)->children.count, 0u) << link;
            }
        }
    }
}

TEST(MeasureChildren, ALinkAmongTheChildrenBackToTheTargetCountsNothing) {
    const char* tree = std::getenv("LURMO_LINK_TREE");
    ASSERT_NE(tree, nullptr) << "the link tree fixture did not run";
    std::wstring a;
    for (const char* c = tree; *c; ++c) a.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    a += L"\\a";
    // Measured from a itself, loop (-> the parent) and self (-> a) lead back up: they
    // are rows of size 0 rather than the whole tree counted again.
    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(ModeName(snapshot));
        Received got(snapshot);
        const RunResult result = MeasureCompleted(a, false, got);
        EXPECT_EQ(got.Sizes(), (std::map<std::wstring, uint64_t>{
                                   {L"loop", 0}, {L"self", 0}, {L"ten.bin", 10}, {L"to_b", 100}}));
        EXPECT_EQ(result.grandTotal, 110u);
        CheckRunAgrees(got, result);
    }
}

namespace {

// The directory query of any folder whose name ends in "partial" fails at its second
// query, as a share that drops or a volume that errs part-way through a big folder.
LONG FailSecondQueryOfPartial(const std::wstring& folder, unsigned query) {
    const bool partial = folder.size() >= 7 && folder.compare(folder.size() - 7, 7, L"partial") == 0;
    return partial && query == 1 ? static_cast<LONG>(0xC0000185) : 0;   // STATUS_IO_DEVICE_ERROR
}

bool RefuseLocked(const std::wstring& folder) {
    return folder.size() >= 6 && folder.compare(folder.size() - 6, 6, L"locked") == 0;
}

}  // namespace

TEST(MeasureChildren, FoldersNotReadWholeAreNamedNotCountedAsEmpty) {
    TempFolder root;
    // Enough entries that one 64 KiB query cannot hold them all.
    for (int i = 0; i < 1500; ++i) root.File(L"top\\partial\\file-" + std::to_wstring(10000 + i) + L".bin", 1);
    root.File(L"top\\locked\\a.bin", 4000);
    root.File(L"top\\fine\\b.bin", 30);
    root.File(L"plain\\c.bin", 7);
    static const EnumerationProbe probe{RefuseLocked, FailSecondQueryOfPartial};
    const EnumerationProbe* previous = InstallEnumerationProbe(&probe);
    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(ModeName(snapshot));
        Received got(snapshot);
        const RunResult result = MeasureCompleted(root.path(), false, got);
        ASSERT_EQ(result.unreadableFolders.size(), 2u);
        std::vector<std::wstring> names;
        for (const std::wstring& folder : result.unreadableFolders) names.push_back(folder.substr(folder.rfind(L'\\') + 1));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::wstring>{L"locked", L"partial"}));
        EXPECT_EQ(result.unreadableFolders[0].rfind(L"\\\\?\\", 0), 0u);
        // What was read of the folder is counted: some of its files, not all, not none.
        const uint64_t top = result.grandTotal - 7;
        EXPECT_GT(top, 30u);
        EXPECT_LT(top, 30u + 1500u);
    }
    InstallEnumerationProbe(previous);
    Received whole(true);
    EXPECT_TRUE(MeasureCompleted(root.path(), false, whole).unreadableFolders.empty());
}
