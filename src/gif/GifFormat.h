// Constants of the GIF87a/GIF89a file format, the answers of our GIF reader and the limits
// that bound what a file can make us allocate. Shared by the writer, the reader and the
// LZW coders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vantorell {

// Block introducers and labels (GIF89a sections 17-26).
inline constexpr std::uint8_t kGifExtensionIntroducer = 0x21;
inline constexpr std::uint8_t kGifImageSeparator = 0x2C;
inline constexpr std::uint8_t kGifTrailer = 0x3B;
inline constexpr std::uint8_t kGifGraphicControlLabel = 0xF9;
inline constexpr std::uint8_t kGifApplicationLabel = 0xFF;
inline constexpr std::uint8_t kGifCommentLabel = 0xFE;

// LZW codes are at most 12 bits wide (GIF89a appendix F), so the table has 4096 entries
// and no string can be longer than 4096 pixels.
inline constexpr int kLzwMaxBits = 12;
inline constexpr int kLzwMaxCodes = 4096;
// Our writer fills sub-blocks with at most 254 data bytes (the format allows 255).
inline constexpr std::size_t kGifWriterSubBlock = 254;

// Why a load (or one image's decoding) ended. Each answer names one rule of the reader.
enum class GifError {
    None,               // the whole file was read
    NoFile,             // the file is missing, unreadable or empty
    BadHeader,          // not "GIF87a" or "GIF89a"
    TruncatedInput,     // the data end inside a descriptor, a palette, an extension or a sub-block chain
    BadExtension,       // a loop extension whose data are too short to hold a loop count
    FrameTooLarge,      // a frame wider or taller than DecodeLimits::maxFrameSide
    OverLimit,          // more frames, more pixels in total or a bigger file than DecodeLimits allows
    NoMemory,           // a frame surface within the limits could not be allocated
    BadLiteralWidth,    // an LZW minimum code size of 0 or above 8 (that image stays blank)
    BadLzwCode,         // a code beyond the next free code (that image keeps what was decoded)
    LzwDataEnded,       // the image data ran out before the end code and the last pixel
};

std::string_view gifErrorName(GifError error);

// Bounds for everything a GIF file can make the reader allocate. The frame side follows the
// 16-bit signed sizes of the document (and every picture in this program); the pixel budget
// counts every frame's pixels, at least one per frame, so a file of many tiny frames is
// bounded too. Tests and fuzzers lower these.
struct DecodeLimits {
    int maxFrameSide = 32767;
    std::uint64_t maxFramePixels = 1ull << 28;    // 256 Mi pixels: 16384 x 16384
    std::uint64_t maxTotalPixels = 1ull << 30;    // 1 Gi pixels over all frames
    int maxFrames = 32767;                         // FramesCount is a 16-bit signed number
    std::uint64_t maxFileBytes = 1ull << 30;      // LoadFromFile reads the whole file first
};

// The order in which a frame's rows are stored: top to bottom, or the four interlace passes
// of GIF89a appendix E (rows 0, 8, 16, ...; 4, 12, ...; 2, 6, ...; 1, 3, 5, ...).
std::vector<int> gifRowOrder(int height, bool interlaced);

// The smallest n >= 1 with 2^n >= entries (1 for 0, 1 or 2 entries; 8 for 129..256).
int gifPaletteBits(int entries);

}  // namespace vantorell
