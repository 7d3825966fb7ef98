// The GIF LZW encoder: the classic hashed compressor (5003-slot open addressing with a
// secondary displacement, codes of at most 12 bits) that turns one frame of 8-bit palette
// indices into GIF image data sub-blocks. Its output is byte for byte fixed: tests pin the
// code widths, the clear after code 4095 and the 254-byte sub-blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantorell {

// Palette indices of one frame in memory: rows top-down, `stride` bytes apart, one byte a pixel.
struct IndexedPixels {
    const std::uint8_t* bits = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
};

class LzwEncoder {
public:
    LzwEncoder();

    // Appends the frame's LZW data as sub-blocks to `out`. The caller writes the minimum code
    // size byte before (initBits - 1) and the block terminator after. Rows go in GIF order
    // (interlace passes when `interlaced`). Answers false, after writing, when a pixel holds an
    // index the code size cannot express (>= 2^(initBits - 1)): such data would not decode.
    // initBits must be 3..9.
    bool EncodeFrame(const IndexedPixels& frame, bool interlaced, int initBits, std::vector<std::uint8_t>& out);

private:
    static constexpr int kHashSize = 5003;   // a prime a little above 4096 x 1.2
    static constexpr int kHashShift = 4;     // 5003 needs four doublings to reach 65536: 8 - 4
    // Codes are packed into a staging buffer first and cut into sub-blocks when it fills
    // (CodeWriter in LzwEncoder.cpp); the buffer is kept from one frame to the next.
    static constexpr std::size_t kStageBytes = 1 << 16;

    struct Slot {
        std::int32_t key;    // pixel * 4096 + prefix code, -1 when empty
        std::int32_t code;
    };

    void clearHash();

    std::array<Slot, kHashSize> m_slots{};
    std::vector<std::uint8_t> m_stage;
};

}  // namespace vantorell
