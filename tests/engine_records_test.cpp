// Row records, kind flags, the child map's key order and the arena behind the trees.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "engine/entries.h"
#include "engine/size_rule.h"

using namespace lurmo;

namespace {

std::vector<std::wstring> Keys(const ChildMap& map) {
    std::vector<std::wstring> keys;
    for (uint32_t i = 0; i < map.count; ++i) keys.emplace_back(NodeNameCopy(ChildAt(map, i)));
    return keys;
}

}  // namespace

TEST(KindFlags, FollowTheAttributes) {
    EXPECT_EQ(KindFromAttributes(FILE_ATTRIBUTE_NORMAL), kKindFile);
    EXPECT_EQ(KindFromAttributes(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_COMPRESSED), kKindFile | kKindCompressed);
    EXPECT_EQ(KindFromAttributes(FILE_ATTRIBUTE_ENCRYPTED), kKindFile | kKindEncrypted);
    EXPECT_EQ(KindFromAttributes(FILE_ATTRIBUTE_DIRECTORY), 0u);
    EXPECT_EQ(KindFromAttributes(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED), kKindCompressed);
    EXPECT_EQ(KindFromAttributes(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ENCRYPTED), kKindEncrypted);
    // Hidden, system and reparse-point items are ordinary items.
    EXPECT_EQ(KindFromAttributes(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_REPARSE_POINT), kKindFile);
}

TEST(KindFlags, ShortcutIsTheTextFromTheLastDot) {
    EXPECT_TRUE(HasShortcutExtension(L"Setup.LNK"));
    EXPECT_TRUE(HasShortcutExtension(L"a.b.lnk"));
    EXPECT_TRUE(HasShortcutExtension(L".lnk"));
    EXPECT_FALSE(HasShortcutExtension(L"lnk"));
    EXPECT_FALSE(HasShortcutExtension(L"notes.lnk.txt"));
    EXPECT_FALSE(HasShortcutExtension(L"file.lnkx"));
    EXPECT_FALSE(HasShortcutExtension(L""));
}

TEST(ChildMap, OrdersByUnsignedCodeUnitsCaseSensitively) {
    NodeArena arena;
    ChildMap map;
    for (const wchar_t* name : {L"b", L"a", L"B", L"ab", L"\u00e4", L"\uff21", L"A", L"a"}) {
        Node* node = NewNode(arena, false, name);
        if (!InsertChild(map, arena, node)) ReleaseNode(arena, node);
    }
    // Upper case sorts before lower case, a prefix before its extensions, and code units
    // above 0x7FFF after everything else (they must not be compared as signed).
    EXPECT_EQ(Keys(map), (std::vector<std::wstring>{L"A", L"B", L"a", L"ab", L"b", L"\u00e4", L"\uff21"}));
    EXPECT_NE(FindChild(map, L"A"), FindChild(map, L"a"));
    EXPECT_EQ(FindChild(map, L"c"), nullptr);
    EXPECT_EQ(FindChild(map, L""), nullptr);
}

TEST(ChildMap, TakeAndBulkAdoptKeepTheOrder) {
    NodeArena arena;
    ChildMap map;
    std::vector<Node*> nodes;
    for (int i = 99; i >= 0; --i) nodes.push_back(NewNode(arena, i % 3 == 0, L"n" + std::to_wstring(i)));
    nodes.push_back(NewNode(arena, false, L"n5"));  // a repeated name keeps the first node
    AdoptChildren(map, arena, nodes.data(), nodes.size());
    ASSERT_EQ(map.count, 100u);
    for (uint32_t i = 1; i < map.count; ++i) {
        EXPECT_LT(CompareNodeKeys(ChildAt(map, i - 1), ChildAt(map, i)), 0);
    }
    Node* taken = TakeChild(map, arena, L"n42");
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(NodeNameCopy(taken), L"n42");
    EXPECT_EQ(FindChild(map, L"n42"), nullptr);
    EXPECT_EQ(TakeChild(map, arena, L"n42"), nullptr);
    EXPECT_TRUE(InsertChild(map, arena, taken));
    EXPECT_FALSE(InsertChild(map, arena, NewNode(arena, false, L"n42")));
    EXPECT_EQ(map.count, 100u);
}

TEST(NodeArena, ReusesReleasedBlocksAndFreesLargeOnes) {
    NodeArena arena;
    void* first = ArenaAllocate(arena, 40);
    ArenaRelease(arena, first, 40);
    EXPECT_EQ(ArenaAllocate(arena, 38), first);  // same 4-byte class
    const size_t before = arena.bytesReserved;
    void* large = ArenaAllocate(arena, 100000);
    EXPECT_GE(arena.bytesReserved, before + 100000);
    ArenaRelease(arena, large, 100000);
    EXPECT_EQ(arena.bytesReserved, before);  // the large block is given back at once
    ArenaReleaseAll(arena);
    EXPECT_EQ(arena.bytesReserved, 0u);
}

TEST(Nodes, RenameKeepsSizeKindAndChildren) {
    NodeArena arena;
    auto* folder = static_cast<FolderNode*>(NewNode(arena, true, L"short"));
    folder->size = 1234;
    InsertChild(folder->children, arena, NewNode(arena, false, L"inner"));
    Node* renamed = RenameNode(arena, folder, L"a much longer folder name than before");
    EXPECT_EQ(NodeNameCopy(renamed), L"a much longer folder name than before");
    EXPECT_EQ(renamed->size, 1234u);
    EXPECT_EQ(renamed->kind, 0u);
    auto* moved = static_cast<FolderNode*>(renamed);
    ASSERT_EQ(moved->children.count, 1u);
    EXPECT_EQ(NodeNameCopy(ChildAt(moved->children, 0)), L"inner");
    Node* back = RenameNode(arena, renamed, L"x");
    EXPECT_EQ(NodeNameCopy(back), L"x");
    ReleaseNode(arena, back);
}

TEST(Nodes, NamesOfEitherWidthReadBackWholeAndFindable) {
    // Names of units below 256 are kept a byte a unit, up to 255 of them; anything else
    // as it is. A rename may cross between the two in place (same bytes) or by moving.
    NodeArena arena;
    ChildMap map;
    const std::wstring longest(255, L'\u00ff'), tooLong(256, L'z');
    const std::wstring names[] = {L"plain.txt", L"\u3042\u3044.txt", longest, tooLong, L"caf\u00e9"};
    for (const std::wstring& name : names) ASSERT_TRUE(InsertChild(map, arena, NewNode(arena, false, name)));
    for (const std::wstring& name : names) {
        const Node* found = FindChild(map, name);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(NodeNameCopy(found), name);
    }
    Node* node = TakeChild(map, arena, L"plain.txt");
    for (const wchar_t* name : {L"\u3042", L"ab", L"\u00e9\u3042x", L"p"}) {
        node = RenameNode(arena, node, name);
        EXPECT_EQ(NodeNameCopy(node), name);
    }
    ReleaseNode(arena, node);
}

TEST(RowEntries, ReleaseFollowsTheListingsMode) {
    // Each layout is released by its own rule; run under a leak checker this also shows
    // that a folder entry's whole tree goes with it.
    auto* folder = new FolderEntry;
    folder->name = L"Docs";
    for (int i = 0; i < 1000; ++i) InsertChild(folder->children, folder->arena, NewNode(folder->arena, false, std::to_wstring(i)));
    EXPECT_GT(folder->arena.bytesReserved, 0u);
    DestroyFolderEntry(folder);
    EXPECT_EQ(folder->arena.bytesReserved, 0u);
    EXPECT_EQ(folder->children.count, 0u);
    EXPECT_TRUE(folder->name.empty());
    delete folder;

    auto* file = new FileEntry;
    file->kind = kKindFile;
    ReleaseRowEntry(file, false);
    ReleaseRowEntry(new SnapshotEntry, true);
    ReleaseRowEntry(nullptr, false);
}
