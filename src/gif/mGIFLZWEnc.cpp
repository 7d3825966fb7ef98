#include "gif/mGIFLZWEnc.h"

#include "gif/GifFormat.h"

#include <algorithm>
#include <cassert>

namespace vantorell {

mGIFLZWEnc::mGIFLZWEnc() { clearHash(); }

void mGIFLZWEnc::clearHash() { m_keys.fill(-1); }

void mGIFLZWEnc::flushBlock()
{
    if (m_blockLen == 0)
        return;
    m_out->push_back(static_cast<std::uint8_t>(m_blockLen));
    m_out->insert(m_out->end(), m_block.begin(), m_block.begin() + static_cast<std::ptrdiff_t>(m_blockLen));
    m_blockLen = 0;
}

// Codes go out least significant bit first. The width check runs after each code, against the
// next free code as it stands before the caller assigns it: so the code written while
// nextCode is 512 is still 9 bits wide, and every later one 10 (the classic compress rule,
// which every GIF decoder's one-behind table mirrors).
void mGIFLZWEnc::output(int code)
{
    m_acc |= std::uint64_t(code) << m_accBits;
    m_accBits += m_nBits;
    while (m_accBits >= 8) {
        m_block[m_blockLen++] = static_cast<std::uint8_t>(m_acc);
        if (m_blockLen == kGifWriterSubBlock)
            flushBlock();
        m_acc >>= 8;
        m_accBits -= 8;
    }
    if (m_nextCode > m_maxCode || m_clearPending) {
        if (m_clearPending) {
            m_nBits = m_initBits;
            m_maxCode = (1 << m_nBits) - 1;
            m_clearPending = false;
        } else {
            ++m_nBits;
            m_maxCode = m_nBits == kLzwMaxBits ? kLzwMaxCodes : (1 << m_nBits) - 1;
        }
    }
    if (code == m_endCode) {
        while (m_accBits > 0) {
            m_block[m_blockLen++] = static_cast<std::uint8_t>(m_acc);
            if (m_blockLen == kGifWriterSubBlock)
                flushBlock();
            m_acc >>= 8;
            m_accBits -= std::min(m_accBits, 8);
        }
        m_acc = 0;
        flushBlock();
    }
}

bool mGIFLZWEnc::EncodeFrame(const IndexedPixels& frame, bool interlaced, int initBits, std::vector<std::uint8_t>& out)
{
    assert(initBits >= 3 && initBits <= 9);
    m_out = &out;
    m_initBits = initBits;
    m_nBits = initBits;
    m_maxCode = (1 << m_nBits) - 1;
    m_clearCode = 1 << (initBits - 1);
    m_endCode = m_clearCode + 1;
    m_nextCode = m_clearCode + 2;
    m_clearPending = false;
    m_acc = 0;
    m_accBits = 0;
    m_blockLen = 0;
    clearHash();

    output(m_clearCode);
    const std::vector<int> rows = gifRowOrder(frame.height, interlaced);
    if (frame.width <= 0 || rows.empty()) {
        output(m_endCode);
        m_out = nullptr;
        return true;
    }

    // Hot loop. Invariants: `ent` is the code of the longest string so far matched (always
    // < nextCode); a key is pixel * 4096 + prefix code, unique per (prefix, pixel); 5003 is
    // prime, so the displacement probe visits every slot and ends at an empty (-1) one,
    // because the table never holds more than 4096 - 258 keys. A slot holding the key 0 (the
    // pair prefix 0, pixel 0) also ends a probe, as in compress(1); this only ever costs
    // compression, and it is part of the exact byte sequence.
    std::int32_t* const keys = m_keys.data();
    std::uint16_t* const codes = m_codes.data();
    unsigned seen = 0;   // OR of every pixel: one index beyond the code size shows here
    int ent = -1;
    for (const int y : rows) {
        const std::uint8_t* p = frame.bits + frame.stride * y;
        const std::uint8_t* const end = p + frame.width;
        if (ent < 0)
            ent = *p++;
        for (; p != end; ++p) {
            const int c = *p;
            seen |= static_cast<unsigned>(c);
            const std::int32_t key = (c << kLzwMaxBits) + ent;
            int i = (c << kHashShift) ^ ent;
            if (keys[i] == key) {
                ent = codes[i];
                continue;
            }
            if (keys[i] >= 0) {
                const int disp = i == 0 ? 1 : kHashSize - i;
                bool found = false;
                for (;;) {
                    i -= disp;
                    if (i < 0)
                        i += kHashSize;
                    if (keys[i] == key) {
                        found = true;
                        break;
                    }
                    if (keys[i] <= 0)
                        break;
                }
                if (found) {
                    ent = codes[i];
                    continue;
                }
            }
            output(ent);
            ent = c;
            if (m_nextCode < kLzwMaxCodes) {
                codes[i] = static_cast<std::uint16_t>(m_nextCode++);
                keys[i] = key;
            } else {
                clearHash();
                m_nextCode = m_clearCode + 2;
                m_clearPending = true;
                output(m_clearCode);
            }
        }
    }
    seen |= static_cast<unsigned>(frame.bits[frame.stride * rows.front()]);
    output(ent);
    output(m_endCode);
    m_out = nullptr;
    return seen < static_cast<unsigned>(m_clearCode);
}

}  // namespace vantorell
