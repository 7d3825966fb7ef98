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
    bool encodeFrame(const IndexedPixels& frame, bool interlaced, int initBits, std::vector<std::uint8_t>& out);

    // Lossy variant over `count` contiguous pixels (rows one after another, not interlaced):
    // where the exact next pixel does not extend the current string, a known extension whose
    // colour lies within `maxDistance` (Euclidean, RGB) of the pixel's own is taken instead, so
    // strings grow longer and codes fewer. `rgb` holds red, green, blue of the 2^(initBits - 1)
    // indices the code size allows; `transparent` (-1: none) is never swapped with a colour.
    // `alternates` (nullptr: none) offers a second index for each pixel that shows the same
    // (an unchanged pixel may be stored transparent or in its own colour); it is taken when it
    // extends the string and the pixel's own does not. The pixels are rewritten to the indices
    // actually encoded. Every index must be below 2^(initBits - 1). maxDistance 0 and no
    // alternates give the exact encoding.
    // `shown` (nullptr: not known) holds red, green, blue of what each pixel shows before this
    // frame: with it, `transparent` may stand for a pixel whose shown colour lies within
    // `maxDistance` of its own, and a transparent pixel with an alternate may take a colour
    // within `maxDistance` of its alternate's.
    void encodeFrameLossy(std::uint8_t* pixels, std::size_t count, int initBits, const std::uint8_t* rgb,
                          int maxDistance, int transparent, std::vector<std::uint8_t>& out,
                          const std::uint8_t* alternates = nullptr, const std::uint8_t* shown = nullptr);

    // The codes of one part of a frame's pixels, as encodeFrameLossy would write them (from a
    // clear code, without the end code), kept to be written with writeParts().
    struct Part {
        std::vector<std::uint32_t> entries;   // code | next free code << 12 | clear follows << 25
    };

    // encodeFrameLossy's coding of `count` pixels into `part` instead of sub-blocks: parts of one
    // frame can be coded on several threads (each with an encoder of its own).
    void encodePartLossy(std::uint8_t* pixels, std::size_t count, int initBits, const std::uint8_t* rgb,
                         int maxDistance, int transparent, Part& part, const std::uint8_t* alternates = nullptr,
                         const std::uint8_t* shown = nullptr);

    // Appends the parts, in order, as one frame's LZW data: each part after the first starts
    // with its clear code, written at the width the part before ended at; then the end code.
    static void writeParts(const std::vector<const Part*>& parts, int initBits, std::vector<std::uint8_t>& out);

private:
    template <bool kShown, class Codes>   // kShown: `shown` is given (a loop of its own without)
    void codeLossy(std::uint8_t* pixels, std::size_t count, int initBits, const std::uint8_t* rgb, int maxDistance,
                   int transparent, Codes& codes, const std::uint8_t* alternates, const std::uint8_t* shown);

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
    // The lossy encoder's string table as a trie: the child code of (code, pixel), and each
    // code's first child, next sibling, parent and last pixel. Made on first use.
    std::vector<std::uint16_t> m_child;
    std::vector<std::uint16_t> m_firstChild, m_nextSibling, m_parent;
    std::vector<std::uint8_t> m_lastPixel;
};

}  // namespace vantorell
