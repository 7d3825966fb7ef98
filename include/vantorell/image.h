// Image: pixels in memory, 8 bits a channel, top row first, either owning its bytes (shared
// between copies, copied before a write) or a borrowed view of the caller's bytes, which must
// outlive it.
#pragma once

#include "vantorell/export.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vantorell::api {

enum class PixelFormat {
    Rgb24,    // red, green, blue
    Bgra32,   // blue, green, red, alpha: alpha is ignored on input and 255 on output
};

inline constexpr int bytesPerPixel(PixelFormat format) { return format == PixelFormat::Rgb24 ? 3 : 4; }

class VANTORELL_API Image {
public:
    Image() = default;   // empty: no pixels

    // A new image of width x height, every byte 0 (alpha 255 for Bgra32).
    static Image allocate(int width, int height, PixelFormat format);
    // A borrowed view of `bytes`, rows `stride` bytes apart (0: width x bytesPerPixel). Throws
    // Error(InvalidArgument) for a null or short buffer, a stride below a row or a size below 1,
    // Error(TooLarge) beyond 32767 a side.
    static Image view(std::span<const std::uint8_t> bytes, int width, int height, PixelFormat format,
                      std::size_t stride = 0);
    // An owning copy of such bytes (the same checks), with rows packed.
    static Image copyOf(std::span<const std::uint8_t> bytes, int width, int height, PixelFormat format,
                        std::size_t stride = 0);

    bool empty() const { return m_width <= 0; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    std::size_t stride() const { return m_stride; }
    PixelFormat format() const { return m_format; }
    bool owning() const { return m_storage != nullptr; }
    const std::uint8_t* data() const { return m_data; }
    const std::uint8_t* row(int y) const { return m_data + m_stride * std::size_t(y); }
    // The bytes to write: an owning image is made sole owner of them first; a view gets an
    // owning copy first.
    std::uint8_t* mutableData();
    // An owning copy in `format`.
    Image converted(PixelFormat format) const;

private:
    std::shared_ptr<std::vector<std::uint8_t>> m_storage;
    const std::uint8_t* m_data = nullptr;
    int m_width = 0;
    int m_height = 0;
    std::size_t m_stride = 0;
    PixelFormat m_format = PixelFormat::Rgb24;
};

}  // namespace vantorell::api
