// A 32-bit top-down pixel image: four bytes a pixel (blue, green, red, fourth byte), rows of
// 4 x width bytes with no padding. Copies share their pixels until one of them is written
// (copy on write), so surfaces that hold the same decoded picture never duplicate it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vantorell {

class Bitmap {
public:
    Bitmap() = default;
    // Allocates width x height pixels, all zero. Raises RuntimeError (Overflow for sizes
    // beyond the picture limits, OutOfMemory when the memory cannot be had).
    Bitmap(int width, int height);
    // As above, but the pixels are left undefined: for callers that fill every byte.
    static Bitmap uninitialized(int width, int height);
    // Takes over pixel memory that someone else allocated (a decoder's buffer), rows of exactly
    // 4 x width bytes; the deleter of the shared pointer releases it. The size is checked.
    static Bitmap adopt(int width, int height, std::shared_ptr<std::uint8_t[]> pixels);

    bool empty() const { return m_width <= 0 || m_height <= 0; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    std::size_t stride() const { return std::size_t(m_width) * 4; }
    std::size_t byteCount() const { return stride() * std::size_t(m_height); }

    const std::uint8_t* bits() const { return m_pixels.get(); }
    const std::uint8_t* row(int y) const { return m_pixels.get() + stride() * std::size_t(y); }
    // Mutable access makes this bitmap's pixels its own first (detaches shared pixels).
    std::uint8_t* mutableBits();
    std::uint8_t* mutableRow(int y) { return mutableBits() + stride() * std::size_t(y); }

    bool sharesPixelsWith(const Bitmap& other) const { return m_pixels && m_pixels == other.m_pixels; }

    // 0x00BBGGRR, or -1 outside the bitmap.
    std::int32_t pixel(int x, int y) const;
    // Ignored outside the bitmap. The fourth byte is written as 0.
    void setPixel(int x, int y, std::int32_t colour);
    // Every pixel's fourth byte 0. Read first, so that pixels already clear and shared with
    // another bitmap are not copied.
    void clearFourthBytes();

private:
    Bitmap(int width, int height, bool zero);
    int m_width = 0;
    int m_height = 0;
    std::shared_ptr<std::uint8_t[]> m_pixels;
};

}  // namespace vantorell
