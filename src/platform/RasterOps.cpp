#include "platform/RasterOps.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vantorell {

namespace {

// Source index for destination index i of n, when n destination pixels show m source pixels:
// the source pixel under the destination pixel's centre.
inline int sampleIndex(int i, int n, int m)
{
    return int((std::int64_t(2 * i + 1) * m) / (std::int64_t(2) * n));
}

}  // namespace

void stretchCopy(Bitmap& dst, const Rect& to, const Bitmap& src)
{
    if (to.width <= 0 || to.height <= 0 || src.empty() || dst.empty())
        return;
    const int x0 = std::max(to.x, 0);
    const int y0 = std::max(to.y, 0);
    const int x1 = int(std::min<std::int64_t>(std::int64_t(to.x) + to.width, dst.width()));
    const int y1 = int(std::min<std::int64_t>(std::int64_t(to.y) + to.height, dst.height()));
    if (x0 >= x1 || y0 >= y1)
        return;

    if (to.width == src.width() && to.height == src.height()) {   // same size: a plain copy
        std::uint8_t* const out = dst.mutableBits();
        for (int y = y0; y < y1; ++y)
            std::memcpy(out + dst.stride() * std::size_t(y) + std::size_t(x0) * 4,
                        src.row(y - to.y) + std::size_t(x0 - to.x) * 4, std::size_t(x1 - x0) * 4);
        return;
    }

    std::vector<int> column(std::size_t(x1 - x0));
    for (int x = x0; x < x1; ++x)
        column[std::size_t(x - x0)] = sampleIndex(x - to.x, to.width, src.width());

    std::uint8_t* const out = dst.mutableBits();
    int lastSourceRow = -1;
    for (int y = y0; y < y1; ++y) {
        auto* outRow = reinterpret_cast<std::uint32_t*>(out + dst.stride() * std::size_t(y));
        const int srcY = sampleIndex(y - to.y, to.height, src.height());
        if (srcY == lastSourceRow) {   // an enlarged picture repeats the row just made
            const auto* previous = reinterpret_cast<const std::uint32_t*>(out + dst.stride() * std::size_t(y - 1));
            std::copy(previous + x0, previous + x1, outRow + x0);
            continue;
        }
        lastSourceRow = srcY;
        const auto* srcRow = reinterpret_cast<const std::uint32_t*>(src.row(srcY));
        for (int x = x0; x < x1; ++x)
            outRow[x] = srcRow[column[std::size_t(x - x0)]];
    }
}

void alphaBlendConstant(Bitmap& dst, const Rect& to, const Bitmap& src, const Rect& from, int alpha)
{
    if (to.width <= 0 || to.height <= 0 || from.width <= 0 || from.height <= 0 || dst.empty() || src.empty())
        return;
    alpha = std::clamp(alpha, 0, 255);
    const int x0 = std::max(to.x, 0);
    const int y0 = std::max(to.y, 0);
    const int x1 = int(std::min<std::int64_t>(std::int64_t(to.x) + to.width, dst.width()));
    const int y1 = int(std::min<std::int64_t>(std::int64_t(to.y) + to.height, dst.height()));
    if (x0 >= x1 || y0 >= y1)
        return;

    // (s * a + d * (255 - a)) / 255 is never exactly halfway between two integers (255 is odd),
    // so adding 127 before the integer division rounds to the nearest.
    std::array<std::uint16_t, 256> sourcePart{}, destPart{};
    for (int v = 0; v < 256; ++v) {
        sourcePart[std::size_t(v)] = std::uint16_t(v * alpha);
        destPart[std::size_t(v)] = std::uint16_t(v * (255 - alpha) + 127);
    }
    const bool sameSize = to.width == from.width && to.height == from.height;
    std::uint8_t* const out = dst.mutableBits();
    for (int y = y0; y < y1; ++y) {
        const std::int64_t srcY = from.y + (sameSize ? y - to.y : sampleIndex(y - to.y, to.height, from.height));
        if (srcY < 0 || srcY >= src.height())
            continue;
        std::uint8_t* outRow = out + dst.stride() * std::size_t(y);
        const std::uint8_t* srcRow = src.row(int(srcY));
        for (int x = x0; x < x1; ++x) {
            const std::int64_t srcX = from.x + (sameSize ? x - to.x : sampleIndex(x - to.x, to.width, from.width));
            if (srcX < 0 || srcX >= src.width())
                continue;
            std::uint8_t* outPixel = outRow + std::size_t(x) * 4;
            const std::uint8_t* srcPixel = srcRow + std::size_t(srcX) * 4;
            for (int c = 0; c < 3; ++c)
                outPixel[c] = std::uint8_t((sourcePart[srcPixel[c]] + destPart[outPixel[c]]) / 255);
        }
    }
}

}  // namespace vantorell
