#include "gif/LzwEncoder.h"

#include "gif/GifFormat.h"

#include <cassert>
#include <cstring>

namespace vantorell {

LzwEncoder::LzwEncoder() { clearHash(); }

void LzwEncoder::clearHash()
{
    for (Slot& s : m_slots)
        s.key = -1;
}

void LzwEncoder::flushStage(std::size_t& staged, bool final, std::vector<std::uint8_t>& out)
{
    const std::size_t whole = staged / kGifWriterSubBlock;
    const std::size_t rest = staged % kGifWriterSubBlock;
    const std::size_t at = out.size();
    out.resize(at + whole * (kGifWriterSubBlock + 1) + (final && rest ? rest + 1 : 0));
    std::uint8_t* dst = out.data() + at;
    const std::uint8_t* src = m_stage.data();
    for (std::size_t i = 0; i < whole; ++i) {
        *dst++ = static_cast<std::uint8_t>(kGifWriterSubBlock);
        std::memcpy(dst, src, kGifWriterSubBlock);
        dst += kGifWriterSubBlock;
        src += kGifWriterSubBlock;
    }
    if (final) {
        if (rest) {
            *dst++ = static_cast<std::uint8_t>(rest);
            std::memcpy(dst, src, rest);
        }
        staged = 0;
    } else {
        std::memmove(m_stage.data(), src, rest);
        staged = rest;
    }
}

bool LzwEncoder::EncodeFrame(const IndexedPixels& frame, bool interlaced, int initBits, std::vector<std::uint8_t>& out)
{
    assert(initBits >= 3 && initBits <= 9);
    const int clearCode = 1 << (initBits - 1);
    const int endCode = clearCode + 1;
    int nBits = initBits;
    int maxCode = (1 << nBits) - 1;
    int nextCode = clearCode + 2;
    bool clearPending = false;
    std::uint64_t acc = 0;   // pending bits, least significant first; fewer than 32 between codes
    int accBits = 0;
    std::size_t staged = 0;
    if (m_stage.empty())
        m_stage.resize(kStageBytes + 16);   // on first use: documents that are only read never need it
    std::uint8_t* const stage = m_stage.data();
    clearHash();

    // Codes go out least significant bit first; whole 32-bit words of them move to the stage.
    // The width check runs after each code, against the next free code as it stands before
    // the caller assigns it: the code written while nextCode is 512 is still 9 bits wide, every
    // later one 10 (the classic compress rule, which a GIF decoder's one-behind table mirrors).
    // After a clear the check falls back to initBits.
    auto emit = [&](int code) {
        acc |= std::uint64_t(code) << accBits;
        accBits += nBits;
        if (accBits >= 32) {
            const auto word = static_cast<std::uint32_t>(acc);
            const std::uint8_t bytes[4] = {std::uint8_t(word), std::uint8_t(word >> 8), std::uint8_t(word >> 16),
                                           std::uint8_t(word >> 24)};
            std::memcpy(stage + staged, bytes, 4);
            staged += 4;
            acc >>= 32;
            accBits -= 32;
            if (staged >= kStageBytes)
                flushStage(staged, false, out);
        }
        if (nextCode > maxCode || clearPending) {
            if (clearPending) {
                nBits = initBits;
                maxCode = (1 << nBits) - 1;
                clearPending = false;
            } else {
                ++nBits;
                maxCode = nBits == kLzwMaxBits ? kLzwMaxCodes : (1 << nBits) - 1;
            }
        }
    };

    emit(clearCode);
    const std::vector<int> rows = gifRowOrder(frame.height, interlaced);
    unsigned seen = 0;   // OR of every pixel: an index beyond the code size shows here
    if (frame.width > 0 && !rows.empty()) {
        // Hot loop. Invariants: `ent` is the code of the longest string matched so far (always
        // < nextCode); a key is pixel * 4096 + prefix code, unique per (prefix, pixel); 5003 is
        // prime, so the displacement probe visits every slot and meets an empty (-1) one,
        // because the table never holds more than 4096 - 258 keys. A slot holding the key 0
        // (prefix 0, pixel 0) also ends a probe, as in compress(1): this only ever costs
        // compression, and it is part of the exact byte sequence.
        Slot* const slots = m_slots.data();
        int ent = -1;
        for (const int y : rows) {
            const std::uint8_t* p = frame.bits + frame.stride * y;
            const std::uint8_t* const end = p + frame.width;
            if (ent < 0) {
                ent = *p++;
                seen |= static_cast<unsigned>(ent);
            }
            for (; p != end; ++p) {
                const int c = *p;
                seen |= static_cast<unsigned>(c);
                const std::int32_t key = (c << kLzwMaxBits) + ent;
                int i = (c << kHashShift) ^ ent;
                if (slots[i].key == key) {
                    ent = slots[i].code;
                    continue;
                }
                if (slots[i].key >= 0) {
                    const int disp = i == 0 ? 1 : kHashSize - i;
                    bool found = false;
                    for (;;) {
                        i -= disp;
                        if (i < 0)
                            i += kHashSize;
                        if (slots[i].key == key) {
                            found = true;
                            break;
                        }
                        if (slots[i].key <= 0)
                            break;
                    }
                    if (found) {
                        ent = slots[i].code;
                        continue;
                    }
                }
                emit(ent);
                ent = c;
                if (nextCode < kLzwMaxCodes) {
                    slots[i].code = nextCode++;
                    slots[i].key = key;
                } else {
                    clearHash();
                    nextCode = clearCode + 2;
                    clearPending = true;
                    emit(clearCode);
                }
            }
        }
        emit(ent);
    }
    emit(endCode);
    // The last byte is padded with zero bits.
    while (accBits > 0) {
        stage[staged++] = static_cast<std::uint8_t>(acc);
        acc >>= 8;
        accBits -= 8;
    }
    flushStage(staged, true, out);
    return seen < static_cast<unsigned>(clearCode);
}

}  // namespace vantorell
