// The GIF LZW decoder: turns the gathered data sub-blocks of one image into palette indices
// in 8-bit pixel memory. Every code is checked against the table, strings are bounded by the
// 4096-entry table, and output stops at the frame's last pixel, so no input can make it
// read or write outside its buffers.
#pragma once

#include "gif/GifFormat.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vantorell {

// Writable 8-bit pixel memory of one frame: rows top-down, `stride` bytes apart.
struct IndexedTarget {
    std::uint8_t* bits = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
};

struct LzwResult {
    // None: stopped at the end code or at the last pixel. Otherwise why decoding ended early;
    // the pixels decoded so far stay, the rest keep what the memory held.
    GifError error = GifError::None;
    std::uint64_t pixels = 0;   // pixels written
};

class LzwDecoder {
public:
    LzwDecoder();

    // `data` is the image's data sub-blocks joined together (length bytes removed);
    // `minCodeSize` the byte that precedes them.
    //
    // Decisions about damaged data, each pinned by a test:
    // - A minimum code size of 0 or above 8 decodes nothing (BadLiteralWidth). 1 is accepted,
    //   as giflib does: some writers use it for two-colour images.
    // - A stream whose first code is not the clear code is read as if a clear came first
    //   (giflib and browsers do the same); its first code then must be a literal.
    // - A code above the next free code, or a non-literal code straight after a clear, ends
    //   the image (BadLzwCode); so does a code equal to the next free code with no previous one.
    // - Once the table holds 4096 entries no more are added until a clear code comes (giflib).
    // - Decoding stops at the end code, at the frame's last pixel (any further data is ignored,
    //   as Wuffs' QUIRK_IGNORE_TOO_MUCH_PIXEL_DATA), or when the data end (LzwDataEnded).
    LzwResult decodeFrame(std::span<const std::uint8_t> data, int minCodeSize, const IndexedTarget& target,
                          bool interlaced);

private:
    std::array<std::uint16_t, kLzwMaxCodes> m_prefix{};
    std::array<std::uint8_t, kLzwMaxCodes> m_suffix{};
    std::array<std::uint8_t, kLzwMaxCodes> m_first{};
    std::array<std::uint16_t, kLzwMaxCodes> m_length{};
    std::array<std::uint8_t, kLzwMaxCodes> m_stack{};   // the longest string a full table can hold
};

}  // namespace vantorell
