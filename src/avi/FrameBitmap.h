// FrameBitmap: one bitmap file (BMP, "BM") read for the AVI writer: its information header and
// colour table as the stream format, and its pixel bytes as they are stored in the file.
//
// A frame file is untrusted input: every size and offset is checked against the file before
// anything is allocated, so the memory taken never exceeds what the file holds.
#pragma once

#include "platform/BitmapInfoHeader.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vantorell {

class UiPort;

// BITMAPFILEHEADER, 14 bytes.
struct BitmapFileHeader {
    std::uint16_t type = 0;          // 19778, "BM"
    std::uint32_t size = 0;
    std::uint16_t reserved1 = 0;
    std::uint16_t reserved2 = 0;
    std::uint32_t offBits = 0;       // offset of the pixel data
};
inline constexpr std::uint16_t kBitmapFileType = 19778;
inline constexpr std::size_t kBitmapFileHeaderSize = 14;

// Why a file was not taken. Every one of them gives the "not a supported bitmap format" box.
enum class BmpError {
    None,
    NotBitmap,            // the first two bytes are not "BM"
    TruncatedHeader,      // shorter than the 14 + 40 header bytes
    UnsupportedHeader,    // an information header size below 40 (OS/2 core headers)
    BadDimensions,        // width <= 0, height 0 or INT_MIN, or beyond the picture limits
    BadBitCount,          // not 1, 4, 8, 16, 24 or 32 bits per pixel
    BadOffset,            // pixel data inside the headers or beyond the end of the file
    BadImageSize,         // no pixel bytes, or more than the file holds after the offset
};
const char* bmpErrorText(BmpError error);

class FrameBitmap {
public:
    // Messages go to the UI port (none: silent), untitled boxes carry the application title.
    explicit FrameBitmap(UiPort* ui = nullptr, std::string applicationTitle = "Vantorell");

    bool CreateFromFile(const std::filesystem::path& fileName);
    // The header checks of CreateFromFile alone, without reading the pixels or showing a message.
    static BmpError CheckFile(const std::filesystem::path& fileName);
    // The same parsing over bytes in memory (the fuzz target and tests); shows no message.
    bool CreateFromBytes(std::span<const std::uint8_t> file);
    // A packed DIB: a 40-byte information header followed by the pixels. Only bitmaps of more
    // than 15 bits per pixel with an image size are taken; size bounds what may be read.
    bool CreateFromPackedDIBPointer(const std::uint8_t* pDIB, std::size_t size);
    // Writes file header, bitmap info and pixels; false when the file cannot be written.
    bool WriteToFile(const std::filesystem::path& fileName) const;

    std::int32_t BitCount() const { return m_info.bitCount; }
    std::int32_t Height() const { return m_info.height; }
    std::int32_t Width() const { return m_info.width; }
    std::uint32_t Compression() const { return m_info.compression; }
    std::int32_t SizeInfoHeader() const { return m_info.size; }
    // The pixel byte count: the header's image size, or for an uncompressed header that gives
    // 0 (as BI_RGB allows) the rows' size.
    std::uint32_t SizeImage() const { return m_info.sizeImage; }
    std::int32_t Planes() const { return m_info.planes; }
    std::uint32_t ClrImportant() const { return m_info.clrImportant; }
    std::uint32_t ClrUsed() const { return m_info.clrUsed; }
    std::int32_t XPPM() const { return m_info.xPelsPerMeter; }
    std::int32_t YPPM() const { return m_info.yPelsPerMeter; }
    std::uint16_t FileType() const { return m_file.type; }
    std::uint32_t SizeFileHeader() const { return m_file.size; }
    std::uint32_t BitOffset() const { return m_file.offBits; }

    const std::uint8_t* PointerToBits() const { return m_bits.data(); }
    const std::uint8_t* PointerToBitmapInfo() const { return m_bitmapInfo.data(); }
    std::size_t SizeBitmapInfo() const { return m_bitmapInfo.size(); }
    std::span<const std::uint8_t> bits() const { return m_bits; }
    std::span<const std::uint8_t> bitmapInfo() const { return m_bitmapInfo; }
    const BitmapInfoHeader& infoHeader() const { return m_info; }

    BmpError lastError() const { return m_lastError; }
    void Destroy();

private:
    struct Layout {
        BitmapFileHeader file;
        BitmapInfoHeader info;
        std::size_t infoBytes = 0;   // offset - 14
        std::size_t pixelBytes = 0;
    };
    static BmpError parseHeaders(std::span<const std::uint8_t> first, std::uint64_t fileSize, Layout& layout);
    bool fail(BmpError error, const std::filesystem::path& fileName);

    UiPort* m_ui;
    std::string m_title;
    std::vector<std::uint8_t> m_bits;
    std::vector<std::uint8_t> m_bitmapInfo;
    std::vector<std::uint8_t> m_spareBits;   // the next frame is read here, then swapped in
    BitmapInfoHeader m_info;
    BitmapFileHeader m_file;
    BmpError m_lastError = BmpError::None;
};

// Little-endian encoding of the two headers, as they are stored in a file.
void putBitmapInfoHeader(std::uint8_t* out, const BitmapInfoHeader& info);
BitmapInfoHeader getBitmapInfoHeader(const std::uint8_t* in);

}  // namespace vantorell
