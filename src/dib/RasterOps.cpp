// Our own raster operations over DibDC views. Pixel values travel as "raw" values in the
// destination's format; colours travel as 0x00RRGGBB (blue in the low byte, the byte order of
// 24- and 32-bit pixel memory).
#include "dib/DibDC.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace vantorell {

namespace {

std::uint32_t readRaw(const DibDC& dc, std::int32_t x, std::int32_t y)
{
    const std::uint8_t* row = dc.bits + std::size_t(y) * dc.stride;
    switch (dc.bpp) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xFu;
    case 8: return row[x];
    case 16: return std::uint32_t(row[2 * x]) | std::uint32_t(row[2 * x + 1]) << 8;
    case 24: {
        const std::uint8_t* p = row + 3 * std::size_t(x);
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
    }
    case 32: {
        std::uint32_t v;
        std::memcpy(&v, row + 4 * std::size_t(x), 4);
        return v;
    }
    default: return 0;
    }
}

void writeRaw(const DibDC& dc, std::int32_t x, std::int32_t y, std::uint32_t v)
{
    std::uint8_t* row = dc.bits + std::size_t(y) * dc.stride;
    switch (dc.bpp) {
    case 1: {
        const std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
        row[x >> 3] = static_cast<std::uint8_t>((v & 1u) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
        break;
    }
    case 4: {
        std::uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | (v & 0xF))
                    : static_cast<std::uint8_t>((b & 0x0F) | (v & 0xF) << 4);
        break;
    }
    case 8: row[x] = static_cast<std::uint8_t>(v); break;
    case 16:
        row[2 * x] = static_cast<std::uint8_t>(v);
        row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
        break;
    case 24: {
        std::uint8_t* p = row + 3 * std::size_t(x);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        p[2] = static_cast<std::uint8_t>(v >> 16);
        break;
    }
    case 32: std::memcpy(row + 4 * std::size_t(x), &v, 4); break;
    default: break;
    }
}

bool indexed(const DibDC& dc) { return dc.bpp <= 8; }

std::uint32_t tableColour(const DibDC& dc, std::uint32_t index)
{
    if (dc.colourTable == nullptr || index >= std::uint32_t(dc.colourCount))
        return 0;
    const std::uint8_t* entry = dc.colourTable + 4 * std::size_t(index);
    return std::uint32_t(entry[0]) | std::uint32_t(entry[1]) << 8 | std::uint32_t(entry[2]) << 16;
}

// 16 bits per pixel is 5-5-5 (red highest); a 5-bit value v widens to (v << 3) | (v >> 2).
std::uint32_t rawToColour(const DibDC& dc, std::uint32_t raw)
{
    switch (dc.bpp) {
    case 1:
    case 4:
    case 8: return tableColour(dc, raw);
    case 16: {
        const std::uint32_t b = raw & 31, g = (raw >> 5) & 31, r = (raw >> 10) & 31;
        return (b << 3 | b >> 2) | (g << 3 | g >> 2) << 8 | (r << 3 | r >> 2) << 16;
    }
    default: return raw & 0xFFFFFFu;
    }
}

// The nearest colour-table entry: smallest squared distance, lowest index on ties.
std::uint32_t nearestEntry(const DibDC& dc, std::uint32_t colour)
{
    const int b = colour & 0xFF, g = (colour >> 8) & 0xFF, r = (colour >> 16) & 0xFF;
    std::uint32_t best = 0;
    int bestDistance = 1 << 30;
    for (std::int32_t i = 0; i < dc.colourCount && dc.colourTable; ++i) {
        const std::uint8_t* entry = dc.colourTable + 4 * std::size_t(i);
        const int distance =
            (entry[0] - b) * (entry[0] - b) + (entry[1] - g) * (entry[1] - g) + (entry[2] - r) * (entry[2] - r);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = std::uint32_t(i);
        }
    }
    return best;
}

std::uint32_t colourToRaw(const DibDC& dc, std::uint32_t colour)
{
    switch (dc.bpp) {
    case 1:
    case 4:
    case 8: return nearestEntry(dc, colour);
    case 16: {
        const std::uint32_t b = colour & 0xFF, g = (colour >> 8) & 0xFF, r = (colour >> 16) & 0xFF;
        return (b >> 3) | (g >> 3) << 5 | (r >> 3) << 10;
    }
    default: return colour & 0xFFFFFFu;
    }
}

std::uint32_t combine(RasterOp rop, std::uint32_t dst, std::uint32_t src)
{
    switch (rop) {
    case RasterOp::And: return dst & src;
    case RasterOp::Or: return dst | src;
    default: return src;
    }
}

bool knownRop(RasterOp rop) { return rop == RasterOp::Copy || rop == RasterOp::And || rop == RasterOp::Or; }

std::int64_t floorDiv(std::int64_t a, std::int64_t b)  // b > 0
{
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

bool sameTables(const DibDC& a, const DibDC& b)
{
    if (a.colourCount != b.colourCount)
        return false;
    if (a.colourCount == 0)
        return true;
    return a.colourTable && b.colourTable &&
           std::memcmp(a.colourTable, b.colourTable, std::size_t(a.colourCount) * 4) == 0;
}

// Converts source raw values into destination raw values. Between equal formats it is the
// identity; from an indexed source it is a precomputed table; from true colour into an indexed
// destination it searches the table, remembering the last answer.
class RawConverter {
public:
    RawConverter(const DibDC& src, const DibDC& dst) : m_src(src), m_dst(dst)
    {
        m_identity = src.bpp == dst.bpp && (!indexed(src) || sameTables(src, dst));
        if (!m_identity && indexed(src)) {
            m_map.resize(std::size_t(1) << src.bpp);
            for (std::size_t i = 0; i < m_map.size(); ++i)
                m_map[i] = colourToRaw(dst, tableColour(src, std::uint32_t(i)));
        }
    }
    bool identity() const { return m_identity; }
    std::uint32_t operator()(std::uint32_t raw)
    {
        if (m_identity)
            return raw;
        if (!m_map.empty())
            return m_map[raw];
        const std::uint32_t colour = rawToColour(m_src, raw);
        if (!indexed(m_dst))
            return colourToRaw(m_dst, colour);
        if (!m_haveLast || colour != m_lastColour) {
            m_lastColour = colour;
            m_lastRaw = colourToRaw(m_dst, colour);
            m_haveLast = true;
        }
        return m_lastRaw;
    }

private:
    const DibDC& m_src;
    const DibDC& m_dst;
    bool m_identity = false;
    std::vector<std::uint32_t> m_map;
    bool m_haveLast = false;
    std::uint32_t m_lastColour = 0, m_lastRaw = 0;
};

constexpr std::array<std::uint32_t, 31> kSystemColours = {
    // COLOR_SCROLLBAR .. COLOR_MENUBAR of the classic desktop scheme, as 0x00BBGGRR.
    0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
    0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
    0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xC56A31, 0xD8E9EC,
};

}  // namespace

DibDC DibDC::ofBitmap(Bitmap& bitmap)
{
    DibDC dc;
    if (bitmap.empty())
        return dc;
    dc.bits = bitmap.mutableBits();
    dc.width = bitmap.width();
    dc.height = bitmap.height();
    dc.bpp = 32;
    dc.stride = bitmap.stride();
    dc.writable = true;
    return dc;
}

DibDC DibDC::ofBitmap(const Bitmap& bitmap)
{
    DibDC dc;
    if (bitmap.empty())
        return dc;
    dc.bits = const_cast<std::uint8_t*>(bitmap.bits());
    dc.width = bitmap.width();
    dc.height = bitmap.height();
    dc.bpp = 32;
    dc.stride = bitmap.stride();
    dc.writable = false;
    return dc;
}

std::int32_t stretchBlt(const DibDC& dst, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                        const DibDC& src, std::int32_t xSrc, std::int32_t ySrc, std::int32_t srcWidth,
                        std::int32_t srcHeight, RasterOp rop)
{
    if (dst.empty() || !dst.writable || src.empty() || width < 1 || height < 1 || !knownRop(rop))
        return 0;
    // Destination columns and rows inside the destination surface, in 64 bits so that no
    // coordinate sum can wrap.
    const std::int64_t iBegin = std::max<std::int64_t>(0, -std::int64_t(x));
    const std::int64_t iEnd = std::min<std::int64_t>(width, std::int64_t(dst.width) - x);
    const std::int64_t jBegin = std::max<std::int64_t>(0, -std::int64_t(y));
    const std::int64_t jEnd = std::min<std::int64_t>(height, std::int64_t(dst.height) - y);
    if (iBegin >= iEnd || jBegin >= jEnd)
        return 1;

    // Source column for every destination column: xSrc + floor(i * srcWidth / width), or -1
    // where it falls outside the source.
    std::vector<std::int32_t> columns(std::size_t(iEnd - iBegin));
    bool contiguous = true;
    for (std::int64_t i = iBegin; i < iEnd; ++i) {
        const std::int64_t srcX = std::int64_t(xSrc) + floorDiv(i * srcWidth, width);
        const std::size_t at = std::size_t(i - iBegin);
        columns[at] = (srcX >= 0 && srcX < src.width) ? std::int32_t(srcX) : -1;
        if (columns[at] < 0 || (i > iBegin && columns[at] != columns[at - 1] + 1))
            contiguous = false;
    }

    RawConverter convert(src, dst);
    const bool bytewise = convert.identity() && rop == RasterOp::Copy && dst.bpp >= 8 && contiguous;
    const std::size_t bytesPerPixel = std::size_t(dst.bpp) / 8;
    for (std::int64_t j = jBegin; j < jEnd; ++j) {
        const std::int64_t srcY = std::int64_t(ySrc) + floorDiv(j * srcHeight, height);
        if (srcY < 0 || srcY >= src.height)
            continue;
        const std::int32_t dstY = std::int32_t(y + j);
        if (bytewise) {
            std::memmove(dst.bits + std::size_t(dstY) * dst.stride + std::size_t(x + iBegin) * bytesPerPixel,
                         src.bits + std::size_t(srcY) * src.stride + std::size_t(columns[0]) * bytesPerPixel,
                         columns.size() * bytesPerPixel);
            continue;
        }
        if (dst.bpp == 32 && src.bpp == 32 && rop == RasterOp::Copy) {
            const std::uint8_t* srcRow = src.bits + std::size_t(srcY) * src.stride;
            std::uint8_t* dstRow = dst.bits + std::size_t(dstY) * dst.stride;
            for (std::int64_t i = iBegin; i < iEnd; ++i) {
                const std::int32_t srcX = columns[std::size_t(i - iBegin)];
                if (srcX >= 0)
                    std::memcpy(dstRow + 4 * std::size_t(x + i), srcRow + 4 * std::size_t(srcX), 4);
            }
            continue;
        }
        for (std::int64_t i = iBegin; i < iEnd; ++i) {
            const std::int32_t srcX = columns[std::size_t(i - iBegin)];
            if (srcX < 0)
                continue;
            const std::int32_t dstX = std::int32_t(x + i);
            const std::uint32_t value = convert(readRaw(src, srcX, std::int32_t(srcY)));
            writeRaw(dst, dstX, dstY, rop == RasterOp::Copy ? value : combine(rop, readRaw(dst, dstX, dstY), value));
        }
    }
    return 1;
}

std::int32_t bitBlt(const DibDC& dst, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                    const DibDC& src, std::int32_t xSrc, std::int32_t ySrc, RasterOp rop)
{
    return stretchBlt(dst, x, y, width, height, src, xSrc, ySrc, width, height, rop);
}

std::int32_t fillRect(const DibDC& dst, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                      std::int32_t colour)
{
    if (dst.empty() || !dst.writable || width < 1 || height < 1)
        return 0;
    const std::uint32_t c = std::uint32_t(colour);
    const std::uint32_t rgb = ((c >> 16) & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16;
    const std::uint32_t raw = colourToRaw(dst, rgb);
    const std::int64_t x0 = std::max<std::int64_t>(0, x), x1 = std::min<std::int64_t>(dst.width, std::int64_t(x) + width);
    const std::int64_t y0 = std::max<std::int64_t>(0, y), y1 = std::min<std::int64_t>(dst.height, std::int64_t(y) + height);
    for (std::int64_t py = y0; py < y1; ++py) {
        if (dst.bpp == 8) {
            std::memset(dst.bits + std::size_t(py) * dst.stride + std::size_t(x0), int(raw), std::size_t(x1 - x0));
            continue;
        }
        for (std::int64_t px = x0; px < x1; ++px)
            writeRaw(dst, std::int32_t(px), std::int32_t(py), raw);
    }
    return 1;
}

std::int32_t resolveColour(std::int32_t colour)
{
    const std::uint32_t c = std::uint32_t(colour);
    if ((c & 0xFF000000u) == 0x80000000u) {
        const std::uint32_t index = c & 0x00FFFFFFu;
        return index < kSystemColours.size() ? std::int32_t(kSystemColours[index]) : 0;
    }
    return std::int32_t(c & 0x00FFFFFFu);
}

}  // namespace vantorell
