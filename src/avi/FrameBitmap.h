// FrameBitmap: one bitmap file (BMP, "BM") read for the AVI writer: its information header and
// colour table as the stream format, and its pixel bytes as they are stored in the file.
//
// A frame file is untrusted input: dib/BitmapFile decodes its headers, and every size and
// offset is checked against the file before anything is allocated, so the memory taken never
// exceeds what the file holds.
#pragma once

#include "dib/BitmapFile.h"
#include "platform/BitmapInfoHeader.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vantorell {

class UiPort;

// Why a file was not taken. Every one of them gives the "not a supported bitmap format" box.
enum class FrameBitmapError {
    None,
    NotBitmap,            // the first two bytes are not "BM"
    TruncatedHeader,      // shorter than the 14 + 40 header bytes
    UnsupportedHeader,    // an information header size below 40 (OS/2 core headers)
    BadDimensions,        // width <= 0, height 0 or INT_MIN, or beyond the picture limits
    BadBitCount,          // not 1, 4, 8, 16, 24 or 32 bits per pixel
    BadOffset,            // pixel data inside the headers or beyond the end of the file
    BadImageSize,         // no pixel bytes, or more than the file holds after the offset
};
const char* frameBitmapErrorText(FrameBitmapError error);

class FrameBitmap {
public:
    // Messages go to the UI port (none: silent), untitled boxes carry the application title.
    explicit FrameBitmap(UiPort* ui = nullptr, std::string applicationTitle = "Vantorell");

    bool createFromFile(const std::filesystem::path& fileName);
    // The header checks of createFromFile alone, without reading the pixels or showing a message.
    static FrameBitmapError checkFile(const std::filesystem::path& fileName);
    // The same checks over a whole file in memory (the fuzz target and tests); shows no message.
    bool createFromBytes(std::span<const std::uint8_t> file);
    // A packed DIB: a 40-byte information header followed by the pixels. Only bitmaps of more
    // than 15 bits per pixel with an image size that the block holds are taken.
    bool createFromPackedDib(std::span<const std::uint8_t> packedDib);
    // Writes file header, bitmap info and pixels; false when the file cannot be written.
    bool writeToFile(const std::filesystem::path& fileName) const;

    std::int32_t width() const { return m_info.width; }
    std::int32_t height() const { return m_info.height; }
    std::int32_t bitCount() const { return m_info.bitCount; }
    std::int32_t planes() const { return m_info.planes; }
    std::uint32_t compression() const { return m_info.compression; }
    std::int32_t infoHeaderSize() const { return m_info.size; }
    // The pixel byte count: the header's image size, or for an uncompressed header that gives
    // 0 (as BI_RGB allows) the rows' size.
    std::uint32_t imageSize() const { return m_info.sizeImage; }
    std::uint32_t coloursUsed() const { return m_info.clrUsed; }
    std::uint32_t importantColours() const { return m_info.clrImportant; }
    std::int32_t horizontalPixelsPerMeter() const { return m_info.xPelsPerMeter; }
    std::int32_t verticalPixelsPerMeter() const { return m_info.yPelsPerMeter; }
    std::uint16_t fileType() const { return m_file.type; }
    std::uint32_t fileSize() const { return m_file.size; }       // as the file header records it
    std::uint32_t pixelOffset() const { return m_file.offBits; }

    // The pixel bytes as stored, and the information header with its colour table.
    std::span<const std::uint8_t> bits() const { return m_bits; }
    std::span<const std::uint8_t> bitmapInfo() const { return m_bitmapInfo; }
    const BitmapInfoHeader& infoHeader() const { return m_info; }
    const BitmapFileHeader& fileHeader() const { return m_file; }

    FrameBitmapError lastError() const { return m_lastError; }
    void clear();

private:
    struct Layout {
        StoredBitmapHeaders headers;   // info.sizeImage is the pixel byte count
        std::size_t infoBytes = 0;     // offset - 14
        std::size_t pixelBytes = 0;
    };
    static FrameBitmapError parseHeaders(std::span<const std::uint8_t> head, std::uint64_t fileSize, Layout& layout);
    static FrameBitmapError accept(Layout& layout);
    bool fail(FrameBitmapError error, const std::filesystem::path& fileName);

    UiPort* m_ui;
    std::string m_title;
    std::vector<std::uint8_t> m_bits;
    std::vector<std::uint8_t> m_bitmapInfo;
    std::vector<std::uint8_t> m_spareBits;   // the next frame is read here, then swapped in
    BitmapInfoHeader m_info;
    BitmapFileHeader m_file;
    FrameBitmapError m_lastError = FrameBitmapError::None;
};

}  // namespace vantorell
