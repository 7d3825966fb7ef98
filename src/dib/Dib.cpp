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

bool Dib::create(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel)
{
    // A block of the size wanted is cleared and kept: a fresh one costs a page fault a page.
    auto kept = std::move(m_bits);
    const std::int32_t keptSize = m_size;
    destroy();
    // The sizes are computed first, as the header would hold them, so an overflowing size is
    // the overflow error even where the depth or the dimensions would be refused afterwards.
    const std::int32_t bytesPerScanline = checked::rowBytesOrRaise(std::max<std::int64_t>(width, 0),
                                                                   std::max<std::int64_t>(bitsPerPixel, 0));
    const std::int32_t size = checked::imageBytesOrRaise(bytesPerScanline, std::max<std::int64_t>(height, 0));
    if (width < 1 || height < 1 || !supportedDepth(bitsPerPixel))
        return false;
    if (kept && keptSize == size) {
        std::memset(kept.get(), 0, std::size_t(size));
        m_bits = std::move(kept);
    } else {
        kept.reset();
        // calloc: new pixel memory is all zero, and large blocks come zeroed from the system.
        auto* memory = static_cast<std::uint8_t*>(std::calloc(std::size_t(size), 1));
        if (!memory)
            return false;
        m_bits.reset(memory);
    }
    m_width = width;
    m_height = height;
    m_bpp = bitsPerPixel;
    m_bytesPerScanline = bytesPerScanline;
    m_size = size;
    m_colourTable.assign(std::size_t(colourTableEntries(bitsPerPixel)) * 4, 0);
    return true;
}

std::uint8_t Dib::createFromPicture(const Picture& picture, bool force32Bits)
{
    // Our pictures are always 32-bit bitmaps, so force32Bits changes nothing: there is no
    // colour table to copy.
    if (picture.empty())
        return 0;
    const Bitmap& bitmap = picture.bitmap();
    if (!create(bitmap.width(), bitmap.height(), 32))
        return 0;   // nothing was loaded: do not report the picture's depth as a success
    copyFrom(DibDC::ofBitmap(bitmap), 0, 0, bitmap.width(), bitmap.height());
    return 32;
}

std::uint8_t Dib::createFromBitmapFile(const std::filesystem::path& file)
{
    std::error_code error;
    const auto length = std::filesystem::file_size(file, error);
    if (error || length == 0)
        return 0;
    destroy();
    BmpImage image;
    if (loadBitmapFile(file, image) != BmpStatus::Ok)
        return 0;
    if (!create(image.width, image.height, image.bpp))
        return 0;
    // Both layouts pad rows to 4 bytes top down, so the sizes agree exactly.
    std::memcpy(m_bits.get(), image.pixels.data(), std::size_t(m_size));
    if (!m_colourTable.empty())
        setPalette(image.colourTable);
    return static_cast<std::uint8_t>(image.bpp);
}

void Dib::cloneTo(Dib& copy) const
{
    if (&copy == this)
        return;
    if (!copy.create(m_width, m_height, m_bpp))
        return;
    if (m_bpp <= 8)
        copy.setPalette(m_colourTable);
    std::memcpy(copy.m_bits.get(), m_bits.get(), std::size_t(m_size));
}

void Dib::destroy()
{
    m_bits.reset();
    m_width = m_height = m_bpp = m_bytesPerScanline = m_size = 0;
    m_colourTable.clear();
}

std::int32_t Dib::copyFrom(const DibDC& source, std::int32_t sourceX, std::int32_t sourceY, std::int32_t width,
                           std::int32_t height)
{
    if (empty())
        return 0;
    if (width < 1)
        width = m_width;
    if (height < 1)
        height = m_height;
    return bitBlt(dc(), 0, 0, width, height, source, sourceX, sourceY, RasterOp::Copy);
}

std::int32_t Dib::stretch(const DibDC& target, std::int32_t x, std::int32_t y, std::int32_t width,
                          std::int32_t height, std::int32_t xSrc, std::int32_t ySrc, std::int32_t srcWidth,
                          std::int32_t srcHeight, RasterOp rop) const
{
    if (empty())
        return 0;
    if (srcWidth < 1)
        srcWidth = m_width;
    if (srcHeight < 1)
        srcHeight = m_height;
    return stretchBlt(target, x, y, width, height, dc(), xSrc, ySrc, srcWidth, srcHeight, rop);
}

void Dib::clear(std::int32_t colour)
{
    if (empty())
        return;
    fillRect(dc(), 0, 0, m_width, m_height, resolveColour(colour));
}

void Dib::setPalette(const std::vector<std::uint8_t>& entries) { setPalette(entries.data(), entries.size()); }

void Dib::setPalette(const std::uint8_t* entries, std::size_t bytes)
{
    if (empty() || m_bpp > 8 || entries == nullptr)
        return;
    const std::size_t count = std::min(bytes / 4, m_colourTable.size() / 4);
    for (std::size_t i = 0; i < count; ++i) {
        m_colourTable[4 * i + 0] = entries[4 * i + 0];
        m_colourTable[4 * i + 1] = entries[4 * i + 1];
        m_colourTable[4 * i + 2] = entries[4 * i + 2];
        m_colourTable[4 * i + 3] = 0;
    }
}

void Dib::getPalette(std::vector<std::uint8_t>& entries) const
{
    if (empty() || m_bpp > 8)
        return;
    entries = m_colourTable;
}

void Dib::resize(std::int32_t width, std::int32_t height, ResizeMode mode)
{
    if (empty())
        return;
    const std::vector<std::uint8_t> palette = m_colourTable;
    Dib temporary;
    if (temporary.create(width, height, m_bpp)) {
        temporary.setPalette(palette);
        if (mode == ResizeMode::Stretch)
            stretch(temporary.dc(), 0, 0, width, height);
        else
            stretch(temporary.dc(), 0, 0, m_width, m_height);
    }
    if (create(width, height, m_bpp)) {
        setPalette(palette);
        copyFrom(std::as_const(temporary).dc(), 0, 0, 0, 0);
    }
}

void Dib::getBestFitInfo(std::int32_t targetWidth, std::int32_t targetHeight, std::int32_t& fitX, std::int32_t& fitY,
                         std::int32_t& fitWidth, std::int32_t& fitHeight, bool enlarge) const
{
    if (empty())
        return;
    if (targetWidth < m_width || targetHeight < m_height || enlarge) {
        // The ratios are single precision; their product with the size is formed in double
        // before rounding (a single-precision product would round 120 x 90 into 50 x 38).
        const float ratioX = float(targetWidth) / float(m_width);
        const float ratioY = float(targetHeight) / float(m_height);
        if (ratioX >= ratioY) {
            fitHeight = targetHeight;
            fitWidth = static_cast<std::int32_t>(std::nearbyint(double(ratioY) * double(m_width)));
        } else {
            fitWidth = targetWidth;
            fitHeight = static_cast<std::int32_t>(std::nearbyint(double(ratioX) * double(m_height)));
        }
    } else {
        fitWidth = m_width;
        fitHeight = m_height;
    }
    fitX = static_cast<std::int32_t>((std::int64_t(targetWidth) - fitWidth) / 2);
    fitY = static_cast<std::int32_t>((std::int64_t(targetHeight) - fitHeight) / 2);
}

DibDC Dib::dc()
{
    DibDC context = std::as_const(*this).dc();
    context.writable = context.bits != nullptr;
    return context;
}

DibDC Dib::dc() const
{
    DibDC context;
    if (empty())
        return context;
    context.bits = const_cast<std::uint8_t*>(m_bits.get());
    context.width = m_width;
    context.height = m_height;
    context.bpp = m_bpp;
    context.stride = std::size_t(m_bytesPerScanline);
    context.colourTable = m_colourTable.empty() ? nullptr : m_colourTable.data();
    context.colourCount = static_cast<std::int32_t>(m_colourTable.size() / 4);
    context.writable = false;
    return context;
}

Picture Dib::toPicture() const
{
    if (empty())
        return Picture();
    Bitmap bitmap(m_width, m_height);
    stretch(DibDC::ofBitmap(bitmap), 0, 0, m_width, m_height);
    return Picture(std::move(bitmap));
}

}  // namespace vantorell
