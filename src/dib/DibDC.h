// The drawing context of a surface: a non-owning view of pixel memory with its layout and
// colour table, and the raster operations the imaging code needs on it (block copy, the
// colour-on-colour stretch with three raster operations, solid fill). These stand in for the
// platform's device contexts; they work directly on the pixel memory.
#pragma once

#include "platform/Bitmap.h"

#include <cstddef>
#include <cstdint>

namespace vantorell {

// How a drawn source pixel combines with the destination's stored bits. The values are the
// platform's raster operation codes; any other value is an unknown operation and draws nothing.
enum class RasterOp : std::int32_t {
    Copy = 0x00CC0020,   // destination = source
    And = 0x008800C6,    // destination = source AND destination
    Or = 0x00EE0086,     // destination = source OR destination
};

struct DibDC {
    std::uint8_t* bits = nullptr;         // row 0 is the top row
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bpp = 0;                 // 1, 4, 8, 16, 24 or 32
    std::size_t stride = 0;               // bytes from one row to the next
    const std::uint8_t* colourTable = nullptr;  // blue, green, red, 0 per entry (8 bits and fewer)
    std::int32_t colourCount = 0;
    bool writable = true;                 // false for views of read-only memory (sources only)

    bool empty() const { return bits == nullptr || width <= 0 || height <= 0; }

    // A view of a 32-bit bitmap (rows of 4 x width bytes). Drawing into it writes the bitmap.
    static DibDC ofBitmap(Bitmap& bitmap);
    // A read-only view of a 32-bit bitmap: usable as a source only.
    static DibDC ofBitmap(const Bitmap& bitmap);
};

// Colour-on-colour stretch: destination pixel (x + i, y + j), 0 <= i < width, 0 <= j < height,
// takes source pixel (xSrc + floor(i * srcWidth / width), ySrc + floor(j * srcHeight / height)):
// a shrink drops rows and columns, an enlargement repeats them, nothing is averaged. Pixels
// outside either surface are left alone. Between different depths the source colour is
// converted (colour table lookups; the nearest table entry for an indexed destination). Returns
// 1 when drawn, 0 for an empty or read-only destination, an empty source, a width or height
// below 1, or an unknown raster operation.
std::int32_t stretchBlt(const DibDC& dst, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                        const DibDC& src, std::int32_t xSrc, std::int32_t ySrc, std::int32_t srcWidth,
                        std::int32_t srcHeight, RasterOp rop);

// Block copy: a stretch of equal sizes.
std::int32_t bitBlt(const DibDC& dst, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                    const DibDC& src, std::int32_t xSrc, std::int32_t ySrc, RasterOp rop);

// Solid fill of a rectangle (clipped to the surface) with colour 0x00BBGGRR; an indexed surface
// gets the nearest colour-table entry. Returns 1 when drawn, else 0.
std::int32_t fillRect(const DibDC& dst, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                      std::int32_t colour);

// Resolves a colour that may be a system colour number (0x80000000 | index) into 0x00BBGGRR,
// using the classic desktop scheme; a plain colour keeps its low 24 bits.
std::int32_t resolveColour(std::int32_t colour);

}  // namespace vantorell
