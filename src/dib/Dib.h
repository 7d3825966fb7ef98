// Dib: an in-memory device-independent bitmap with one contiguous block of pixel memory that
// the dithering and LZW loops address directly, and a drawing context (DibDC) for block copies,
// stretches and fills. Layout: rows top to bottom, each padded to a multiple of 4 bytes;
// pixel (x, y) starts at bits() + y * bytesPerScanline() + x * BPP() / 8; 32 bits per pixel
// is blue, green, red, reserved; 24 is blue, green, red; 8, 4 and 1 are colour-table indexes
// with the leftmost pixel in the high bits of a byte. 1, 4 and 8 bits per pixel carry a colour
// table of 2, 16 or 256 entries (blue, green, red, 0), all black until SetPalette.
#pragma once

#include "dib/DibDC.h"
#include "platform/Picture.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace vantorell {

// How Resize treats the old image.
enum class ResizeMode {
    Crop,      // the old image stays at the top-left corner, cut at the new size, zero pixels elsewhere
    Stretch,   // the old image is scaled to the new size (rows and columns dropped or repeated)
};

class Dib {
public:
    Dib() = default;
    ~Dib() = default;
    Dib(const Dib&) = delete;             // copies go through CloneTo
    Dib& operator=(const Dib&) = delete;
    Dib(Dib&&) noexcept = default;
    Dib& operator=(Dib&&) noexcept = default;

    // Destroys the current image, then makes a surface of all-zero pixels. False (and an empty
    // surface) for a size or depth that cannot be made: width or height below 1, a depth other
    // than 1, 4, 8, 16, 24, 32, or memory that cannot be had. A row of more than 2147483616
    // bits or a Size beyond 2^31 - 1 bytes raises RuntimeError(errnum::Overflow).
    bool create(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel);
    // Copies a decoded picture (always 32 bits per pixel here) into a new 32-bit surface and
    // answers its depth, 32; 0 for an empty picture, leaving the surface as it was, and 0 (with
    // an empty surface) when the surface cannot be made.
    std::uint8_t createFromPicture(const Picture& picture, bool force32Bits);
    // Loads a bitmap file (see dib/BitmapFile.h for what is accepted) and answers its depth,
    // 0 for an empty, unreadable, malformed, unsupported or truncated file. Rows are stored top
    // down like every other surface.
    std::uint8_t createFromBitmapFile(const std::filesystem::path& file);
    // copy becomes a copy of this surface: size, depth, colour table and pixels.
    void cloneTo(Dib& copy) const;
    void destroy();

    // Copies the width x height rectangle at (sourceX, sourceY) of source to (0, 0) of this
    // surface; a width or height below 1 means the surface's own. Answers 1 when copied, 0 when
    // empty.
    std::int32_t copyFrom(const DibDC& source, std::int32_t sourceX, std::int32_t sourceY, std::int32_t width = 0,
                          std::int32_t height = 0);
    // Stretches (xSrc, ySrc, srcWidth, srcHeight) of this surface onto (x, y, width, height) of
    // target, colour on colour (see stretchBlt), combined by rop; a source width or height below
    // 1 means the surface's own. Answers 1 when drawn, else 0.
    std::int32_t stretch(const DibDC& target, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                         std::int32_t xSrc = 0, std::int32_t ySrc = 0, std::int32_t srcWidth = 0,
                         std::int32_t srcHeight = 0, RasterOp rop = RasterOp::Copy) const;
    // Fills the whole surface with colour (0x00BBGGRR, or a system colour number).
    void clear(std::int32_t colour = 0);

    // Sets colour-table entries 0 .. entries.size() / 4 - 1 (blue, green, red, reserved per
    // entry; the reserved byte is stored as 0); entries beyond the table are ignored.
    void setPalette(const std::vector<std::uint8_t>& entries);
    void setPalette(const std::uint8_t* entries, std::size_t bytes);
    // Fills entries with the whole colour table, 2^BPP x 4 bytes. Leaves it alone for an empty
    // surface or one of more than 8 bits per pixel.
    void getPalette(std::vector<std::uint8_t>& entries) const;

    // Re-creates the surface at the new size keeping its depth and colour table; mode says
    // what becomes of the old image.
    void resize(std::int32_t width, std::int32_t height, ResizeMode mode);
    // The rectangle that fits this image into targetWidth x targetHeight keeping its aspect
    // ratio (scaled when the image is larger or enlarge is asked for, else at its own size),
    // centred. Outputs are left untouched on an empty surface.
    void getBestFitInfo(std::int32_t targetWidth, std::int32_t targetHeight, std::int32_t& fitX, std::int32_t& fitY,
                        std::int32_t& fitWidth, std::int32_t& fitHeight, bool enlarge = false) const;

    // Read-only properties.
    DibDC dc();                            // drawing context over the pixel memory (empty when empty)
    DibDC dc() const;                      // the same, usable as a source only
    std::uint8_t* bits() { return m_bits.get(); }
    const std::uint8_t* bits() const { return m_bits.get(); }
    std::int32_t width() const { return m_width; }
    std::int32_t height() const { return m_height; }
    std::int32_t BPP() const { return m_bpp; }
    std::int32_t bytesPerScanline() const { return m_bytesPerScanline; }
    std::int32_t size() const { return m_size; }
    bool empty() const { return !m_bits; }
    // The colour table: 2^BPP entries of 4 bytes for 8 bits and fewer, else empty.
    const std::vector<std::uint8_t>& colourTable() const { return m_colourTable; }
    std::uint8_t* scanline(std::int32_t y) { return m_bits.get() + std::size_t(y) * std::size_t(m_bytesPerScanline); }
    const std::uint8_t* scanline(std::int32_t y) const
    {
        return m_bits.get() + std::size_t(y) * std::size_t(m_bytesPerScanline);
    }

    // A new 32-bit picture holding a copy of the pixels (indexes resolved through the colour
    // table); an empty picture for an empty surface.
    Picture toPicture() const;

private:
    struct FreeDeleter {
        void operator()(std::uint8_t* p) const noexcept;
    };
    std::unique_ptr<std::uint8_t[], FreeDeleter> m_bits;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::int32_t m_bpp = 0;
    std::int32_t m_bytesPerScanline = 0;
    std::int32_t m_size = 0;
    std::vector<std::uint8_t> m_colourTable;
};

}  // namespace vantorell
