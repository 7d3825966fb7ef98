#include "platform/Bitmap.h"

#include "platform/PictureLimits.h"
#include "platform/Conversions.h"
#include "platform/FrameMemory.h"

#include <cstring>
#include <new>

namespace vantorell {

namespace {

void checkSize(int width, int height)
{
    if (width < 0 || height < 0)
        raiseOverflow();
    const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
    if (width > limits::kMaxPictureSide || height > limits::kMaxPictureSide || pixels > limits::kMaxPicturePixels)
        throw RuntimeError(errnum::Overflow, "Picture too large: " + std::to_string(width) + " x " +
                                                 std::to_string(height) + " pixels");
}

// Pictures of a few megabytes and more come straight from the kernel (platform/FrameMemory):
// the pages arrive zeroed (no fill pass), and transparent huge pages, where the system offers
// them, save one page fault per 4 KB on first touch. That matters: a 12-megapixel photograph is
// 48 MB, and the overlay's three pictures would otherwise cost some 36000 faults, each expensive
// in a virtual machine.
constexpr std::size_t kMappedFrom = std::size_t(2) << 20;

std::shared_ptr<std::uint8_t[]> allocatePixels(std::size_t bytes, bool zero)
{
    if (bytes >= kMappedFrom) {
        std::shared_ptr<FrameMemory> block;
        try {
            block = std::make_shared<FrameMemory>(bytes);
        } catch (const std::bad_alloc&) {
            throw RuntimeError(errnum::OutOfMemory, "Out of memory");
        }
        block->fillIn(bytes);   // every byte of a picture gets written
        return std::shared_ptr<std::uint8_t[]>(block, block->data());
    }
    std::uint8_t* memory = new (std::nothrow) std::uint8_t[bytes];
    if (!memory)
        throw RuntimeError(errnum::OutOfMemory, "Out of memory");
    if (zero)
        std::memset(memory, 0, bytes);
    return std::shared_ptr<std::uint8_t[]>(memory);
}

}  // namespace

Bitmap::Bitmap(int width, int height) : Bitmap(width, height, true) {}

Bitmap Bitmap::uninitialized(int width, int height) { return Bitmap(width, height, false); }

Bitmap Bitmap::adopt(int width, int height, std::shared_ptr<std::uint8_t[]> pixels)
{
    checkSize(width, height);
    Bitmap bitmap;
    if (width == 0 || height == 0 || !pixels)
        return bitmap;
    bitmap.m_pixels = std::move(pixels);
    bitmap.m_width = width;
    bitmap.m_height = height;
    return bitmap;
}

Bitmap::Bitmap(int width, int height, bool zero)
{
    checkSize(width, height);
    if (width == 0 || height == 0)
        return;
    m_pixels = allocatePixels(std::size_t(width) * std::size_t(height) * 4, zero);
    m_width = width;
    m_height = height;
}

std::uint8_t* Bitmap::mutableBits()
{
    if (m_pixels && m_pixels.use_count() > 1) {
        Bitmap own = uninitialized(m_width, m_height);
        std::memcpy(own.m_pixels.get(), m_pixels.get(), byteCount());
        m_pixels = std::move(own.m_pixels);
    }
    return m_pixels.get();
}

std::int32_t Bitmap::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return -1;
    const std::uint8_t* p = row(y) + std::size_t(x) * 4;
    return std::int32_t(p[2]) | std::int32_t(p[1]) << 8 | std::int32_t(p[0]) << 16;
}

void Bitmap::setPixel(int x, int y, std::int32_t colour)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return;
    std::uint8_t* p = mutableRow(y) + std::size_t(x) * 4;
    p[0] = std::uint8_t(colour >> 16);
    p[1] = std::uint8_t(colour >> 8);
    p[2] = std::uint8_t(colour);
    p[3] = 0;
}

void Bitmap::clearFourthBytes()
{
    const std::uint8_t* bytes = bits();
    const std::size_t count = byteCount();
    std::uint8_t any = 0;
    for (std::size_t i = 3; i < count; i += 4)
        any |= bytes[i];
    if (any == 0)
        return;
    std::uint8_t* own = mutableBits();
    for (std::size_t i = 3; i < count; i += 4)
        own[i] = 0;
}

}  // namespace vantorell
