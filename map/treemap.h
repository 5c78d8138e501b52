// The map of a target: the file types and their colours, the drawing of the whole map
// into a pixel buffer (resumable, so a window can draw it in slices), the tiles of the
// top-level rows and the hit test. Nothing is kept per node: every tile is laid out
// again whenever it is drawn or hit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/entries.h"
#include "map/cushion.h"
#include "map/squarify.h"

namespace lurmo {

// What the map shows: the rows in the list's order. In snapshot mode no tree is kept and
// only the rows themselves are tiles.
struct MapSource {
    std::vector<const RowEntry*> rows;
    bool snapshot = false;
};

uint64_t MapTotal(const MapSource& source);

// --- File types ----------------------------------------------------------------------
struct ExtensionStat {
    std::wstring extension;   // lower case (A-Z folded), without the dot; empty: none
    uint64_t bytes = 0;
    uint64_t files = 0;
    uint32_t colour = 0;      // 0x00RRGGBB
};

// Every extension of the target's files, by bytes, the largest first (ties by name).
struct ExtensionTable {
    std::vector<ExtensionStat> rows;
    uint64_t bytes = 0;
};

constexpr size_t kColouredExtensions = 12;
constexpr uint32_t kNeutralColour = 0x00A0A0A0;
// The colour of a folder's tile that is too small to divide.
constexpr uint32_t kFolderColour = 0x00B8B0A0;

// The extension of a file name: the text after its last dot, A-Z folded to lower case;
// empty when the name has no dot past its first character.
std::wstring FoldExtension(std::wstring_view name);

// The file types of each folder row as last counted, with the row's tree stamp then: a
// row whose tree has not changed since is not walked again, so one change costs the
// walk of its own row's tree, not of the whole target.
struct ExtensionCache {
    struct RowCounts {
        uint64_t stamp = 0;
        std::vector<ExtensionStat> stats;
    };
    std::unordered_map<const RowEntry*, RowCounts> rows;
};

// With a cache, rows of unchanged trees take their counts from it, and it is left
// holding the counts of the source's rows alone.
ExtensionTable CountExtensions(const MapSource& source, ExtensionCache* cache = nullptr);
// The map's colour for a file of that name: one of the dozen largest extensions' own
// colours, else the neutral colour.
uint32_t ExtensionColour(const ExtensionTable& table, std::wstring_view fileName);

// --- Drawing ---------------------------------------------------------------------------
struct MapItem {
    uint64_t size = 0;
    const RowEntry* row = nullptr;   // a top-level row, or
    const Node* node = nullptr;      // a node of a row's tree
    int rowIndex = -1;
};

struct MapLevel {
    std::vector<MapItem> items;
    std::vector<uint64_t> sizes;
    std::vector<MapRect> rects;
    size_t next = 0;
    Cushion cushion;
    double ridge = 0;
};

// A drawing under way. The source and the tree it reaches must not change between
// BeginMapDrawing and the ContinueMapDrawing that finishes it: whoever changes the tree
// begins the drawing again.
struct MapDrawing {
    const MapSource* source = nullptr;
    const ExtensionTable* types = nullptr;
    // Extensions (folded) whose files are drawn lit; when any is given the others dim.
    std::vector<std::wstring> highlight;
    int width = 0, height = 0;
    uint32_t* pixels = nullptr;
    std::vector<MapLevel> levels;
    size_t depth = 0;
    bool done = true;
};

constexpr uint32_t kMapBackground = 0x00F0F0F0;

// Clears the image to the background and lays out the top level.
void BeginMapDrawing(MapDrawing& drawing, const MapSource& source, const ExtensionTable& types, int width,
                     int height, uint32_t* pixels);
// Draws up to `tiles` more tiles; true when the map is finished.
bool ContinueMapDrawing(MapDrawing& drawing, size_t tiles);
// The whole map at once.
void DrawMap(const MapSource& source, const ExtensionTable& types, int width, int height, uint32_t* pixels);

// The tile of each row (by row index) at the top level; empty rectangles for rows of size 0.
std::vector<PixelRect> TopLevelTiles(const MapSource& source, int width, int height);

// The deepest tile under a pixel.
struct MapHit {
    int row = -1;                // the top-level row the tile lies in
    std::wstring path;           // names from the row down, joined by "\"
    uint64_t size = 0;
    bool folder = false;
    bool deepest = false;        // the tile is a file's, or a folder that is not divided
    PixelRect tile;
};
bool HitMap(const MapSource& source, int width, int height, int x, int y, MapHit& hit);

}  // namespace lurmo
