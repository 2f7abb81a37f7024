#include "ui/font_height.h"

#include <cstdint>

int PointsToFontHeight(int points, int pixelsPerInch) {
    const std::int64_t product = static_cast<std::int64_t>(points) * pixelsPerInch;
    const std::int64_t rounded = product >= 0 ? (product + 36) / 72 : (product - 36) / 72;
    return -static_cast<int>(rounded);
}
