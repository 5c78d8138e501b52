#include "map/cushion.h"

#include <algorithm>
#include <cmath>

namespace lurmo {

namespace {

// Light from the upper left and well above, as the eye expects on a screen.
constexpr double kLightX = -1, kLightY = -1, kLightZ = 10;
constexpr double kAmbient = 0.25;
constexpr double kDiffuse = 0.85;

}  // namespace

void AddRidge(Cushion& cushion, const MapRect& rect, double height) {
    if (rect.width > 0) {
        cushion.x1 += 4 * height * (2 * rect.x + rect.width) / rect.width;
        cushion.xx -= 4 * height / rect.width;
    }
    if (rect.height > 0) {
        cushion.y1 += 4 * height * (2 * rect.y + rect.height) / rect.height;
        cushion.yy -= 4 * height / rect.height;
    }
}

double CushionLight(const Cushion& cushion, int x, int y) {
    const double nx = -(2 * cushion.xx * (x + 0.5) + cushion.x1);
    const double ny = -(2 * cushion.yy * (y + 0.5) + cushion.y1);
    static const double lightLength = std::sqrt(kLightX * kLightX + kLightY * kLightY + kLightZ * kLightZ);
    const double cosine = (nx * kLightX + ny * kLightY + kLightZ) / (std::sqrt(nx * nx + ny * ny + 1) * lightLength);
    return kAmbient + kDiffuse * std::max(0.0, cosine) * (1 - kAmbient);
}

void ShadeTile(uint32_t* pixels, int stride, const PixelRect& tile, const Cushion& cushion, uint32_t colour) {
    const double red = (colour >> 16) & 0xFF, green = (colour >> 8) & 0xFF, blue = colour & 0xFF;
    // A little more than 1 at full light, so a lit tile reaches its full colour.
    constexpr double kBoost = 1.25;
    for (int y = tile.top; y < tile.bottom; ++y) {
        uint32_t* row = pixels + static_cast<size_t>(y) * stride;
        for (int x = tile.left; x < tile.right; ++x) {
            const double light = CushionLight(cushion, x, y) * kBoost;
            const auto channel = [light](double value) {
                return static_cast<uint32_t>(std::min(255.0, value * light));
            };
            row[x] = (channel(red) << 16) | (channel(green) << 8) | channel(blue);
        }
    }
}

}  // namespace lurmo
