#include "dib/Dib.h"

#include "dib/BitmapFile.h"
#include "dib/Checked.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vantorell {

namespace {

std::int32_t colourTableEntries(std::int32_t bpp)
{
    switch (bpp) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

bool supportedDepth(std::int32_t bpp)
{
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

}  // namespace

void Dib::FreeDeleter::operator()(std::uint8_t* p) const noexcept { std::free(p); }

bool Dib::Create(std::int32_t NewWidth, std::int32_t NewHeight, std::int32_t Newbpp)
{
    Destroy();
    // The sizes are computed first, as the header would hold them, so an overflowing size is
    // the overflow error even where the depth or the dimensions would be refused afterwards.
    const std::int32_t bytesPerScanline = checked::rowBytesOrRaise(std::max<std::int64_t>(NewWidth, 0),
                                                                   std::max<std::int64_t>(Newbpp, 0));
    const std::int32_t size = checked::imageBytesOrRaise(bytesPerScanline, std::max<std::int64_t>(NewHeight, 0));
    if (NewWidth < 1 || NewHeight < 1 || !supportedDepth(Newbpp))
        return false;
    // calloc: new pixel memory is all zero, and large blocks come zeroed from the system.
    auto* memory = static_cast<std::uint8_t*>(std::calloc(std::size_t(size), 1));
    if (!memory)
        return false;
    m_bits.reset(memory);
    m_width = NewWidth;
    m_height = NewHeight;
    m_bpp = Newbpp;
    m_bytesPerScanline = bytesPerScanline;
    m_size = size;
    m_colourTable.assign(std::size_t(colourTableEntries(Newbpp)) * 4, 0);
    return true;
}

std::uint8_t Dib::CreateFromStdPicture(const Picture& Image, bool Force32bpp)
{
    // Our pictures are always 32-bit bitmaps, so Force32bpp changes nothing: there is no
    // colour table to copy.
    if (Image.empty())
        return 0;
    const Bitmap& bitmap = Image.bitmap();
    if (!Create(bitmap.width(), bitmap.height(), 32))
        return 0;   // nothing was loaded: do not report the picture's depth as a success
    LoadBlt(DibDC::ofBitmap(bitmap), 0, 0, bitmap.width(), bitmap.height());
    return 32;
}

std::uint8_t Dib::CreateFromBitmapFile(const std::filesystem::path& FileName)
{
    std::error_code error;
    const auto length = std::filesystem::file_size(FileName, error);
    if (error || length == 0)
        return 0;
    Destroy();
    BmpImage image;
    if (loadBitmapFile(FileName, image) != BmpStatus::Ok)
        return 0;
    if (!Create(image.width, image.height, image.bpp))
        return 0;
    // Both layouts pad rows to 4 bytes top down, so the sizes agree exactly.
    std::memcpy(m_bits.get(), image.pixels.data(), std::size_t(m_size));
    if (!m_colourTable.empty())
        SetPalette(image.colourTable);
    return static_cast<std::uint8_t>(image.bpp);
}

void Dib::CloneTo(Dib& oDIB) const
{
    if (&oDIB == this)
        return;
    if (!oDIB.Create(m_width, m_height, m_bpp))
        return;
    if (m_bpp <= 8)
        oDIB.SetPalette(m_colourTable);
    std::memcpy(oDIB.m_bits.get(), m_bits.get(), std::size_t(m_size));
}

void Dib::Destroy()
{
    m_bits.reset();
    m_width = m_height = m_bpp = m_bytesPerScanline = m_size = 0;
    m_colourTable.clear();
}

std::int32_t Dib::LoadBlt(const DibDC& hSrcDC, std::int32_t X, std::int32_t Y, std::int32_t nWidth,
                           std::int32_t nHeight)
{
    if (empty())
        return 0;
    if (nWidth < 1)
        nWidth = m_width;
    if (nHeight < 1)
        nHeight = m_height;
    return bitBlt(hDC(), 0, 0, nWidth, nHeight, hSrcDC, X, Y, kSrcCopy);
}

std::int32_t Dib::Stretch(const DibDC& hDstDC, std::int32_t X, std::int32_t Y, std::int32_t nWidth,
                           std::int32_t nHeight, std::int32_t xSrc, std::int32_t ySrc, std::int32_t nSrcWidth,
                           std::int32_t nSrcHeight, std::int32_t lROP) const
{
    if (empty())
        return 0;
    if (nSrcWidth < 1)
        nSrcWidth = m_width;
    if (nSrcHeight < 1)
        nSrcHeight = m_height;
    return stretchBlt(hDstDC, X, Y, nWidth, nHeight, hDC(), xSrc, ySrc, nSrcWidth, nSrcHeight, lROP);
}

void Dib::Cls(std::int32_t BackColor)
{
    if (empty())
        return;
    fillRect(hDC(), 0, 0, m_width, m_height, resolveColour(BackColor));
}

void Dib::SetPalette(const std::vector<std::uint8_t>& Palette) { SetPalette(Palette.data(), Palette.size()); }

void Dib::SetPalette(const std::uint8_t* Palette, std::size_t bytes)
{
    if (empty() || m_bpp > 8 || Palette == nullptr)
        return;
    const std::size_t entries = std::min(bytes / 4, m_colourTable.size() / 4);
    for (std::size_t i = 0; i < entries; ++i) {
        m_colourTable[4 * i + 0] = Palette[4 * i + 0];
        m_colourTable[4 * i + 1] = Palette[4 * i + 1];
        m_colourTable[4 * i + 2] = Palette[4 * i + 2];
        m_colourTable[4 * i + 3] = 0;
    }
}

void Dib::GetPalette(std::vector<std::uint8_t>& Palette) const
{
    if (empty() || m_bpp > 8)
        return;
    Palette = m_colourTable;
}

void Dib::Resize(std::int32_t NewWidth, std::int32_t NewHeight, bool StretchDIB)
{
    if (empty())
        return;
    const std::vector<std::uint8_t> palette = m_colourTable;
    Dib temporary;
    if (temporary.Create(NewWidth, NewHeight, m_bpp)) {
        temporary.SetPalette(palette);
        if (StretchDIB)
            Stretch(temporary.hDC(), 0, 0, NewWidth, NewHeight);
        else
            Stretch(temporary.hDC(), 0, 0, m_width, m_height);
    }
    if (Create(NewWidth, NewHeight, m_bpp)) {
        SetPalette(palette);
        LoadBlt(std::as_const(temporary).hDC(), 0, 0, 0, 0);
    }
}

void Dib::GetBestFitInfo(std::int32_t DstW, std::int32_t DstH, std::int32_t& bfx, std::int32_t& bfy,
                          std::int32_t& bfW, std::int32_t& bfH, bool StretchFit) const
{
    if (empty())
        return;
    if (DstW < m_width || DstH < m_height || StretchFit) {
        // The ratios are single precision; their product with the size is formed in double
        // before rounding (a single-precision product would round 120 x 90 into 50 x 38).
        const float rx = float(DstW) / float(m_width);
        const float ry = float(DstH) / float(m_height);
        if (rx >= ry) {
            bfH = DstH;
            bfW = static_cast<std::int32_t>(std::nearbyint(double(ry) * double(m_width)));
        } else {
            bfW = DstW;
            bfH = static_cast<std::int32_t>(std::nearbyint(double(rx) * double(m_height)));
        }
    } else {
        bfW = m_width;
        bfH = m_height;
    }
    bfx = static_cast<std::int32_t>((std::int64_t(DstW) - bfW) / 2);
    bfy = static_cast<std::int32_t>((std::int64_t(DstH) - bfH) / 2);
}

DibDC Dib::hDC()
{
    DibDC dc = std::as_const(*this).hDC();
    dc.writable = dc.bits != nullptr;
    return dc;
}

DibDC Dib::hDC() const
{
    DibDC dc;
    if (empty())
        return dc;
    dc.bits = const_cast<std::uint8_t*>(m_bits.get());
    dc.width = m_width;
    dc.height = m_height;
    dc.bpp = m_bpp;
    dc.stride = std::size_t(m_bytesPerScanline);
    dc.colourTable = m_colourTable.empty() ? nullptr : m_colourTable.data();
    dc.colourCount = static_cast<std::int32_t>(m_colourTable.size() / 4);
    dc.writable = false;
    return dc;
}

Picture Dib::Image() const
{
    if (empty())
        return Picture();
    Bitmap bitmap(m_width, m_height);
    Stretch(DibDC::ofBitmap(bitmap), 0, 0, m_width, m_height);
    return Picture(std::move(bitmap));
}

}  // namespace vantorell
