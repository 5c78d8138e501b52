#include "map/squarify.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lurmo {

namespace {

// floor(value + 0.5) for the map's coordinates. std::floor is a library call on the
// plain x86-64 instruction set, and every tile of a million-file map takes four.
int RoundEdge(double value) {
    const double shifted = value + 0.5;
    const int truncated = static_cast<int>(shifted);
    return truncated > shifted ? truncated - 1 : truncated;
}

}  // namespace

PixelRect ToPixels(const MapRect& rect) {
    PixelRect pixels;
    pixels.left = RoundEdge(rect.x);
    pixels.top = RoundEdge(rect.y);
    pixels.right = RoundEdge(rect.x + rect.width);
    pixels.bottom = RoundEdge(rect.y + rect.height);
    return pixels;
}

namespace {

void ClearRects(const MapRect& bounds, MapRect* out, size_t count) {
    for (size_t i = 0; i < count; ++i) out[i] = MapRect{bounds.x, bounds.y, 0, 0};
}

// The worst aspect ratio of a row of total area `sum` whose largest tile has area `largest`
// and smallest `smallest`, laid along a side of length `side`.
double RowWorst(double sum, double largest, double smallest, double side) {
    const double side2 = side * side, sum2 = sum * sum;
    // Whichever ratio is larger is found by cross-multiplying, so only it is divided out:
    // the layout runs for every folder drawn, a million items at a time.
    const double longest = side2 * largest, shortest = side2 * smallest;
    return longest * shortest >= sum2 * sum2 ? longest / sum2 : sum2 / shortest;
}

}  // namespace

void SquarifyLayout(const uint64_t* sizes, size_t count, const MapRect& bounds, MapRect* out) {
    ClearRects(bounds, out, count);
    // The bytes still to place; sums are taken in doubles so that a tree of exabytes
    // cannot overflow them.
    double remaining = 0;
    size_t used = 0;
    while (used < count && sizes[used] > 0) remaining += static_cast<double>(sizes[used++]);
    if (remaining <= 0 || bounds.width <= 0 || bounds.height <= 0) return;

    MapRect rest = bounds;
    size_t first = 0;
    while (first < used) {
        const bool column = rest.width >= rest.height;   // a row along the left edge
        const double side = column ? rest.height : rest.width;
        const double scale = rest.width * rest.height / remaining;   // pixels per byte
        size_t end = first;
        double rowBytes = 0, worst = std::numeric_limits<double>::infinity();
        const double largest = static_cast<double>(sizes[first]) * scale;
        while (end < used) {
            const double bytes = rowBytes + static_cast<double>(sizes[end]);
            const double next = RowWorst(bytes * scale, largest, static_cast<double>(sizes[end]) * scale, side);
            if (end > first && next > worst) break;
            worst = next;
            rowBytes = bytes;
            ++end;
        }
        // The row's thickness is its share of what is left, so the last row ends exactly
        // at the far edge; within the row each tile's edge is its running share.
        const double extent = column ? rest.width : rest.height;
        const double thickness = end == used ? extent : extent * rowBytes / remaining;
        double running = 0;
        const double perByte = side / rowBytes;
        for (size_t i = first; i < end; ++i) {
            const double from = running * perByte;
            running += static_cast<double>(sizes[i]);
            const double to = i + 1 == end ? side : running * perByte;
            out[i] = column ? MapRect{rest.x, rest.y + from, thickness, to - from}
                            : MapRect{rest.x + from, rest.y, to - from, thickness};
        }
        if (column) {
            rest.x += thickness;
            rest.width -= thickness;
        } else {
            rest.y += thickness;
            rest.height -= thickness;
        }
        remaining -= rowBytes;
        first = end;
    }
}

void SliceLayout(const uint64_t* sizes, size_t count, const MapRect& bounds, bool vertical, MapRect* out) {
    ClearRects(bounds, out, count);
    double total = 0;
    for (size_t i = 0; i < count; ++i) total += static_cast<double>(sizes[i]);
    if (total <= 0) return;
    const double length = vertical ? bounds.width : bounds.height;
    double running = 0;
    for (size_t i = 0; i < count; ++i) {
        const double from = length * running / total;
        running += static_cast<double>(sizes[i]);
        const double to = length * running / total;
        out[i] = vertical ? MapRect{bounds.x + from, bounds.y, to - from, bounds.height}
                          : MapRect{bounds.x, bounds.y + from, bounds.width, to - from};
    }
}

double WorstAspectRatio(const MapRect* rects, size_t count) {
    double worst = 1;
    for (size_t i = 0; i < count; ++i) {
        const double w = rects[i].width, h = rects[i].height;
        if (w <= 0 || h <= 0) continue;
        worst = std::max(worst, std::max(w / h, h / w));
    }
    return worst;
}

}  // namespace lurmo
