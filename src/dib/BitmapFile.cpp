#include "dib/BitmapFile.h"

#include "dib/Checked.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>

namespace vantorell {

namespace {

// BITMAPFILEHEADER: "BM", file size, two reserved words, offset of the pixel rows.
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;   // BITMAPCOREHEADER (OS/2 1.x)
constexpr std::uint32_t kInfoHeaderBytes = 40;   // BITMAPINFOHEADER
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
// The largest header plus colour table plus masks: anything past it must be pixel rows.
constexpr std::uint64_t kMaxHeaderBytes = kFileHeaderBytes + 124 + 12 + 256 * 4;

std::uint16_t u16At(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t u32At(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

bool plainMasks(std::int32_t bpp, std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    if (bpp == 16)
        return red == 0x7C00 && green == 0x03E0 && blue == 0x001F;
    if (bpp == 32)
        return red == 0x00FF0000 && green == 0x0000FF00 && blue == 0x000000FF;
    return false;
}

// What the file header and the info (or OS/2 core) header say.
struct Headers {
    std::uint64_t pixelOffset = 0;
    std::uint32_t headerBytes = 0;
    bool core = false;
    std::int64_t width = 0;
    std::int64_t height = 0;   // made positive; bottomUp keeps the sign's meaning
    bool bottomUp = false;
    std::uint32_t planes = 0;
    std::uint32_t bpp = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t coloursUsed = 0;
};

BmpStatus readHeaders(std::span<const std::uint8_t> bytes, Headers& header)
{
    if (bytes.size() < kFileHeaderBytes + 4 || bytes[0] != 'B' || bytes[1] != 'M')
        return BmpStatus::Malformed;
    header.pixelOffset = u32At(bytes, 10);
    header.headerBytes = u32At(bytes, 14);
    header.core = header.headerBytes == kCoreHeaderBytes;
    const std::uint32_t size = header.headerBytes;
    if (size != kCoreHeaderBytes && size != 40 && size != 52 && size != 56 && size != 108 && size != 124)
        return header.headerBytes < kCoreHeaderBytes ? BmpStatus::Malformed : BmpStatus::Unsupported;
    if (kFileHeaderBytes + std::uint64_t(header.headerBytes) > bytes.size())
        return BmpStatus::Malformed;

    if (header.core) {
        header.width = u16At(bytes, 18);
        header.height = u16At(bytes, 20);
        header.planes = u16At(bytes, 22);
        header.bpp = u16At(bytes, 24);
    } else {
        header.width = static_cast<std::int32_t>(u32At(bytes, 18));
        header.height = static_cast<std::int32_t>(u32At(bytes, 22));
        header.planes = u16At(bytes, 26);
        header.bpp = u16At(bytes, 28);
        header.compression = u32At(bytes, 30);
        header.coloursUsed = u32At(bytes, 46);
    }
    header.bottomUp = header.height > 0;
    header.height = header.height < 0 ? -header.height : header.height;   // INT32_MIN becomes 2^31, refused below
    if (header.width <= 0 || header.height <= 0 || header.width > 0x7FFFFFFF || header.height > 0x7FFFFFFF ||
        header.planes != 1)
        return BmpStatus::Malformed;
    const std::uint32_t bpp = header.bpp;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return bpp == 0 ? BmpStatus::Malformed : BmpStatus::Unsupported;
    return BmpStatus::Ok;
}

// Accepts no compression, or bit fields equal to the plain layout. Bit-field masks follow a
// 40-byte header (headersEnd moves past them); larger headers hold them at the same offsets.
BmpStatus checkCompression(std::span<const std::uint8_t> bytes, const Headers& header, std::uint64_t& headersEnd)
{
    if (header.compression == kBiBitfields) {
        if (header.bpp != 16 && header.bpp != 32)
            return BmpStatus::Malformed;
        if (header.headerBytes == kInfoHeaderBytes)
            headersEnd += 12;
        if (headersEnd > bytes.size())
            return BmpStatus::Malformed;
        if (!plainMasks(std::int32_t(header.bpp), u32At(bytes, 54), u32At(bytes, 58), u32At(bytes, 62)))
            return BmpStatus::Unsupported;
    } else if (header.compression != kBiRgb) {
        return BmpStatus::Unsupported;
    }
    return BmpStatus::Ok;
}

// Colour table: 2^bpp entries unless the header says fewer; 3 bytes an entry after a core
// header, 4 otherwise. It must lie between the headers and the pixel rows; headersEnd moves
// past it.
BmpStatus readColourTable(std::span<const std::uint8_t> bytes, const Headers& header, std::uint64_t& headersEnd,
                          std::vector<std::uint8_t>& table)
{
    if (header.bpp > 8)
        return BmpStatus::Ok;
    const std::uint32_t maxEntries = 1u << header.bpp;
    const std::uint32_t entries = header.coloursUsed == 0 ? maxEntries : header.coloursUsed;
    if (entries > maxEntries)
        return BmpStatus::Malformed;
    const std::uint32_t entryBytes = header.core ? 3 : 4;
    const std::uint64_t tableEnd = headersEnd + std::uint64_t(entries) * entryBytes;
    if (tableEnd > bytes.size() || tableEnd > header.pixelOffset)
        return BmpStatus::Malformed;
    table.assign(std::size_t(maxEntries) * 4, 0);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t at = std::size_t(headersEnd) + std::size_t(i) * entryBytes;
        table[4 * i + 0] = bytes[at + 0];
        table[4 * i + 1] = bytes[at + 1];
        table[4 * i + 2] = bytes[at + 2];
    }
    headersEnd = tableEnd;
    return BmpStatus::Ok;
}

// Copies the rows the file holds into top-down order; answers how many it held.
std::size_t copyRows(std::span<const std::uint8_t> bytes, const Headers& header, BmpImage& image)
{
    const std::size_t stride = std::size_t(image.stride);
    const std::size_t available = bytes.size() - std::size_t(header.pixelOffset);
    const std::size_t rowsPresent = std::min<std::size_t>(available / stride, std::size_t(header.height));
    for (std::size_t fileRow = 0; fileRow < rowsPresent; ++fileRow) {
        const std::size_t row = header.bottomUp ? std::size_t(header.height) - 1 - fileRow : fileRow;
        std::memcpy(image.pixels.data() + row * stride,
                    bytes.data() + std::size_t(header.pixelOffset) + fileRow * stride, stride);
    }
    return rowsPresent;
}

}  // namespace

const char* bmpStatusText(BmpStatus status)
{
    switch (status) {
    case BmpStatus::Ok: return "ok";
    case BmpStatus::CannotRead: return "bitmap file: cannot read the file";
    case BmpStatus::Malformed: return "bitmap file: malformed header, size or offset";
    case BmpStatus::Unsupported: return "bitmap file: unsupported header size, depth or compression";
    case BmpStatus::OverLimit: return "bitmap file: picture too large";
    case BmpStatus::Truncated: return "bitmap file: pixel rows cut short";
    }
    return "bitmap file: unknown status";
}

BmpStatus readBitmapFile(std::span<const std::uint8_t> bytes, BmpImage& image, const BmpLimits& limits)
{
    image = BmpImage{};
    Headers header;
    if (const BmpStatus status = readHeaders(bytes, header); status != BmpStatus::Ok)
        return status;
    std::uint64_t headersEnd = kFileHeaderBytes + header.headerBytes;
    if (const BmpStatus status = checkCompression(bytes, header, headersEnd); status != BmpStatus::Ok)
        return status;

    if (header.width > limits.maxSide || header.height > limits.maxSide ||
        std::uint64_t(header.width * header.height) > limits.maxPixels)
        return BmpStatus::OverLimit;
    const auto stride = checked::rowBytes(header.width, header.bpp);
    const auto total = stride ? checked::imageBytes(*stride, header.height) : std::nullopt;
    if (!total)
        return BmpStatus::OverLimit;

    std::vector<std::uint8_t> table;
    if (const BmpStatus status = readColourTable(bytes, header, headersEnd, table); status != BmpStatus::Ok)
        return status;
    if (header.pixelOffset < headersEnd || header.pixelOffset > bytes.size())
        return BmpStatus::Malformed;

    image.width = static_cast<std::int32_t>(header.width);
    image.height = static_cast<std::int32_t>(header.height);
    image.bpp = static_cast<std::int32_t>(header.bpp);
    image.stride = *stride;
    image.bottomUpInFile = header.bottomUp;
    image.colourTable = std::move(table);
    image.pixels.assign(std::size_t(*total), 0);
    const std::size_t rowsPresent = copyRows(bytes, header, image);
    return rowsPresent == std::size_t(header.height) ? BmpStatus::Ok : BmpStatus::Truncated;
}

BmpStatus loadBitmapFile(const std::filesystem::path& file, BmpImage& image, const BmpLimits& limits)
{
    image = BmpImage{};
    std::error_code error;
    const std::uintmax_t length = std::filesystem::file_size(file, error);
    if (error)
        return BmpStatus::CannotRead;
    // No acceptable bitmap is longer than its largest headers plus its largest pixel rows.
    const std::uint64_t longest = kMaxHeaderBytes + limits.maxPixels * 4 + std::uint64_t(limits.maxSide) * 4;
    if (length > longest)
        return BmpStatus::OverLimit;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return BmpStatus::CannotRead;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        return BmpStatus::CannotRead;
    return readBitmapFile(bytes, image, limits);
}

std::uint64_t StoredBitmapHeaders::pixelBytes() const
{
    const bool uncompressed = info.compression == kBiRgb || info.compression == kBiBitfields;
    if (info.sizeImage != 0 || !uncompressed)
        return info.sizeImage;
    if (info.width <= 0 || info.bitCount <= 0)
        return 0;
    const std::uint64_t rowBytes = (std::uint64_t(info.width) * std::uint64_t(info.bitCount) + 31) / 32 * 4;
    const std::uint64_t rows = info.height < 0 ? std::uint64_t(-std::int64_t(info.height)) : std::uint64_t(info.height);
    if (rows != 0 && rowBytes > std::numeric_limits<std::uint64_t>::max() / rows)
        return std::numeric_limits<std::uint64_t>::max();
    return rowBytes * rows;
}

StoredBitmapStatus readStoredBitmapHeaders(std::span<const std::uint8_t> head, std::uint64_t fileBytes,
                                           StoredBitmapHeaders& headers)
{
    if (head.size() < 2 || u16At(head, 0) != kBitmapFileType)
        return StoredBitmapStatus::NotBitmap;
    if (head.size() < kStoredBitmapHeadersSize || fileBytes < kStoredBitmapHeadersSize)
        return StoredBitmapStatus::Truncated;
    headers.file = {u16At(head, 0), u32At(head, 2), u16At(head, 6), u16At(head, 8), u32At(head, 10)};
    headers.info = *readBitmapInfoHeader(head.subspan(kBitmapFileHeaderSize));
    headers.fileBytes = fileBytes;
    return StoredBitmapStatus::Ok;
}

std::span<const std::uint8_t> storedBitmapInfo(std::span<const std::uint8_t> file, const StoredBitmapHeaders& headers)
{
    const std::uint64_t end = headers.file.offBits;
    if (end < kBitmapFileHeaderSize || end > file.size())
        return {};
    return file.subspan(kBitmapFileHeaderSize, std::size_t(end) - kBitmapFileHeaderSize);
}

std::span<const std::uint8_t> storedPixels(std::span<const std::uint8_t> file, const StoredBitmapHeaders& headers)
{
    const std::uint64_t offset = headers.file.offBits;
    const std::uint64_t bytes = headers.pixelBytes();
    if (offset > file.size() || bytes > file.size() - offset)
        return {};
    return file.subspan(std::size_t(offset), std::size_t(bytes));
}

std::optional<BitmapInfoHeader> readBitmapInfoHeader(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kBitmapInfoHeaderSize)
        return std::nullopt;
    BitmapInfoHeader info;
    info.size = std::int32_t(u32At(bytes, 0));
    info.width = std::int32_t(u32At(bytes, 4));
    info.height = std::int32_t(u32At(bytes, 8));
    info.planes = std::int16_t(u16At(bytes, 12));
    info.bitCount = std::int16_t(u16At(bytes, 14));
    info.compression = u32At(bytes, 16);
    info.sizeImage = u32At(bytes, 20);
    info.xPelsPerMeter = std::int32_t(u32At(bytes, 24));
    info.yPelsPerMeter = std::int32_t(u32At(bytes, 28));
    info.clrUsed = u32At(bytes, 32);
    info.clrImportant = u32At(bytes, 36);
    return info;
}

void writeBitmapFileHeader(const BitmapFileHeader& header, std::span<std::uint8_t, kBitmapFileHeaderSize> out)
{
    auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
    };
    put(0, header.type, 2);
    put(2, header.size, 4);
    put(6, header.reserved1, 2);
    put(8, header.reserved2, 2);
    put(10, header.offBits, 4);
}

}  // namespace vantorell
