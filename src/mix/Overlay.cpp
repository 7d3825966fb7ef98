#include "mix/Overlay.h"

#include "platform/Conversions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantorell {

namespace {

// Eight channel averages at once. For bytes a and b, floor((a + b) / 2) = (a & b) + ((a ^ b) >> 1);
// when a + b is odd ((a ^ b) & 1) the exact average is halfway, and ties go to the even
// neighbour: add 1 exactly when the floor is odd. No byte carries into the next.
inline std::uint64_t averageTiesToEven(std::uint64_t a, std::uint64_t b)
{
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    const std::uint64_t x = a ^ b;
    const std::uint64_t floorAvg = (a & b) + ((x >> 1) & kLow7);
    return floorAvg + (x & floorAvg & kOnes);
}

#if defined(__SSE2__)
// Sixteen channel averages at once: pavgb rounds halves up, (a + b + 1) >> 1; where the sum is
// odd and that rounded-up value is odd too, the even neighbour is one below.
inline __m128i averageTiesToEven(__m128i a, __m128i b)
{
    const __m128i ones = _mm_set1_epi8(1);
    const __m128i up = _mm_avg_epu8(a, b);
    const __m128i odd = _mm_and_si128(_mm_xor_si128(a, b), ones);
    return _mm_sub_epi8(up, _mm_and_si128(odd, up));
}
#endif

// Columns are computed a band at a time, every row of the band in turn, so that memory is read
// in runs of whole cache lines and pages; every column is still reported as a step. A band
// holds about a megapixel (a few milliseconds of work) and at least 64 columns.
constexpr int kMinBand = 64;
constexpr int kBandPixels = 1 << 20;

void averageBand(const Bitmap& first, const Bitmap& second, Bitmap& result, int x0, int x1)
{
    const int height = result.height();
    std::uint8_t* const resultBits = result.mutableBits();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* firstRow = first.row(y) + std::size_t(x0) * 4;
        std::uint8_t* resultRow = resultBits + result.stride() * std::size_t(y) + std::size_t(x0) * 4;
        const int count = x1 - x0;
        const int covered = y < second.height() ? std::clamp(second.width() - x0, 0, count) : 0;
        averageOverlayRow(firstRow, covered > 0 ? second.row(y) + std::size_t(x0) * 4 : nullptr, covered, resultRow, count);
    }
}

}  // namespace

void averageOverlayRow(const std::uint8_t* firstRow, const std::uint8_t* secondRow, int covered, std::uint8_t* resultRow,
                       int count)
{
    // Pixels of the second picture beyond its width or height read as the invalid colour,
    // which splits into white.
    static constexpr std::uint8_t white[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (covered <= 0)
        secondRow = white;
    int i = 0;
#if defined(__SSE2__)
    for (; i + 4 <= covered; i += 4) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(firstRow + std::size_t(i) * 4));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(secondRow + std::size_t(i) * 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(resultRow + std::size_t(i) * 4), averageTiesToEven(va, vb));
    }
#endif
    for (; i + 2 <= covered; i += 2) {
        std::uint64_t va, vb;
        std::memcpy(&va, firstRow + std::size_t(i) * 4, 8);
        std::memcpy(&vb, secondRow + std::size_t(i) * 4, 8);
        const std::uint64_t vr = averageTiesToEven(va, vb);
        std::memcpy(resultRow + std::size_t(i) * 4, &vr, 8);
    }
    for (; i < count; ++i) {
        std::uint32_t va, vb;
        std::memcpy(&va, firstRow + std::size_t(i) * 4, 4);
        std::memcpy(&vb, i < covered ? secondRow + std::size_t(i) * 4 : white, 4);
        const std::uint32_t r = std::uint32_t(averageTiesToEven(va, vb));
        std::memcpy(resultRow + std::size_t(i) * 4, &r, 4);
    }
}

bool reportOverlayProgress(int width, const StepProgress& progress)
{
    for (int x = 0; x <= width; ++x)
        if (!reportStep(progress, x + 1, std::int64_t(width) + 1))
            return false;
    return true;
}

ColorSplit splitColor(std::int32_t colour)
{
    // floor(colour / 256) of a negative colour is an arithmetic shift
    ColorSplit split;
    split.red = std::int16_t(colour & 255);
    split.green = std::int16_t((colour >> 8) & 255);
    split.blue = std::int16_t((colour >> 16) & 255);
    return split;
}

bool overlayPictures(WorkSurface& first, WorkSurface& second, WorkSurface& result, const StepProgress& progress)
{
    result.setOuterHeight(first.outerHeight());
    result.setOuterWidth(first.outerWidth());
    const int width = toInt16(first.drawableWidth());
    const Bitmap& firstImage = first.image();
    const Bitmap& secondImage = second.image();
    Bitmap& resultImage = result.drawingToOverwrite();

    // The columns 0 to width inclusive: the last one lies outside the first picture, its reads
    // give the invalid colour and its writes are ignored, but it is still a step.
    const int band = std::max(kMinBand, kBandPixels / std::max(1, first.drawableHeight()));
    for (int x0 = 0; x0 <= width; x0 += band) {
        const int x1 = std::min(x0 + band, width + 1);
        toInt16(first.drawableHeight());
        if (x0 < width)
            averageBand(firstImage, secondImage, resultImage, x0, std::min(x1, width));
        for (int x = x0; x < x1; ++x)
            if (!reportStep(progress, x + 1, std::int64_t(width) + 1))
                return false;
    }
    return true;
}

}  // namespace vantorell
