// Reading Windows bitmap (.bmp) files into top-down, 4-byte padded rows: the layout of a Dib.
// The file is untrusted: every size and offset is checked before it is used, and the answer is
// a status, never an exception. Accepted: the "BM" file header with an info header of 12 (OS/2
// core), 40, 52, 56, 108 or 124 bytes; 1, 4, 8, 16, 24 or 32 bits per pixel; no compression,
// or bit fields equal to the plain layout (5-5-5 at 16 bits, 8-8-8 at 32 bits); bottom-up or
// top-down rows. Anything else a reader may meet (RLE, JPEG/PNG inside, other masks, 2 or 64 bits
// per pixel, OS/2 2.x headers) is Unsupported, which is a different answer from Malformed.
#pragma once

#include "platform/BitmapInfoHeader.h"
#include "platform/PictureLimits.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
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

// ---- A bitmap file's parts as they are stored ----------------------------------------------
// For readers that keep a file's bytes as they are (the AVI writer's frames keep the
// information header, colour table and pixel bytes unchanged): the headers decoded field by
// field, and where the parts lie. Nothing here judges the values; each reader has its own rules.

// BITMAPFILEHEADER: the 14 bytes that open a bitmap file.
struct BitmapFileHeader {
    std::uint16_t type = 0;          // kBitmapFileType, "BM"
    std::uint32_t size = 0;          // the file's size, as its writer recorded it
    std::uint16_t reserved1 = 0;
    std::uint16_t reserved2 = 0;
    std::uint32_t offBits = 0;       // offset of the pixel bytes
};
inline constexpr std::uint16_t kBitmapFileType = 19778;
inline constexpr std::size_t kBitmapFileHeaderSize = 14;
// A file header and a 40-byte information header: the shortest stored bitmap.
inline constexpr std::size_t kStoredBitmapHeadersSize = kBitmapFileHeaderSize + kBitmapInfoHeaderSize;

struct StoredBitmapHeaders {
    BitmapFileHeader file;
    BitmapInfoHeader info;           // the 40 bytes after the file header, whatever info.size says
    std::uint64_t fileBytes = 0;     // the whole file's size

    // The pixel bytes the headers describe: the image size, or for uncompressed rows (BI_RGB,
    // BI_BITFIELDS) with image size 0 the size of the rows padded to 4 bytes; at most
    // UINT64_MAX, and 0 when the width or the bit count is not above 0.
    std::uint64_t pixelBytes() const;
};

enum class StoredBitmapStatus {
    Ok,
    NotBitmap,   // the file does not start with "BM"
    Truncated,   // the file, or `head`, ends before kStoredBitmapHeadersSize bytes
};

// Decodes the headers from `head`, the first bytes of a file of `fileBytes` bytes (bytes past
// the headers are not read).
StoredBitmapStatus readStoredBitmapHeaders(std::span<const std::uint8_t> head, std::uint64_t fileBytes,
                                           StoredBitmapHeaders& headers);

// The parts of a stored bitmap held in memory, as its headers place them; empty when a part does
// not lie wholly within `file`. The bitmap info is the information header with what follows it
// up to the pixel offset (bit masks, colour table); the pixels are pixelBytes() bytes from there.
std::span<const std::uint8_t> storedBitmapInfo(std::span<const std::uint8_t> file, const StoredBitmapHeaders& headers);
std::span<const std::uint8_t> storedPixels(std::span<const std::uint8_t> file, const StoredBitmapHeaders& headers);

// A BITMAPINFOHEADER decoded from the first 40 bytes of `bytes` (a packed DIB starts with one);
// nullopt when there are fewer.
std::optional<BitmapInfoHeader> readBitmapInfoHeader(std::span<const std::uint8_t> bytes);

// The 14 bytes of a file header, as a file stores them.
void writeBitmapFileHeader(const BitmapFileHeader& header, std::span<std::uint8_t, kBitmapFileHeaderSize> out);

}  // namespace vantorell
