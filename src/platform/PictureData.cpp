#include "platform/PictureData.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace vantorell {

namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t le16(Bytes b, std::size_t at) { return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8; }
std::uint32_t le32(Bytes b, std::size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }
std::uint32_t be32(Bytes b, std::size_t at)
{
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

bool startsWith(Bytes b, std::string_view magic, std::size_t at = 0)
{
    return b.size() >= at + magic.size() && std::memcmp(b.data() + at, magic.data(), magic.size()) == 0;
}

enum class Bmp : std::uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

// An RLE stream ends with its end-of-bitmap code or with its last row's end-of-line code.
bool rleEndsEarly(Bytes b, std::size_t pos, std::int64_t rows, bool fourBits)
{
    std::int64_t row = 0;
    while (row < rows) {
        if (pos + 2 > b.size())
            return true;
        const std::uint8_t count = b[pos], code = b[pos + 1];
        pos += 2;
        if (count != 0)
            continue;   // a run of `count` pixels
        if (code == 0) {
            ++row;
        } else if (code == 1) {
            return false;
        } else if (code == 2) {
            if (pos + 2 > b.size())
                return true;
            row += b[pos + 1];
            pos += 2;
        } else {        // `code` pixels stored as they are, padded to a 16-bit boundary
            const std::size_t stored = fourBits ? (code + 1u) / 2 : code;
            pos += (stored + 1) & ~std::size_t(1);
            if (pos > b.size())
                return true;
        }
    }
    return false;
}

bool bmpEndsEarly(Bytes b)
{
    if (b.size() < 18)
        return true;
    const std::uint64_t offset = le32(b, 10);
    const std::uint32_t headerSize = le32(b, 14);
    if (headerSize != 12 && (headerSize < 40 || headerSize > 124))
        return false;   // not a header we know: the decoder judges it
    if (b.size() < 14 + headerSize)
        return true;
    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = 0;
    if (headerSize == 12) {
        width = le16(b, 18);
        height = le16(b, 20);
        bits = le16(b, 24);
    } else {
        width = std::int32_t(le32(b, 18));
        height = std::int32_t(le32(b, 22));
        bits = le16(b, 28);
        compression = le32(b, 30);
    }
    height = height < 0 ? -height : height;
    if (width <= 0 || height <= 0 || bits == 0 || bits > 32 || offset < 14 + headerSize)
        return false;
    if (offset > b.size())
        return true;
    switch (Bmp(compression)) {
    case Bmp::Rgb:
    case Bmp::BitFields:
    case Bmp::AlphaBitFields: {
        const std::uint64_t rowBytes = (std::uint64_t(width) * bits + 31) / 32 * 4;
        const std::uint64_t lastRow = (std::uint64_t(width) * bits + 7) / 8;   // its padding may be left off
        return b.size() - offset < rowBytes * std::uint64_t(height - 1) + lastRow;
    }
    case Bmp::Rle8:
    case Bmp::Rle4:
        return rleEndsEarly(b, std::size_t(offset), height, compression == std::uint32_t(Bmp::Rle4));
    }
    return false;
}

// Skips a chain of GIF sub-blocks from `pos`; false when the data ends inside it.
bool skipGifSubBlocks(Bytes b, std::size_t& pos)
{
    for (;;) {
        if (pos >= b.size())
            return false;
        const std::size_t length = b[pos++];
        if (length == 0)
            return true;
        pos += length;
    }
}

// The first frame (the one that is decoded) must be whole: every block up to its data's end.
bool gifEndsEarly(Bytes b)
{
    std::size_t pos = 13;
    if (b.size() < pos)
        return true;
    if (b[10] & 0x80)
        pos += 3u << ((b[10] & 7) + 1);
    for (;;) {
        if (pos >= b.size())
            return true;
        const std::uint8_t block = b[pos++];
        if (block == 0x21) {          // an extension: its label, then sub-blocks
            ++pos;
            if (!skipGifSubBlocks(b, pos))
                return true;
        } else if (block == 0x2C) {   // the image: descriptor, colour table, code size, data
            if (pos + 9 > b.size())
                return true;
            const std::uint8_t flags = b[pos + 8];
            pos += 9;
            if (flags & 0x80)
                pos += 3u << ((flags & 7) + 1);
            ++pos;                    // LZW minimum code size
            return !skipGifSubBlocks(b, pos);
        } else {
            return false;             // a trailer before any image, or not a block: the decoder judges
        }
    }
}

// Every chunk whole up to IEND, and enough compressed data for the rows: deflate stores at most
// 1032 bytes in one byte, so fewer bytes of IDAT than that allows cannot hold the picture.
bool pngEndsEarly(Bytes b)
{
    std::size_t pos = 8;
    std::uint64_t width = 0, height = 0, rowBits = 0, compressed = 0;
    for (;;) {
        if (pos + 12 > b.size())
            return true;
        const std::uint64_t length = be32(b, pos);
        if (length > b.size() - pos - 12)
            return true;
        const std::string_view type(reinterpret_cast<const char*>(b.data() + pos + 4), 4);
        if (type == "IHDR" && length >= 13) {
            width = be32(b, pos + 8);
            height = be32(b, pos + 12);
            const std::uint64_t depth = b[pos + 16];
            static constexpr int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
            const std::uint8_t colourType = b[pos + 17];
            rowBits = colourType < 7 ? width * depth * std::uint64_t(kChannels[colourType]) : 0;
        } else if (type == "IDAT") {
            compressed += length;
        } else if (type == "IEND") {
            break;
        }
        pos += 12 + std::size_t(length);
    }
    if (width > (1u << 20) || height > (1u << 20))
        return false;   // beyond every limit: refused as too large
    const std::uint64_t raw = ((rowBits + 7) / 8 + 1) * height;
    return compressed < raw / 1032;
}

// RIFF's size field counts every byte after it.
bool webpEndsEarly(Bytes b) { return b.size() - 8 < le32(b, 4); }

}  // namespace

bool pictureDataEndsEarly(std::span<const std::uint8_t> bytes)
{
    if (startsWith(bytes, "BM"))
        return bmpEndsEarly(bytes);
    if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a"))
        return gifEndsEarly(bytes);
    if (startsWith(bytes, "\x89PNG\r\n\x1a\n"))
        return pngEndsEarly(bytes);
    if (startsWith(bytes, "RIFF") && startsWith(bytes, "WEBP", 8))
        return webpEndsEarly(bytes);
    return false;
}

std::optional<AnimationLayout> webpAnimationLayout(std::span<const std::uint8_t> bytes)
{
    if (!startsWith(bytes, "RIFF") || !startsWith(bytes, "WEBP", 8) || !startsWith(bytes, "VP8X", 12) ||
        bytes.size() < 30)
        return std::nullopt;
    constexpr std::uint8_t kAnimationFlag = 0x02;
    if ((bytes[20] & kAnimationFlag) == 0)
        return std::nullopt;
    const auto le24 = [&](std::size_t at) { return le16(bytes, at) | std::uint32_t(bytes[at + 2]) << 16; };
    AnimationLayout layout{le24(24) + 1, le24(27) + 1, 0};
    // Chunks: a four-letter name, a 32-bit size, the payload padded to an even length.
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        if (startsWith(bytes, "ANMF", at))
            ++layout.frames;
        const std::uint64_t next = at + 8 + std::uint64_t(le32(bytes, at + 4)) + (le32(bytes, at + 4) & 1);
        if (next > bytes.size())
            break;
        at = std::size_t(next);
    }
    return layout;
}

bool isTopDownBmp(std::span<const std::uint8_t> bytes)
{
    return startsWith(bytes, "BM") && bytes.size() >= 26 && le32(bytes, 14) >= 40 &&
           std::int32_t(le32(bytes, 22)) < 0;
}

}  // namespace vantorell
