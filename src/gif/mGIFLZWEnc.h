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

class mGIFLZWEnc {
public:
    mGIFLZWEnc();

    // Appends the frame's LZW data as sub-blocks to `out`. The caller writes the minimum code
    // size byte before (initBits - 1) and the block terminator after. Rows go in GIF order
    // (interlace passes when `interlaced`). Answers false, after writing, when a pixel holds an
    // index the code size cannot express (>= 2^(initBits - 1)): such data would not decode.
    // initBits must be 3..9.
    bool EncodeFrame(const IndexedPixels& frame, bool interlaced, int initBits, std::vector<std::uint8_t>& out);

private:
    static constexpr int kHashSize = 5003;   // a prime a little above 4096 x 1.2
    static constexpr int kHashShift = 4;     // 5003 needs four doublings to reach 65536: 8 - 4

    void clearHash();
    void output(int code);
    void flushBlock();

    std::array<std::int32_t, kHashSize> m_keys{};
    std::array<std::uint16_t, kHashSize> m_codes{};

    // Per-frame state, reset by EncodeFrame.
    std::vector<std::uint8_t>* m_out = nullptr;
    int m_initBits = 9;
    int m_nBits = 9;
    int m_maxCode = 511;
    int m_clearCode = 256;
    int m_endCode = 257;
    int m_nextCode = 258;
    bool m_clearPending = false;
    std::uint64_t m_acc = 0;
    int m_accBits = 0;
    std::array<std::uint8_t, 256> m_block{};
    std::size_t m_blockLen = 0;
};

}  // namespace vantorell
