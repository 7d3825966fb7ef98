// BITMAPINFOHEADER: the 40-byte information header of a device-independent bitmap, shared by
// the morph engine's pixel buffers and the bitmap files of the AVI writer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantorell {

// Field by field in file order (little-endian in a file).
struct BitmapInfoHeader {
    std::int32_t size = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;          // negative: rows stored top to bottom
    std::int16_t planes = 0;
    std::int16_t bitCount = 0;
    std::uint32_t compression = 0;    // 0 BI_RGB, 1 BI_RLE8, 2 BI_RLE4, 3 BI_BITFIELDS
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};
inline constexpr std::size_t kBitmapInfoHeaderSize = 40;

}  // namespace vantorell
