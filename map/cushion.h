// Cushion shading (van Wijk and van de Wetering, 1999): every level of nesting adds a
// parabolic ridge to a tile's surface, so lit from one side the nesting reads without
// drawn borders. Pixels are 32-bit 0x00RRGGBB, the layout of a top-down 32-bit DIB.
#pragma once

#include <cstdint>

#include "map/squarify.h"

namespace lurmo {

// The surface z = xx*x^2 + x1*x + yy*y^2 + y1*y over the map's pixel coordinates.
struct Cushion {
    double xx = 0, x1 = 0, yy = 0, y1 = 0;
};

// The first ridge's height and the factor each deeper level multiplies it by.
constexpr double kCushionHeight = 0.5;
constexpr double kCushionFalloff = 0.75;

// Adds a ridge of the given height over the rectangle, along both axes.
void AddRidge(Cushion& cushion, const MapRect& rect, double height);

// The light falling on the surface at a pixel's centre: between the ambient share and 1.
double CushionLight(const Cushion& cushion, int x, int y);

// Fills the tile's pixels of an image `stride` pixels wide with colour (0x00RRGGBB)
// shaded by the cushion.
void ShadeTile(uint32_t* pixels, int stride, const PixelRect& tile, const Cushion& cushion, uint32_t colour);

}  // namespace lurmo
