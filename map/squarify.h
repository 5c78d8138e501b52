// Tile layouts: the squarified layout that the map draws, and slice-and-dice for
// comparison. Pure arithmetic on sizes and a rectangle; nothing here knows a window.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lurmo {

// A rectangle in pixels with fractional edges, as a layout hands it down to the next level.
struct MapRect {
    double x = 0, y = 0, width = 0, height = 0;
};

// The pixels a tile covers: left and top inclusive, right and bottom exclusive. Edges are
// rounded one way for every tile, so neighbours share their edge and never overlap.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

PixelRect ToPixels(const MapRect& rect);

// Squarified layout (Bruls, Huizing and van Wijk, 2000): sizes must come in descending
// order; out receives one rectangle per size, tiling bounds exactly. Sizes of 0 take no
// area (their rectangles are empty). Tiles are laid in rows along the shorter side of
// what is left, a row growing while that improves its worst aspect ratio.
void SquarifyLayout(const uint64_t* sizes, size_t count, const MapRect& bounds, MapRect* out);

// Slice-and-dice: one strip per size across the width (vertical) or the height.
void SliceLayout(const uint64_t* sizes, size_t count, const MapRect& bounds, bool vertical, MapRect* out);

// The largest width-to-height or height-to-width ratio among the non-empty rectangles;
// 1 for none.
double WorstAspectRatio(const MapRect* rects, size_t count);

}  // namespace lurmo
