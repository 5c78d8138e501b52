// Measuring real folders into trees and sums, and the changes a notice makes to a tree.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/folder_tree.h"
#include "tests/test_support.h"

using namespace lurmo;
using lurmo::test::TempFolder;

namespace {

RunParameters ParamsFor(const std::wstring& target, bool used) {
    RunParameters params;
    params.usedSize = used;
    params.clusterSize = 4096;
    EXPECT_TRUE(SetScanTarget(params, target));
    return params;
}

FolderEntry* Measure(RunParameters& params, const std::wstring& name) {
    auto* entry = new FolderEntry;
    entry->name = name;
    FillFolder(params, entry, params.nameSlot);
    return entry;
}

struct EntryDeleter {
    void operator()(FolderEntry* entry) const { ReleaseRowEntry(entry, false); }
};
using EntryPtr = std::unique_ptr<FolderEntry, EntryDeleter>;

// The node at a relative path, or null.
const Node* Lookup(const FolderEntry* entry, std::wstring path) {
    const ChildMap* map = &entry->children;
    const Node* node = nullptr;
    for (;;) {
        const size_t separator = path.find(L'\\');
        node = FindChild(*map, path.substr(0, separator));
        if (!node || separator == std::wstring::npos) return node;
        if (node->kind & kKindFile) return nullptr;
        map = &static_cast<const FolderNode*>(node)->children;
        path = path.substr(separator + 1);
    }
}

uint64_t SizeAt(const FolderEntry* entry, const std::wstring& path) {
    const Node* node = Lookup(entry, path);
    return node ? node->size : ~0ull;
}

// Every folder's size equals the sum of its children, all the way down.
uint64_t CheckTotals(const ChildMap& map, uint64_t size) {
    uint64_t sum = 0;
    for (uint32_t i = 0; i < map.count; ++i) {
        const Node* node = ChildAt(map, i);
        if (!(node->kind & kKindFile)) CheckTotals(static_cast<const FolderNode*>(node)->children, node->size);
        sum += node->size;
    }
    EXPECT_EQ(sum, size);
    return sum;
}

WIN32_FIND_DATAW Find(RunParameters& params, const std::wstring& relative) {
    WriteName(params, params.nameSlot, relative);
    WIN32_FIND_DATAW data{};
    EXPECT_TRUE(FindItem(params.path, data)) << relative;
    return data;
}

// A small tree with sizes that fall on both sides of cluster edges.
void MakeDocs(const TempFolder& root) {
    root.File(L"Docs\\a.txt", 1);
    root.File(L"Docs\\2010\\b.bin", 4097);
    root.File(L"Docs\\2010\\deep\\c.bin", 0);
    root.File(L"Docs\\2010\\deep\\d.bin", 4096);
    root.Folder(L"Docs\\empty");
}

}  // namespace

TEST(FillFolder, MeasuresEveryLevelUnderBothRules) {
    TempFolder root;
    MakeDocs(root);
    for (bool used : {false, true}) {
        RunParameters params = ParamsFor(root.path(), used);
        EntryPtr docs(Measure(params, L"Docs"));
        const uint64_t b = used ? 8192 : 4097, d = 4096, a = used ? 4096 : 1;
        EXPECT_EQ(docs->size, a + b + d);
        EXPECT_EQ(SizeAt(docs.get(), L"a.txt"), a);
        EXPECT_EQ(SizeAt(docs.get(), L"2010"), b + d);
        EXPECT_EQ(SizeAt(docs.get(), L"2010\\deep"), d);
        EXPECT_EQ(SizeAt(docs.get(), L"2010\\deep\\c.bin"), 0u);
        EXPECT_EQ(SizeAt(docs.get(), L"empty"), 0u);
        EXPECT_EQ(docs->children.count, 3u);
        CheckTotals(docs->children, docs->size);
        EXPECT_EQ(SumFolder(params, params.nameSlot, L"Docs"), docs->size);
    }
}

TEST(FillFolder, CountsA4GiBSparseFileWhole) {
    TempFolder root;
    root.File(L"Big\\four.gib", 1ull << 32);
    root.File(L"Big\\one", 1);
    RunParameters logical = ParamsFor(root.path(), false);
    EntryPtr big(Measure(logical, L"Big"));
    EXPECT_EQ(big->size, (1ull << 32) + 1);
    EXPECT_EQ(SumFolder(logical, logical.nameSlot, L"Big"), (1ull << 32) + 1);
    // The sparse attribute is not looked at: used size is the rounded logical size.
    RunParameters used = ParamsFor(root.path(), true);
    EXPECT_EQ(SumFolder(used, used.nameSlot, L"Big"), (1ull << 32) + 4096);
}

TEST(FillFolder, GoesBelowTheShortPathLimit) {
    TempFolder root;
    std::wstring relative = L"Deep";
    while (relative.size() < 420) relative += L"\\folder-name-of-some-length";
    const std::wstring deep = L"\\\\?\\" + root.path() + L"\\" + relative;
    lurmo::test::MakeFolders(deep);
    lurmo::test::WriteFileOfSize(deep + L"\\bottom.bin", 12345);
    lurmo::test::WriteFileOfSize(L"\\\\?\\" + root.path() + L"\\Deep\\top.bin", 5);
    ASSERT_GT((root.path() + L"\\" + relative + L"\\bottom.bin").size(), 400u);

    RunParameters params = ParamsFor(root.path(), false);
    EntryPtr entry(Measure(params, L"Deep"));
    EXPECT_EQ(entry->size, 12345u + 5u);
    EXPECT_EQ(SizeAt(entry.get(), relative.substr(5) + L"\\bottom.bin"), 12345u);
    EXPECT_EQ(SumFolder(params, params.nameSlot, L"Deep"), 12345u + 5u);
}

TEST(FillFolder, DoesNotEnterALinkBackToAnAncestor) {
    const char* tree = std::getenv("LURMO_LINK_TREE");
    ASSERT_NE(tree, nullptr) << "the link tree fixture did not run";
    std::wstring root;
    for (const char* c = tree; *c; ++c) root.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));

    // root/a holds ten.bin (10 bytes), loop -> .., self -> . and to_b -> ../b (100 bytes),
    // which lies inside the target root and so counts at b, not here.
    RunParameters params = ParamsFor(root, false);
    EntryPtr a(Measure(params, L"a"));
    EXPECT_EQ(a->size, 10u);
    EXPECT_EQ(SizeAt(a.get(), L"to_b"), 0u);
    EXPECT_EQ(SizeAt(a.get(), L"loop"), 0u);
    EXPECT_EQ(SizeAt(a.get(), L"self"), 0u);
    EXPECT_EQ(SumFolder(params, params.nameSlot, L"a"), 10u);

    // Measured from above, the same links still end.
    const std::wstring parent = root.substr(0, root.rfind(L'\\'));
    const std::wstring leaf = root.substr(root.rfind(L'\\') + 1);
    RunParameters above = ParamsFor(parent, false);
    EntryPtr whole(Measure(above, leaf));
    EXPECT_EQ(whole->size, 110u);
    EXPECT_EQ(SumFolder(above, above.nameSlot, leaf), 110u);
}

TEST(FillFolder, AFolderThatCannotBeReadCountsZero) {
    TempFolder root;
    RunParameters params = ParamsFor(root.path(), true);
    EntryPtr gone(Measure(params, L"vanished"));
    EXPECT_EQ(gone->size, 0u);
    EXPECT_EQ(gone->children.count, 0u);
    EXPECT_EQ(SumFolder(params, params.nameSlot, L"vanished"), 0u);
}

TEST(FillFolder, StopsOnTheCancelRequest) {
    TempFolder root;
    for (int i = 0; i < 20; ++i) root.File(L"Many\\sub" + std::to_wstring(i) + L"\\f.bin", 100);
    std::atomic<LONG> cancel{1};
    RunParameters params = ParamsFor(root.path(), false);
    params.cancel = &cancel;
    EntryPtr partial(Measure(params, L"Many"));
    EXPECT_LT(partial->size, 2000u);
    CheckTotals(partial->children, partial->size);  // what was made is consistent and owned
    EXPECT_EQ(SumFolder(params, params.nameSlot, L"Many"), 0u);
}

TEST(TreeChanges, AFileAddedDeepCountsAtOnceAndFollowsItsModification) {
    TempFolder root;
    MakeDocs(root);
    RunParameters params = ParamsFor(root.path(), false);
    EntryPtr docs(Measure(params, L"Docs"));
    const uint64_t before = docs->size;

    // A file moved in sends no modification notice: it counts from its find data.
    root.File(L"Docs\\2010\\deep\\new.bin", 700);
    WIN32_FIND_DATAW data = Find(params, L"Docs\\2010\\deep\\new.bin");
    EXPECT_EQ(TreeAddItem(params, L"2010\\deep\\new.bin", docs.get(), data), 700u);
    EXPECT_EQ(SizeAt(docs.get(), L"2010\\deep\\new.bin"), 700u);
    EXPECT_EQ(docs->size, before + 700);
    // Adding what is already there changes nothing.
    EXPECT_EQ(TreeAddItem(params, L"2010\\deep\\new.bin", docs.get(), data), 0u);

    // A later write moves the totals by the difference.
    lurmo::test::WriteFileOfSize(root / L"Docs\\2010\\deep\\new.bin", 1000);
    data = Find(params, L"Docs\\2010\\deep\\new.bin");
    EXPECT_EQ(TreeUpdateItem(params, L"2010\\deep\\new.bin", docs.get(), data), before + 1000);
    EXPECT_EQ(SizeAt(docs.get(), L"2010\\deep"), 4096u + 1000u);
    EXPECT_EQ(SizeAt(docs.get(), L"2010"), 4097u + 4096u + 1000u);
    CheckTotals(docs->children, docs->size);
}

TEST(TreeChanges, AFolderAddedDeepArrivesWithItsWholeTotal) {
    TempFolder root;
    MakeDocs(root);
    RunParameters params = ParamsFor(root.path(), true);
    EntryPtr docs(Measure(params, L"Docs"));
    const uint64_t before = docs->size;

    root.File(L"Docs\\2010\\New\\x\\one.bin", 1);
    root.File(L"Docs\\2010\\New\\two.bin", 5000);
    const WIN32_FIND_DATAW data = Find(params, L"Docs\\2010\\New");
    EXPECT_EQ(TreeAddItem(params, L"2010\\New", docs.get(), data), 0u) << "a folder is measured apart";
    // Measured apart, as a folder that arrives while the list is watched, then grafted.
    EntryPtr measured(Measure(params, L"Docs\\2010\\New"));
    EXPECT_EQ(TreeGraftFolder(L"2010\\New", docs.get(), measured.get()), 4096u + 8192u);
    EXPECT_EQ(measured->children.count, 0u) << "the nodes moved into the row's tree";
    EXPECT_EQ(TreeGraftFolder(L"2010\\New", docs.get(), measured.get()), 0u) << "the name is taken";
    EXPECT_EQ(docs->size, before + 4096 + 8192);
    EXPECT_EQ(SizeAt(docs.get(), L"2010\\New\\x\\one.bin"), 4096u);
    CheckTotals(docs->children, docs->size);

    // Removing a folder that holds items takes its whole total in one step.
    EXPECT_EQ(TreeRemoveItem(L"2010\\New", docs.get()), 4096u + 8192u);
    EXPECT_EQ(docs->size, before);
    EXPECT_EQ(Lookup(docs.get(), L"2010\\New"), nullptr);
    CheckTotals(docs->children, docs->size);
}

TEST(TreeChanges, UnknownPathsAndFoldersChangeNothing) {
    TempFolder root;
    MakeDocs(root);
    RunParameters params = ParamsFor(root.path(), false);
    EntryPtr docs(Measure(params, L"Docs"));
    const uint64_t before = docs->size;
    WIN32_FIND_DATAW file = Find(params, L"Docs\\a.txt");
    WIN32_FIND_DATAW folder = Find(params, L"Docs\\2010");

    EXPECT_EQ(TreeAddItem(params, L"nowhere\\x.txt", docs.get(), file), 0u);
    EXPECT_EQ(TreeAddItem(params, L"a.txt\\x.txt", docs.get(), file), 0u);  // a path through a file
    EXPECT_EQ(TreeRemoveItem(L"nowhere\\x.txt", docs.get()), 0u);
    EXPECT_EQ(TreeRemoveItem(L"2010\\missing.bin", docs.get()), 0u);
    EXPECT_EQ(TreeRemoveItem(L"2010\\deep\\c.bin", docs.get()), 0u);  // an empty file frees nothing
    EXPECT_EQ(TreeUpdateItem(params, L"2010\\unknown.bin", docs.get(), file), before);
    EXPECT_EQ(TreeUpdateItem(params, L"2010", docs.get(), folder), before);  // a folder's own change
    EXPECT_EQ(TreeRenameItem(L"nowhere\\x", docs.get(), L"y"), 0u);
    EXPECT_EQ(docs->size, before);
    CheckTotals(docs->children, docs->size);
}

TEST(TreeChanges, RenamesAtEveryDepthKeepSizes) {
    TempFolder root;
    MakeDocs(root);
    RunParameters params = ParamsFor(root.path(), false);
    EntryPtr docs(Measure(params, L"Docs"));
    const uint64_t before = docs->size;

    TreeRenameItem(L"a.txt", docs.get(), L"Docs\\renamed.txt");  // leading components are ignored
    EXPECT_EQ(Lookup(docs.get(), L"a.txt"), nullptr);
    EXPECT_EQ(SizeAt(docs.get(), L"renamed.txt"), 1u);

    TreeRenameItem(L"2010", docs.get(), L"2011");
    EXPECT_EQ(SizeAt(docs.get(), L"2011\\deep\\d.bin"), 4096u);  // nodes below stay valid

    TreeRenameItem(L"2011\\deep\\d.bin", docs.get(), L"D.BIN");  // differs only in case
    EXPECT_EQ(Lookup(docs.get(), L"2011\\deep\\d.bin"), nullptr);
    EXPECT_EQ(SizeAt(docs.get(), L"2011\\deep\\D.BIN"), 4096u);
    EXPECT_EQ(docs->size, before);

    // A rename onto a name that is taken replaces that item, as the file system did.
    EXPECT_EQ(TreeRenameItem(L"2011\\deep\\c.bin", docs.get(), L"D.BIN"), 4096u);
    EXPECT_EQ(SizeAt(docs.get(), L"2011\\deep\\D.BIN"), 0u);
    EXPECT_EQ(docs->size, before - 4096);
    CheckTotals(docs->children, docs->size);
}
