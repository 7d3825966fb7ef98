// Reading Windows bitmap (.bmp) files into top-down, 4-byte padded rows: the layout of a Dib.
// The file is untrusted: every size and offset is checked before it is used, and the answer is
// a status, never an exception. Accepted: the "BM" file header with an info header of 12 (OS/2
// core), 40, 52, 56, 108 or 124 bytes; 1, 4, 8, 16, 24 or 32 bits per pixel; no compression,
// or bit fields equal to the plain layout (5-5-5 at 16 bits, 8-8-8 at 32 bits); bottom-up or
// top-down rows. Anything else a reader may meet (RLE, JPEG/PNG inside, other masks, 2 or 64 bits
// per pixel, OS/2 2.x headers) is Unsupported, which is a different answer from Malformed.
#pragma once

#include "platform/PictureLimits.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace vantorell {

enum class BmpStatus {
    Ok,
    CannotRead,   // the file could not be opened or read
    Malformed,    // not a bitmap file, or a header, size or offset that contradicts the format
    Unsupported,  // a valid bitmap in a form this reader does not decode
    OverLimit,    // dimensions beyond BmpLimits
    Truncated,    // the pixel rows run past the end of the file; the rows present were decoded
};

const char* bmpStatusText(BmpStatus status);

struct BmpLimits {
    std::int32_t maxSide = limits::kMaxPictureSide;
    std::uint64_t maxPixels = limits::kMaxPicturePixels;
};

struct BmpImage {
    std::int32_t width = 0;
    std::int32_t height = 0;                 // always positive: rows are stored top down
    std::int32_t bpp = 0;
    std::int32_t stride = 0;                 // ((width x bpp + 31) / 32) x 4
    bool bottomUpInFile = false;             // the file stored its rows bottom to top
    std::vector<std::uint8_t> colourTable;   // 2^bpp entries (blue, green, red, 0) for 8 bits and fewer
    std::vector<std::uint8_t> pixels;        // stride x height bytes, row 0 = top row
};

// Parses a whole bitmap file held in memory. On Ok the image is complete. On Truncated the
// rows the file holds are decoded and the missing ones are zero (for a bottom-up file those are
// the top rows). On any other status the image is left empty.
BmpStatus readBitmapFile(std::span<const std::uint8_t> bytes, BmpImage& image, const BmpLimits& limits = {});

// Reads a file (refusing one larger than any acceptable bitmap) and parses it.
BmpStatus loadBitmapFile(const std::filesystem::path& file, BmpImage& image, const BmpLimits& limits = {});

}  // namespace vantorell
