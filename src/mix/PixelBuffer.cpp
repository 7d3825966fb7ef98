#include "mix/PixelBuffer.h"

#include "platform/RuntimeError.h"

#include <bit>
#include <cstring>

namespace vantorell {

namespace {

[[noreturn]] void subscriptOutOfRange()
{
    throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range");
}

// One pass instead of a copy and a scan: every pixel copied with its fourth byte 0.
void copyWithFourthBytesClear(const Bitmap& image, std::uint8_t* to)
{
    static_assert(std::endian::native == std::endian::little);
    const std::uint8_t* from = image.bits();
    const std::size_t count = image.byteCount();
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        std::uint32_t words[4];
        std::memcpy(words, from + i, 16);
        for (std::uint32_t& word : words)
            word &= 0x00FFFFFFu;   // little-endian: the fourth byte is the top one
        std::memcpy(to + i, words, 16);
    }
    for (; i < count; i += 4) {
        std::memcpy(to + i, from + i, 3);
        to[i + 3] = 0;
    }
}

}  // namespace

std::size_t PixelBuffer::byteCount() const
{
    if (m_released)
        return 1;
    return m_pixels.byteCount();
}

std::size_t PixelBuffer::index(int channel, int x, int y) const
{
    if (m_released) {
        if (channel != 0 || x != 0 || y != 0)
            subscriptOutOfRange();
        return 0;
    }
    if (channel < 0 || channel > 3 || x < 0 || y < 0 || x >= m_pixels.width() || y >= m_pixels.height())
        subscriptOutOfRange();
    return std::size_t(channel) + 4 * std::size_t(x) + m_pixels.stride() * std::size_t(y);
}

std::uint8_t PixelBuffer::at(int channel, int x, int y) const
{
    const std::size_t i = index(channel, x, y);
    return m_released ? m_single[0] : m_pixels.bits()[i];
}

void PixelBuffer::set(int channel, int x, int y, std::uint8_t value)
{
    const std::size_t i = index(channel, x, y);
    if (m_released)
        m_single[0] = value;
    else
        m_pixels.mutableBits()[i] = value;
}

void PixelBuffer::trim()
{
    m_spare = Bitmap();
}

const std::uint8_t* PixelBuffer::data() const { return m_released ? m_single : m_pixels.bits(); }

std::uint8_t* PixelBuffer::mutableData() { return m_released ? m_single : m_pixels.mutableBits(); }

void PixelBuffer::capture(const Bitmap& image)
{
    if (image.empty())
        subscriptOutOfRange();
    header.size = std::int32_t(kBitmapInfoHeaderSize);
    header.width = image.width();
    header.height = -image.height();
    header.planes = 1;
    header.bitCount = 32;
    header.compression = 0;
    m_released = false;
    if (!m_spare.empty() && m_spare.width() == image.width() && m_spare.height() == image.height() &&
        !m_spare.sharesPixelsWith(image)) {
        copyWithFourthBytesClear(image, m_spare.mutableBits());
        m_pixels = std::move(m_spare);
        m_spare = Bitmap();
        m_single[0] = 0;
        return;
    }
    m_spare = Bitmap();
    m_pixels = image;
    m_single[0] = 0;
    m_pixels.clearFourthBytes();
}

void PixelBuffer::release()
{
    m_spare = std::move(m_pixels);
    m_pixels = Bitmap();
    m_released = true;
    m_single[0] = 0;
}

}  // namespace vantorell
