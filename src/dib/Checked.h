// The one place where surface sizes are computed. The surface's sizes are 32-bit signed values
// (as the bitmap information header stores them); a product that does not fit raises the
// run-time overflow error instead of wrapping.
#pragma once

#include "platform/Conversions.h"

#include <cstdint>
#include <limits>
#include <optional>

namespace vantorell::checked {

// The widest row a 32-bit bit count can describe once padded: 2147483616 bits + 31 still fits.
inline constexpr std::int64_t kMaxRowBits = 2147483616;
inline constexpr std::int64_t kMaxSize = std::numeric_limits<std::int32_t>::max();

// Bytes of one stored row, padded to a multiple of 4 bytes; nullopt when the row's bit count
// (width x bits per pixel + 31) does not fit in 32 bits.
constexpr std::optional<std::int32_t> rowBytes(std::int64_t width, std::int64_t bitsPerPixel)
{
    const std::int64_t bits = width * bitsPerPixel;
    if (width < 0 || bitsPerPixel < 0 || bits > kMaxRowBits)
        return std::nullopt;
    return static_cast<std::int32_t>((bits + 31) / 32 * 4);
}

// Bytes of rows x height; nullopt beyond 32 bits.
constexpr std::optional<std::int32_t> imageBytes(std::int64_t rowBytes, std::int64_t height)
{
    if (rowBytes < 0 || height < 0)
        return std::nullopt;
    const std::int64_t bytes = rowBytes * height;
    if (bytes > kMaxSize)
        return std::nullopt;
    return static_cast<std::int32_t>(bytes);
}

inline std::int32_t rowBytesOrRaise(std::int64_t width, std::int64_t bitsPerPixel)
{
    const auto bytes = rowBytes(width, bitsPerPixel);
    if (!bytes)
        raiseOverflow();
    return *bytes;
}

inline std::int32_t imageBytesOrRaise(std::int64_t rowBytes, std::int64_t height)
{
    const auto bytes = imageBytes(rowBytes, height);
    if (!bytes)
        raiseOverflow();
    return *bytes;
}

}  // namespace vantorell::checked
