#include "platform/WorkSurface.h"

#include "platform/PictureLoader.h"
#include "platform/RasterOps.h"
#include "platform/Conversions.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

namespace vantorell {

namespace {

void fill(Bitmap& bitmap, std::int32_t colour)
{
    // 0x00BBGGRR -> blue, green, red, 0 in memory
    const std::uint32_t bgrx = std::uint32_t((colour >> 16) & 0xFF) | std::uint32_t(colour & 0xFF00) |
                               std::uint32_t(colour & 0xFF) << 16;
    auto* pixels = reinterpret_cast<std::uint32_t*>(bitmap.mutableBits());
    std::fill(pixels, pixels + std::size_t(bitmap.width()) * std::size_t(bitmap.height()), bgrx);
}

// Copies the overlapping top-left part of from into to.
void copyOverlap(Bitmap& to, const Bitmap& from)
{
    const int width = std::min(to.width(), from.width());
    const int height = std::min(to.height(), from.height());
    if (width <= 0 || height <= 0)
        return;
    std::uint8_t* out = to.mutableBits();
    for (int y = 0; y < height; ++y)
        std::memcpy(out + to.stride() * std::size_t(y), from.row(y), std::size_t(width) * 4);
}

void putLe16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = std::uint8_t(value);
    bytes[at + 1] = std::uint8_t(value >> 8);
}

void putLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
}

}  // namespace

WorkSurface::WorkSurface(int width, int height) : m_width(std::max(width, 0)), m_height(std::max(height, 0)) {}

void WorkSurface::loadPicture(const std::filesystem::path& file)
{
    setPicture(file.empty() ? Picture() : vantorell::loadPicture(file));
}

void WorkSurface::loadPicture(const std::filesystem::path& file, int coverWidth, int coverHeight)
{
    setPicture(file.empty() ? Picture() : vantorell::loadPicture(file, DecodeRequest{coverWidth, coverHeight}));
}

void WorkSurface::setPicture(Picture picture)
{
    m_picture = std::move(picture);
    if (m_autoSize && !m_picture.empty()) {
        m_width = m_picture.width();
        m_height = m_picture.height();
    }
    clear();
}

void WorkSurface::setAutoSize(bool on)
{
    m_autoSize = on;
    if (on && !m_picture.empty() && (m_width != m_picture.width() || m_height != m_picture.height()))
        setOuterSize(m_picture.width(), m_picture.height());
}

void WorkSurface::setOuterSize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == m_width && height == m_height)
        return;
    // The persistent image keeps what was drawn on it where the old and new sizes overlap.
    Bitmap old;
    if (m_drawingValid)
        old = m_drawing;
    m_width = width;
    m_height = height;
    m_drawingValid = false;
    m_drawing = Bitmap();
    if (!old.empty() && !old.sharesPixelsWith(m_picture.bitmap())) {
        rebuildDrawing();
        copyOverlap(m_drawing, old);
    }
}

void WorkSurface::setBackColor(std::int32_t colour)
{
    m_backColor = colour;
    clear();   // a new background colour clears the drawing, as setting it on a picture box does
}

void WorkSurface::paintPicture(const Picture& picture, int x, int y, int width, int height)
{
    if (picture.empty() || width <= 0 || height <= 0)
        return;
    const bool coversAll = x <= 0 && y <= 0 && std::int64_t(x) + width >= m_width &&
                           std::int64_t(y) + height >= m_height;
    Bitmap& target = coversAll ? drawingToOverwrite() : drawing();
    stretchCopy(target, Rect{x, y, width, height}, picture.bitmap());
}

void WorkSurface::clear()
{
    m_drawingValid = false;
    m_drawing = Bitmap();
}

void WorkSurface::rebuildDrawing() const
{
    if (!m_picture.empty() && m_picture.width() == m_width && m_picture.height() == m_height) {
        m_drawing = m_picture.bitmap();   // shares the picture's pixels until drawn on
    } else {
        m_drawing = Bitmap(m_width, m_height);
        if (!m_drawing.empty()) {
            fill(m_drawing, m_backColor);
            copyOverlap(m_drawing, m_picture.bitmap());
        }
    }
    m_drawingValid = true;
}

const Bitmap& WorkSurface::image() const
{
    if (!m_drawingValid)
        rebuildDrawing();
    return m_drawing;
}

Bitmap& WorkSurface::drawing()
{
    if (!m_drawingValid)
        rebuildDrawing();
    return m_drawing;
}

Bitmap& WorkSurface::drawingToOverwrite()
{
    if (!m_drawingValid) {
        m_drawing = Bitmap::uninitialized(m_width, m_height);
        m_drawingValid = true;
    }
    return m_drawing;
}

std::int32_t WorkSurface::pixel(int x, int y) const
{
    return image().pixel(x, y);
}

void WorkSurface::setPixel(int x, int y, std::int32_t colour)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return;
    drawing().setPixel(x, y, colour);
}

void WorkSurface::saveAsBitmapFile(const std::filesystem::path& file) const
{
    const Bitmap& bitmap = image();
    if (bitmap.empty())
        throw RuntimeError(errnum::InvalidPicture, "Invalid picture");

    // BITMAPFILEHEADER (14 bytes) + BITMAPINFOHEADER (40 bytes), 24 bits per pixel, rows bottom
    // up, each padded to a multiple of 4 bytes.
    const std::uint32_t width = std::uint32_t(bitmap.width());
    const std::uint32_t height = std::uint32_t(bitmap.height());
    const std::size_t rowBytes = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    const std::uint64_t imageBytes = std::uint64_t(rowBytes) * height;
    if (imageBytes + 54 > 0xFFFFFFFFull)
        raiseOverflow();

    std::vector<std::uint8_t> header(54, 0);
    header[0] = 'B';
    header[1] = 'M';
    putLe32(header, 2, std::uint32_t(54 + imageBytes));
    putLe32(header, 10, 54);
    putLe32(header, 14, 40);
    putLe32(header, 18, width);
    putLe32(header, 22, height);
    putLe16(header, 26, 1);
    putLe16(header, 28, 24);
    putLe32(header, 34, std::uint32_t(imageBytes));
    putLe32(header, 38, 3780);   // 96 dots per inch, in pixels per metre
    putLe32(header, 42, 3780);

    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        throw RuntimeError(errnum::FileAccessError, "Path/File access error");
    out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
    std::vector<std::uint8_t> row(rowBytes, 0);
    for (std::uint32_t y = height; y-- > 0;) {
        const std::uint8_t* source = bitmap.row(int(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            row[x * 3] = source[x * 4];
            row[x * 3 + 1] = source[x * 4 + 1];
            row[x * 3 + 2] = source[x * 4 + 2];
        }
        out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(rowBytes));
    }
    out.flush();
    if (!out)
        throw RuntimeError(errnum::FileAccessError, "Path/File access error");
}

void WorkSurface::refresh()
{
    if (onRefresh)
        onRefresh();
}

}  // namespace vantorell
