// Dib: an in-memory device-independent bitmap with one contiguous block of pixel memory that
// the dithering and LZW loops address directly, and a drawing context (DibDC) for block copies,
// stretches and fills. Layout: rows top to bottom, each padded to a multiple of 4 bytes;
// pixel (x, y) starts at lpBits() + y * BytesPerScanline() + x * BPP() / 8; 32 bits per pixel
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
    bool Create(std::int32_t NewWidth, std::int32_t NewHeight, std::int32_t Newbpp);
    // Copies a decoded picture (always 32 bits per pixel here) into a new 32-bit surface and
    // answers its depth, 32; 0 for an empty picture, leaving the surface as it was, and 0 (with
    // an empty surface) when the surface cannot be made.
    std::uint8_t CreateFromStdPicture(const Picture& Image, bool Force32bpp);
    // Loads a bitmap file (see dib/BitmapFile.h for what is accepted) and answers its depth,
    // 0 for an empty, unreadable, malformed, unsupported or truncated file. Rows are stored top
    // down like every other surface.
    std::uint8_t CreateFromBitmapFile(const std::filesystem::path& FileName);
    // oDIB becomes a copy of this surface: size, depth, colour table and pixels.
    void CloneTo(Dib& oDIB) const;
    void Destroy();

    // Copies the nWidth x nHeight rectangle at (X, Y) of hSrcDC to (0, 0) of this surface;
    // a width or height below 1 means the surface's own. Answers 1 when copied, 0 when empty.
    std::int32_t LoadBlt(const DibDC& hSrcDC, std::int32_t X, std::int32_t Y, std::int32_t nWidth = 0,
                         std::int32_t nHeight = 0);
    // Stretches (xSrc, ySrc, nSrcWidth, nSrcHeight) of this surface onto (X, Y, nWidth, nHeight)
    // of hDstDC, colour on colour (see stretchBlt), with lROP kSrcCopy, kSrcAnd or kSrcPaint;
    // a source width or height below 1 means the surface's own. Answers 1 when drawn, else 0.
    std::int32_t Stretch(const DibDC& hDstDC, std::int32_t X, std::int32_t Y, std::int32_t nWidth,
                         std::int32_t nHeight, std::int32_t xSrc = 0, std::int32_t ySrc = 0,
                         std::int32_t nSrcWidth = 0, std::int32_t nSrcHeight = 0,
                         std::int32_t lROP = kSrcCopy) const;
    // Fills the whole surface with BackColor (0x00BBGGRR, or a system colour number).
    void Cls(std::int32_t BackColor = 0);

    // Sets colour-table entries 0 .. Palette.size() / 4 - 1 (blue, green, red, reserved per entry;
    // the reserved byte is stored as 0); entries beyond the table are ignored.
    void SetPalette(const std::vector<std::uint8_t>& Palette);
    void SetPalette(const std::uint8_t* Palette, std::size_t bytes);
    // Fills Palette with the whole colour table, 2^BPP x 4 bytes. Leaves it alone for an empty
    // surface or one of more than 8 bits per pixel.
    void GetPalette(std::vector<std::uint8_t>& Palette) const;

    // Re-creates the surface at the new size keeping its depth and colour table: StretchDIB
    // scales the old image (dropping rows and columns when shrinking), otherwise the old image
    // stays at the top-left corner, cut at the new size, with zero pixels elsewhere.
    void Resize(std::int32_t NewWidth, std::int32_t NewHeight, bool StretchDIB);
    // The rectangle that fits this image into DstW x DstH keeping its aspect ratio (scaled when
    // the image is larger or StretchFit is asked for, else at its own size), centred. Outputs
    // are left untouched on an empty surface.
    void GetBestFitInfo(std::int32_t DstW, std::int32_t DstH, std::int32_t& bfx, std::int32_t& bfy,
                        std::int32_t& bfW, std::int32_t& bfH, bool StretchFit = false) const;

    // Read-only properties.
    DibDC hDC();                           // drawing context over the pixel memory (empty when empty)
    DibDC hDC() const;                     // the same, usable as a source only
    std::uintptr_t hDIB() const { return reinterpret_cast<std::uintptr_t>(m_bits.get()); }  // 0 when empty
    std::uint8_t* lpBits() { return m_bits.get(); }
    const std::uint8_t* lpBits() const { return m_bits.get(); }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    std::int32_t BPP() const { return m_bpp; }
    std::int32_t BytesPerScanline() const { return m_bytesPerScanline; }
    std::int32_t Size() const { return m_size; }
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
    Picture Image() const;

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
