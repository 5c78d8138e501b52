// The map's arithmetic: layouts, shading, file types, drawing and the hit test, on trees
// made in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>

#include "engine/folder_tree.h"
#include "map/treemap.h"

using namespace lurmo;

namespace {

struct EntryDeleter {
    void operator()(RowEntry* entry) const { ReleaseRowEntry(entry, false); }
};
using EntryPtr = std::unique_ptr<RowEntry, EntryDeleter>;

EntryPtr FileRow(const wchar_t* name, uint64_t size) {
    auto* entry = new FileEntry;
    entry->name = name;
    entry->kind = kKindFile;
    entry->size = size;
    return EntryPtr(entry);
}

// A folder row; its tree is filled with AddFile/AddFolder, which keep the sizes above in step.
FolderEntry* FolderRow(std::vector<EntryPtr>& rows, const wchar_t* name) {
    auto* entry = new FolderEntry;
    entry->name = name;
    rows.emplace_back(entry);
    return entry;
}

Node* AddNode(FolderEntry* row, ChildMap& map, std::vector<Node*> above, bool folder, const wchar_t* name,
              uint64_t size) {
    Node* node = NewNode(row->arena, folder, name);
    node->size = size;
    EXPECT_TRUE(InsertChild(map, row->arena, node));
    row->size += size;
    for (Node* up : above) up->size = up->size + size;
    return node;
}

MapSource SourceOf(const std::vector<EntryPtr>& rows, bool snapshot = false) {
    MapSource source;
    source.snapshot = snapshot;
    for (const EntryPtr& row : rows) source.rows.push_back(row.get());
    return source;
}

int Area(const PixelRect& r) { return std::max(0, r.Width()) * std::max(0, r.Height()); }

}  // namespace

TEST(MapLayout, TopLevelAreasFollowTheSharesWithinTwoPercent) {
    const uint64_t sizes[] = {5000, 3000, 1200, 700, 500, 300, 200, 100};
    std::vector<EntryPtr> rows;
    uint64_t total = 0;
    for (uint64_t size : sizes) {
        rows.push_back(FileRow(L"f.bin", size));
        total += size;
    }
    const int width = 640, height = 400;
    const std::vector<PixelRect> tiles = TopLevelTiles(SourceOf(rows), width, height);
    ASSERT_EQ(tiles.size(), std::size(sizes));
    int covered = 0;
    for (size_t i = 0; i < tiles.size(); ++i) {
        const double expected = static_cast<double>(width) * height * sizes[i] / total;
        const double edge = tiles[i].Width() + tiles[i].Height();   // one pixel along the edges
        EXPECT_LE(std::abs(Area(tiles[i]) - expected), 0.02 * expected + edge) << i;
        covered += Area(tiles[i]);
    }
    // Rounded edges are shared: the tiles cover the map exactly once.
    EXPECT_EQ(covered, width * height);
}

TEST(MapLayout, RowsAreGivenTheirTilesWhateverTheListOrder) {
    // The list shows rows by name; the tile of each row still has that row's share.
    std::vector<EntryPtr> rows;
    rows.push_back(FileRow(L"a", 100));
    rows.push_back(FileRow(L"b", 900));
    const std::vector<PixelRect> tiles = TopLevelTiles(SourceOf(rows), 100, 100);
    EXPECT_NEAR(Area(tiles[0]), 1000, 100);
    EXPECT_NEAR(Area(tiles[1]), 9000, 100);
}

TEST(MapLayout, EqualSizesKeepTheListOrder) {
    // Ties keep the order they came in, so equal rows do not trade places between drawings.
    std::vector<EntryPtr> rows;
    for (const wchar_t* name : {L"a", L"b", L"c", L"d"}) rows.push_back(FileRow(name, 100));
    const std::vector<PixelRect> tiles = TopLevelTiles(SourceOf(rows), 200, 100);
    EXPECT_TRUE(tiles[0].Contains(0, 0));
    EXPECT_TRUE(tiles[3].Contains(199, 99));
}

TEST(MapLayout, EdgesRoundHalfUpOnBothSidesOfZero) {
    const PixelRect r = ToPixels(MapRect{2.5, 2.49, 0.99, 1.0});
    EXPECT_EQ(r.left, 3);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right, 3);    // 3.49
    EXPECT_EQ(r.bottom, 3);   // 3.49
    const PixelRect below = ToPixels(MapRect{-0.5, -0.51, 1.0, 0.0});
    EXPECT_EQ(below.left, 0);
    EXPECT_EQ(below.top, -1);
    EXPECT_EQ(below.right, 1);
    EXPECT_EQ(below.bottom, -1);
}

TEST(MapLayout, SizeZeroTakesNoArea) {
    std::vector<EntryPtr> rows;
    rows.push_back(FileRow(L"empty", 0));
    rows.push_back(FileRow(L"full", 10));
    rows.push_back(FileRow(L"empty2", 0));
    const std::vector<PixelRect> tiles = TopLevelTiles(SourceOf(rows), 50, 30);
    EXPECT_EQ(Area(tiles[0]), 0);
    EXPECT_EQ(Area(tiles[2]), 0);
    EXPECT_EQ(Area(tiles[1]), 50 * 30);
}

TEST(MapLayout, SquarifiedBeatsSliceAndDiceOnRandomSizes) {
    std::mt19937 random(2000);
    for (int trial = 0; trial < 40; ++trial) {
        // Two or three tiles can come out alike either way; from five on, slices grow thin.
        std::vector<uint64_t> sizes(5 + random() % 80);
        for (uint64_t& size : sizes) size = 1 + random() % 100000;
        std::sort(sizes.rbegin(), sizes.rend());
        std::vector<MapRect> squarified(sizes.size()), sliced(sizes.size());
        const MapRect bounds{0, 0, 1024, 600};
        SquarifyLayout(sizes.data(), sizes.size(), bounds, squarified.data());
        SliceLayout(sizes.data(), sizes.size(), bounds, true, sliced.data());
        EXPECT_LT(WorstAspectRatio(squarified.data(), squarified.size()),
                  WorstAspectRatio(sliced.data(), sliced.size())) << trial;
        double area = 0;
        for (const MapRect& r : squarified) area += r.width * r.height;
        EXPECT_NEAR(area, 1024.0 * 600, 1e-6 * 1024 * 600) << trial;
    }
}

TEST(MapLayout, EqualSizesInASquareComeOutSquare) {
    const uint64_t sizes[] = {1, 1, 1, 1};
    MapRect rects[4];
    SquarifyLayout(sizes, 4, MapRect{0, 0, 100, 100}, rects);
    EXPECT_NEAR(WorstAspectRatio(rects, 4), 1.0, 1e-9);
}

TEST(MapShading, TheLightFallsFromTheUpperLeft) {
    Cushion cushion;
    const MapRect tile{10, 10, 100, 60};
    AddRidge(cushion, tile, kCushionHeight);
    const double upperLeft = CushionLight(cushion, 15, 15);
    const double middle = CushionLight(cushion, 60, 40);
    const double lowerRight = CushionLight(cushion, 105, 65);
    EXPECT_GT(upperLeft, lowerRight);
    EXPECT_GT(middle, lowerRight);
    EXPECT_GT(lowerRight, 0.0);
}

TEST(MapTypes, BytesAddUpAndCaseIsFolded) {
    std::vector<EntryPtr> rows;
    FolderEntry* photos = FolderRow(rows, L"photos");
    Node* inner = AddNode(photos, photos->children, {}, true, L"inner", 0);
    AddNode(photos, static_cast<FolderNode*>(inner)->children, {inner}, false, L"a.JPG", 700);
    AddNode(photos, photos->children, {}, false, L"b.jpg", 300);
    AddNode(photos, photos->children, {}, false, L"readme", 40);
    rows.push_back(FileRow(L"notes.txt", 60));
    rows.push_back(FileRow(L".profile", 5));
    const ExtensionTable table = CountExtensions(SourceOf(rows));
    uint64_t bytes = 0;
    for (const ExtensionStat& stat : table.rows) bytes += stat.bytes;
    EXPECT_EQ(bytes, MapTotal(SourceOf(rows)));
    EXPECT_EQ(table.bytes, bytes);
    ASSERT_EQ(table.rows.size(), 3u);   // jpg, txt, and no extension (readme, .profile)
    EXPECT_EQ(table.rows[0].extension, L"jpg");
    EXPECT_EQ(table.rows[0].files, 2u);
    EXPECT_EQ(table.rows[0].bytes, 1000u);
    EXPECT_EQ(table.rows[1].extension, L"txt");
    EXPECT_EQ(table.rows[2].extension, L"");
    EXPECT_EQ(table.rows[2].files, 2u);
    EXPECT_EQ(ExtensionColour(table, L"X.Jpg"), table.rows[0].colour);
}

namespace {

bool SameTables(const ExtensionTable& a, const ExtensionTable& b) {
    if (a.bytes != b.bytes || a.rows.size() != b.rows.size()) return false;
    for (size_t i = 0; i < a.rows.size(); ++i) {
        if (a.rows[i].extension != b.rows[i].extension || a.rows[i].bytes != b.rows[i].bytes ||
            a.rows[i].files != b.rows[i].files || a.rows[i].colour != b.rows[i].colour) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST(MapTypes, KeptCountsFollowEveryChangeToATree) {
    std::vector<EntryPtr> rows;
    FolderEntry* docs = FolderRow(rows, L"docs");
    Node* inner = AddNode(docs, docs->children, {}, true, L"inner", 0);
    AddNode(docs, static_cast<FolderNode*>(inner)->children, {inner}, false, L"a.txt", 500);
    AddNode(docs, docs->children, {}, false, L"b.txt", 200);
    FolderEntry* media = FolderRow(rows, L"media");
    AddNode(media, media->children, {}, false, L"song.mp3", 900);
    AddNode(media, media->children, {}, false, L"cover.png", 100);
    ExtensionCache cache;
    const MapSource source = SourceOf(rows);
    ASSERT_TRUE(SameTables(CountExtensions(source, &cache), CountExtensions(source)));

    // A rename that changes the type but not the bytes, and a removal in another row.
    EXPECT_EQ(TreeRenameItem(L"inner\\a.txt", docs, L"a.jpg"), 0u);
    EXPECT_EQ(TreeRemoveItem(L"cover.png", media), 100u);
    const ExtensionTable kept = CountExtensions(source, &cache);
    EXPECT_TRUE(SameTables(kept, CountExtensions(source)));
    EXPECT_EQ(kept.rows[1].extension, L"jpg");
    EXPECT_EQ(kept.bytes, 1600u);

    // A row's tree measured anew in place of the old one.
    auto* measured = new FolderEntry;
    AddNode(measured, measured->children, {}, false, L"clip.mp4", 50);
    TreeReplaceAll(docs, measured);
    ReleaseRowEntry(measured, false);
    EXPECT_TRUE(SameTables(CountExtensions(source, &cache), CountExtensions(source)));
}

TEST(MapTypes, AnUnchangedTreeIsNotWalkedAgain) {
    std::vector<EntryPtr> rows;
    FolderEntry* docs = FolderRow(rows, L"docs");
    Node* file = AddNode(docs, docs->children, {}, false, L"a.txt", 500);
    ExtensionCache cache;
    const MapSource source = SourceOf(rows);
    CountExtensions(source, &cache);
    // A size written behind the tree's back is not seen until the tree's stamp moves,
    // which shows the kept counts were used.
    file->size = 700;
    EXPECT_EQ(CountExtensions(source, &cache).bytes, 500u);
    docs->treeStamp = NextTreeStamp();
    EXPECT_EQ(CountExtensions(source, &cache).bytes, 700u);
}

TEST(MapTypes, TheDozenLargestGetDistinctColoursAndTheRestOneNeutral) {
    std::vector<EntryPtr> rows;
    std::vector<std::wstring> names;
    for (int i = 0; i < 15; ++i) names.push_back(L"file.e" + std::to_wstring(i));
    for (int i = 0; i < 15; ++i) rows.push_back(FileRow(names[i].c_str(), 1000 - 10 * i));
    const ExtensionTable table = CountExtensions(SourceOf(rows));
    std::set<uint32_t> colours;
    for (size_t i = 0; i < kColouredExtensions; ++i) colours.insert(table.rows[i].colour);
    EXPECT_EQ(colours.size(), kColouredExtensions);
    EXPECT_EQ(colours.count(kNeutralColour), 0u);
    EXPECT_EQ(ExtensionColour(table, L"x.e11"), table.rows[11].colour);
    EXPECT_EQ(ExtensionColour(table, L"x.e12"), kNeutralColour);
    EXPECT_EQ(ExtensionColour(table, L"x.e14"), kNeutralColour);
}

TEST(MapHitTest, AClickFindsTheRowAndTheFileUnderIt) {
    std::vector<EntryPtr> rows;
    rows.push_back(FileRow(L"small.txt", 100));
    FolderEntry* big = FolderRow(rows, L"big");
    Node* sub = AddNode(big, big->children, {}, true, L"sub", 0);
    AddNode(big, static_cast<FolderNode*>(sub)->children, {sub}, false, L"deep.bin", 600);
    AddNode(big, big->children, {}, false, L"top.dat", 300);
    const MapSource source = SourceOf(rows);
    const std::vector<PixelRect> tiles = TopLevelTiles(source, 300, 200);
    for (int row = 0; row < 2; ++row) {
        const PixelRect& tile = tiles[row];
        MapHit hit;
        ASSERT_TRUE(HitMap(source, 300, 200, (tile.left + tile.right) / 2, (tile.top + tile.bottom) / 2, hit));
        EXPECT_EQ(hit.row, row);
    }
    // The folder's tile is divided: the deep file's own tile answers with its path.
    MapHit hit;
    bool foundDeep = false;
    for (int y = tiles[1].top; y < tiles[1].bottom && !foundDeep; y += 3) {
        for (int x = tiles[1].left; x < tiles[1].right && !foundDeep; x += 3) {
            ASSERT_TRUE(HitMap(source, 300, 200, x, y, hit));
            foundDeep = hit.path == L"big\\sub\\deep.bin";
        }
    }
    ASSERT_TRUE(foundDeep);
    EXPECT_EQ(hit.size, 600u);
    EXPECT_FALSE(hit.folder);
    EXPECT_TRUE(hit.deepest);
    EXPECT_NEAR(Area(hit.tile), 300.0 * 200 * 600 / 1000, 300 + 200);
    EXPECT_FALSE(HitMap(source, 300, 200, 300, 10, hit));   // past the right edge
}

TEST(MapHitTest, SnapshotRowsAreNotDivided) {
    std::vector<EntryPtr> rows;
    FolderEntry* folder = FolderRow(rows, L"kept");
    AddNode(folder, folder->children, {}, false, L"x.bin", 500);
    MapHit hit;
    ASSERT_TRUE(HitMap(SourceOf(rows, true), 100, 100, 50, 50, hit));
    EXPECT_EQ(hit.path, L"kept");
    EXPECT_TRUE(hit.folder);
    ASSERT_TRUE(HitMap(SourceOf(rows, false), 100, 100, 50, 50, hit));
    EXPECT_EQ(hit.path, L"kept\\x.bin");
}

TEST(MapDrawing, FilesAreDrawnInTheirTypesColourInsideTheirFolder) {
    std::vector<EntryPtr> rows;
    FolderEntry* folder = FolderRow(rows, L"mixed");
    AddNode(folder, folder->children, {}, false, L"a.red", 500);
    AddNode(folder, folder->children, {}, false, L"b.blue", 400);
    const MapSource source = SourceOf(rows);
    const ExtensionTable types = CountExtensions(source);
    std::vector<uint32_t> pixels(200 * 100);
    DrawMap(source, types, 200, 100, pixels.data());
    for (const wchar_t* name : {L"a.red", L"b.blue"}) {
        // Find the file's tile by the hit test, then look at its middle pixel.
        bool seen = false;
        for (int x = 0; x < 200 && !seen; x += 5) {
            MapHit hit;
            if (!HitMap(source, 200, 100, x, 50, hit) || hit.path != std::wstring(L"mixed\\") + name) continue;
            seen = true;
            const uint32_t colour = ExtensionColour(types, name);
            const uint32_t pixel = pixels[((hit.tile.top + hit.tile.bottom) / 2) * 200 + (hit.tile.left + hit.tile.right) / 2];
            // Shading changes the brightness, not which channel is strongest.
            const auto strongest = [](uint32_t c) {
                const uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
                return r >= g && r >= b ? 0 : (g >= b ? 1 : 2);
            };
            EXPECT_EQ(strongest(pixel), strongest(colour)) << std::hex << pixel;
            EXPECT_NE(pixel, kMapBackground);
        }
        EXPECT_TRUE(seen);
    }
}

TEST(MapDrawing, DrawingInSlicesGivesTheSamePicture) {
    std::vector<EntryPtr> rows;
    FolderEntry* folder = FolderRow(rows, L"many");
    std::vector<std::wstring> names;
    for (int i = 0; i < 300; ++i) names.push_back(L"n" + std::to_wstring(i) + (i % 3 ? L".a" : L".b"));
    for (int i = 0; i < 300; ++i) AddNode(folder, folder->children, {}, false, names[i].c_str(), 1 + i * 7);
    rows.push_back(FileRow(L"alone.c", 20000));
    const MapSource source = SourceOf(rows);
    const ExtensionTable types = CountExtensions(source);
    std::vector<uint32_t> whole(320 * 200), sliced(320 * 200, 0);
    DrawMap(source, types, 320, 200, whole.data());
    MapDrawing drawing;
    BeginMapDrawing(drawing, source, types, 320, 200, sliced.data());
    int slices = 1;
    while (!ContinueMapDrawing(drawing, 7)) ++slices;
    EXPECT_GT(slices, 10);
    EXPECT_EQ(whole, sliced);
}

TEST(MapDrawing, AnEmptyTargetIsPlainBackground) {
    std::vector<EntryPtr> rows;
    rows.push_back(FileRow(L"zero", 0));
    const MapSource source = SourceOf(rows);
    std::vector<uint32_t> pixels(40 * 30, 0);
    DrawMap(source, CountExtensions(source), 40, 30, pixels.data());
    EXPECT_EQ(MapTotal(source), 0u);
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p == kMapBackground; }));
}

TEST(MapDrawing, HighlightedTypesKeepTheirColourAndOthersDim) {
    std::vector<EntryPtr> rows;
    rows.push_back(FileRow(L"a.one", 500));
    rows.push_back(FileRow(L"b.two", 500));
    const MapSource source = SourceOf(rows);
    const ExtensionTable types = CountExtensions(source);
    std::vector<uint32_t> plain(100 * 50), lit(100 * 50);
    DrawMap(source, types, 100, 50, plain.data());
    MapDrawing drawing;
    drawing.highlight = {L"one"};
    BeginMapDrawing(drawing, source, types, 100, 50, lit.data());
    ContinueMapDrawing(drawing, 1000);
    const std::vector<PixelRect> tiles = TopLevelTiles(source, 100, 50);
    const auto centre = [](const PixelRect& t) { return ((t.top + t.bottom) / 2) * 100 + (t.left + t.right) / 2; };
    EXPECT_EQ(lit[centre(tiles[0])], plain[centre(tiles[0])]);
    EXPECT_NE(lit[centre(tiles[1])], plain[centre(tiles[1])]);
}
