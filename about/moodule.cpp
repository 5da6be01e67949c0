#include "about/moodule.h"

#include <cmath>

#include "about/drawing.h"

namespace Moodule {
namespace {

// Nearest whole number, a tie going to the even one (the default rounding mode).
std::int32_t RoundHalfEven(double value) {
    return static_cast<std::int32_t>(std::nearbyint(value));
}

}  // namespace

void RotateImage(QImage& surface, std::int32_t& width, std::int32_t& height, std::int32_t& angle) {
    const QImage source = surface;
    const std::int32_t w = width;
    const std::int32_t h = height;
    QImage copy = platform::CreateCompatibleDC(source);

    const std::int32_t s = RoundHalfEven(std::sin(static_cast<double>(angle)));
    const std::int32_t c = RoundHalfEven(std::cos(static_cast<double>(angle)));

    // Where the region's corners (w, 0), (0, h) and (w, h) go; the origin stays.
    std::int32_t origin = 0;
    std::int32_t x1 = w * c;
    std::int32_t y1 = w * s;
    std::int32_t x2 = -h * s;
    std::int32_t y2 = h * c;
    std::int32_t x3 = w * c - h * s;
    std::int32_t y3 = w * s + h * c;
    std::int32_t minX12 = MinOf(x1, x2);
    std::int32_t min03 = MinOf(origin, x3);
    std::int32_t maxX12 = MaxOf(x1, x2);
    std::int32_t max03 = MaxOf(origin, x3);
    std::int32_t minX = MinOf(minX12, min03);
    std::int32_t maxX = MaxOf(maxX12, max03);
    std::int32_t minY12 = MinOf(y1, y2);
    std::int32_t minY03 = MinOf(origin, y3);
    std::int32_t maxY12 = MaxOf(y1, y2);
    std::int32_t maxY03 = MaxOf(origin, y3);
    std::int32_t minY = MinOf(minY12, minY03);
    std::int32_t maxY = MaxOf(maxY12, maxY03);
    const std::int32_t newW = maxX - minX;
    const std::int32_t newH = maxY - minY;

    platform::SelectObject(copy, platform::CreateCompatibleBitmap(source, newW, newH));

    const platform::PixelView from = platform::PixelView::Reading(source);
    platform::PixelView to = platform::PixelView::Writing(copy);
    for (std::int32_t i = 0; i < newH; ++i) {
        for (std::int32_t j = 0; j < newW; ++j) {
            const std::int32_t x = minX + j;
            const std::int32_t y = minY + i;
            const std::int32_t sx = c * x + s * y;
            const std::int32_t sy = c * y - s * x;
            // Both bounds inclusive: the column and row just past the region can be read.
            if (sx >= 0 && sx <= w && sy >= 0 && sy <= h) {
                platform::BitBlt(to, j, i, 1, 1, from, sx, sy);
            }
        }
    }

    width = newW;
    height = newH;
    surface = copy;
}

std::int32_t MinOf(std::int32_t& a, std::int32_t& b) {
    return a < b ? a : b;
}

std::int32_t MaxOf(std::int32_t& a, std::int32_t& b) {
    return a >= b ? a : b;
}

}  // namespace Moodule
