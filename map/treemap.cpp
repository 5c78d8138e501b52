#include "map/treemap.h"

#include <algorithm>
#include <unordered_map>

namespace lurmo {

namespace {

// Twelve hues far apart from each other and from the neutral grey.
constexpr uint32_t kPalette[kColouredExtensions] = {
    0x003070E0, 0x00E03030, 0x0030B030, 0x00E8C020, 0x0020C0C8, 0x00C840C8,
    0x00F08020, 0x007850D8, 0x0098D040, 0x00F070A8, 0x00208C90, 0x00A06838,
};

wchar_t FoldChar(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

std::wstring_view RawExtension(std::wstring_view name) {
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

bool SameFolded(std::wstring_view raw, const std::wstring& folded) {
    if (raw.size() != folded.size()) return false;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (FoldChar(raw[i]) != folded[i]) return false;
    }
    return true;
}

bool IsFileItem(const MapItem& item, bool snapshot) {
    if (item.row) return snapshot || (item.row->kind & kKindFile);
    return (item.node->kind & kKindFile) != 0;
}

std::wstring_view ItemName(const MapItem& item, NameBuffer& buffer) {
    return item.row ? std::wstring_view(item.row->name) : NodeName(item.node, buffer);
}

const ChildMap* ItemChildren(const MapItem& item, bool snapshot) {
    if (IsFileItem(item, snapshot)) return nullptr;
    if (item.row) return &static_cast<const FolderEntry*>(item.row)->children;
    return &static_cast<const FolderNode*>(item.node)->children;
}

// Only tiles of at least this many pixels each way are divided among their children.
constexpr int kSmallestDivided = 2;

bool Divisible(const PixelRect& tile) {
    return tile.Width() >= kSmallestDivided && tile.Height() >= kSmallestDivided;
}

constexpr size_t kInsertionSorted = 24;

// Sorts the level's items largest first (ties stay in name order) and lays them out.
void LayOutLevel(MapLevel& level, const MapRect& bounds) {
    const auto larger = [](const MapItem& a, const MapItem& b) { return a.size > b.size; };
    if (level.items.size() <= kInsertionSorted) {
        // Most folders hold a few items: an insertion sort orders them without the
        // buffer stable_sort takes from the heap at every call.
        for (size_t i = 1; i < level.items.size(); ++i) {
            const MapItem item = level.items[i];
            size_t j = i;
            for (; j > 0 && larger(item, level.items[j - 1]); --j) level.items[j] = level.items[j - 1];
            level.items[j] = item;
        }
    } else {
        std::stable_sort(level.items.begin(), level.items.end(), larger);
    }
    level.sizes.resize(level.items.size());
    for (size_t i = 0; i < level.items.size(); ++i) level.sizes[i] = level.items[i].size;
    level.rects.resize(level.items.size());
    SquarifyLayout(level.sizes.data(), level.sizes.size(), bounds, level.rects.data());
    level.next = 0;
}

void GatherTop(const MapSource& source, MapLevel& level) {
    level.items.clear();
    for (size_t i = 0; i < source.rows.size(); ++i) {
        const RowEntry* row = source.rows[i];
        if (row && row->size > 0) level.items.push_back(MapItem{row->size, row, nullptr, static_cast<int>(i)});
    }
}

void GatherChildren(const ChildMap& children, int rowIndex, MapLevel& level) {
    level.items.clear();
    VisitChildren(children, [&](const Node* node) {
        const uint64_t size = node->size;
        if (size > 0) level.items.push_back(MapItem{size, nullptr, node, rowIndex});
    });
}

// The counts by folded extension. Files are counted by the million, so a lookup folds
// the name into a buffer on the stack and finds its entry without making a string.
struct FoldedHash {
    using is_transparent = void;
    size_t operator()(std::wstring_view key) const { return std::hash<std::wstring_view>{}(key); }
};
using ExtensionCounts = std::unordered_map<std::wstring, ExtensionStat, FoldedHash, std::equal_to<>>;

void CountFile(std::wstring_view name, uint64_t size, ExtensionCounts& counts) {
    const std::wstring_view raw = RawExtension(name);
    constexpr size_t kFoldedOnStack = 32;
    wchar_t folded[kFoldedOnStack];
    ExtensionStat* stat = nullptr;
    if (raw.size() <= kFoldedOnStack) {
        for (size_t i = 0; i < raw.size(); ++i) folded[i] = FoldChar(raw[i]);
        const std::wstring_view key(folded, raw.size());
        const auto found = counts.find(key);
        stat = found != counts.end() ? &found->second : &counts[std::wstring(key)];
    } else {
        stat = &counts[FoldExtension(name)];
    }
    stat->bytes += size;
    ++stat->files;
}

void CountIn(const ChildMap& children, ExtensionCounts& counts) {
    NameBuffer name;
    VisitChildren(children, [&](const Node* node) {
        if (node->kind & kKindFile) CountFile(NodeName(node, name), node->size, counts);
        else CountIn(static_cast<const FolderNode*>(node)->children, counts);
    });
}

uint32_t Dim(uint32_t colour) {
    // Halfway to the background's grey, so highlighted types stand out.
    const auto mix = [](uint32_t c) { return (c + 0xD0) / 2; };
    return (mix((colour >> 16) & 0xFF) << 16) | (mix((colour >> 8) & 0xFF) << 8) | mix(colour & 0xFF);
}

uint32_t TileColour(const MapDrawing& drawing, const MapItem& item) {
    if (!IsFileItem(item, drawing.source->snapshot)) {
        return drawing.highlight.empty() ? kFolderColour : Dim(kFolderColour);
    }
    NameBuffer buffer;
    const std::wstring_view name = ItemName(item, buffer);
    const uint32_t colour = ExtensionColour(*drawing.types, name);
    if (drawing.highlight.empty()) return colour;
    const std::wstring_view raw = RawExtension(name);
    for (const std::wstring& lit : drawing.highlight) {
        if (SameFolded(raw, lit)) return colour;
    }
    return Dim(colour);
}

}  // namespace

uint64_t MapTotal(const MapSource& source) {
    uint64_t total = 0;
    for (const RowEntry* row : source.rows) {
        if (row) total += row->size;
    }
    return total;
}

std::wstring FoldExtension(std::wstring_view name) {
    std::wstring extension(RawExtension(name));
    for (wchar_t& c : extension) c = FoldChar(c);
    return extension;
}

ExtensionTable CountExtensions(const MapSource& source, ExtensionCache* cache) {
    ExtensionCounts counts;
    ExtensionCache kept;
    for (const RowEntry* row : source.rows) {
        if (!row) continue;
        if (source.snapshot || (row->kind & kKindFile)) {
            if (row->kind & kKindFile) CountFile(row->name, row->size, counts);
            continue;
        }
        const auto* folder = static_cast<const FolderEntry*>(row);
        if (!cache) {
            CountIn(folder->children, counts);
            continue;
        }
        ExtensionCache::RowCounts own;
        const auto found = cache->rows.find(row);
        if (found != cache->rows.end() && found->second.stamp == folder->treeStamp) {
            own = std::move(found->second);
        } else {
            ExtensionCounts fresh;
            CountIn(folder->children, fresh);
            own.stamp = folder->treeStamp;
            own.stats.reserve(fresh.size());
            for (auto& [extension, stat] : fresh) {
                stat.extension = extension;
                own.stats.push_back(std::move(stat));
            }
        }
        for (const ExtensionStat& stat : own.stats) {
            ExtensionStat& sum = counts[stat.extension];
            sum.bytes += stat.bytes;
            sum.files += stat.files;
        }
        kept.rows.emplace(row, std::move(own));
    }
    if (cache) *cache = std::move(kept);
    ExtensionTable table;
    table.rows.reserve(counts.size());
    for (auto& [extension, stat] : counts) {
        stat.extension = extension;
        table.bytes += stat.bytes;
        table.rows.push_back(std::move(stat));
    }
    std::sort(table.rows.begin(), table.rows.end(), [](const ExtensionStat& a, const ExtensionStat& b) {
        return a.bytes != b.bytes ? a.bytes > b.bytes : a.extension < b.extension;
    });
    for (size_t i = 0; i < table.rows.size(); ++i) {
        // A type with no bytes has no tile to colour, so it takes no colour from another.
        const bool coloured = i < kColouredExtensions && table.rows[i].bytes > 0;
        table.rows[i].colour = coloured ? kPalette[i] : kNeutralColour;
    }
    return table;
}

uint32_t ExtensionColour(const ExtensionTable& table, std::wstring_view fileName) {
    const std::wstring_view raw = RawExtension(fileName);
    const size_t coloured = std::min(table.rows.size(), kColouredExtensions);
    for (size_t i = 0; i < coloured; ++i) {
        if (SameFolded(raw, table.rows[i].extension)) return table.rows[i].colour;
    }
    return kNeutralColour;
}

void BeginMapDrawing(MapDrawing& drawing, const MapSource& source, const ExtensionTable& types, int width,
                     int height, uint32_t* pixels) {
    drawing.source = &source;
    drawing.types = &types;
    drawing.width = width;
    drawing.height = height;
    drawing.pixels = pixels;
    std::fill(pixels, pixels + static_cast<size_t>(width) * height, kMapBackground);
    if (drawing.levels.empty()) drawing.levels.resize(1);
    drawing.depth = 0;
    MapLevel& top = drawing.levels[0];
    GatherTop(source, top);
    top.cushion = Cushion{};
    top.ridge = kCushionHeight;
    LayOutLevel(top, MapRect{0, 0, static_cast<double>(width), static_cast<double>(height)});
    drawing.done = false;
}

bool ContinueMapDrawing(MapDrawing& drawing, size_t tiles) {
    const bool snapshot = drawing.source->snapshot;
    while (!drawing.done && tiles > 0) {
        MapLevel& level = drawing.levels[drawing.depth];
        if (level.next == level.items.size()) {
            if (drawing.depth == 0) {
                drawing.done = true;
                break;
            }
            --drawing.depth;
            continue;
        }
        const size_t index = level.next++;
        const MapItem item = level.items[index];
        const MapRect rect = level.rects[index];
        const PixelRect tile = ToPixels(rect);
        if (tile.Width() <= 0 || tile.Height() <= 0) continue;
        Cushion cushion = level.cushion;
        AddRidge(cushion, rect, level.ridge);
        const ChildMap* children = ItemChildren(item, snapshot);
        if (children && Divisible(tile)) {
            if (drawing.levels.size() <= drawing.depth + 1) drawing.levels.resize(drawing.depth + 2);
            MapLevel& inner = drawing.levels[drawing.depth + 1];
            const double ridge = level.ridge * kCushionFalloff;   // `level` may move no more after this
            GatherChildren(*children, item.rowIndex, inner);
            if (!inner.items.empty()) {
                inner.cushion = cushion;
                inner.ridge = ridge;
                LayOutLevel(inner, rect);
                ++drawing.depth;
                continue;
            }
        }
        ShadeTile(drawing.pixels, drawing.width, tile, cushion, TileColour(drawing, item));
        --tiles;
    }
    return drawing.done;
}

void DrawMap(const MapSource& source, const ExtensionTable& types, int width, int height, uint32_t* pixels) {
    MapDrawing drawing;
    BeginMapDrawing(drawing, source, types, width, height, pixels);
    ContinueMapDrawing(drawing, static_cast<size_t>(-1));
}

std::vector<PixelRect> TopLevelTiles(const MapSource& source, int width, int height) {
    MapLevel top;
    GatherTop(source, top);
    LayOutLevel(top, MapRect{0, 0, static_cast<double>(width), static_cast<double>(height)});
    std::vector<PixelRect> tiles(source.rows.size());
    for (size_t i = 0; i < top.items.size(); ++i) tiles[top.items[i].rowIndex] = ToPixels(top.rects[i]);
    return tiles;
}

bool HitMap(const MapSource& source, int width, int height, int x, int y, MapHit& hit) {
    hit = MapHit{};
    MapLevel level;
    GatherTop(source, level);
    LayOutLevel(level, MapRect{0, 0, static_cast<double>(width), static_cast<double>(height)});
    for (;;) {
        size_t found = level.items.size();
        for (size_t i = 0; i < level.items.size(); ++i) {
            if (ToPixels(level.rects[i]).Contains(x, y)) {
                found = i;
                break;
            }
        }
        if (found == level.items.size()) return hit.row >= 0;
        const MapItem item = level.items[found];
        const MapRect rect = level.rects[found];
        hit.row = item.rowIndex;
        if (!hit.path.empty()) hit.path += L'\\';
        NameBuffer name;
        hit.path += ItemName(item, name);
        hit.size = item.size;
        hit.folder = item.row ? !(item.row->kind & kKindFile) : !(item.node->kind & kKindFile);
        hit.tile = ToPixels(rect);
        const ChildMap* children = ItemChildren(item, source.snapshot);
        if (!children || !Divisible(hit.tile)) {
            hit.deepest = true;
            return true;
        }
        GatherChildren(*children, item.rowIndex, level);
        if (level.items.empty()) {
            hit.deepest = true;
            return true;
        }
        LayOutLevel(level, rect);
    }
}

}  // namespace lurmo
