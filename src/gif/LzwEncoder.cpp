#include "gif/LzwEncoder.h"

#include "gif/GifFormat.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace vantorell {

namespace {

// Codes packed least significant bit first. Whole 32-bit words of them move to a staging
// buffer, which is cut into sub-blocks when it fills.
//
// The width check runs after each code, against the next free code as it stands before the
// caller assigns it: the code written while nextCode is 512 is still 9 bits wide, every later
// one 10 (the classic compress rule, which a GIF decoder's one-behind table mirrors). After a
// clear the check falls back to initBits.
class CodeWriter {
public:
    CodeWriter(std::uint8_t* stage, std::size_t stageBytes, int initBits, std::vector<std::uint8_t>& out)
        : m_stage(stage), m_stageBytes(stageBytes), m_out(out), m_initBits(initBits), m_codeWidth(initBits),
          m_maxCode((1 << initBits) - 1)
    {
    }

    // Writes the code, then widens the codes when nextCode has passed the widest code of
    // the current width (or narrows them after a clear).
    [[gnu::always_inline]] void put(int code, int nextCode)
    {
        m_bits |= std::uint64_t(code) << m_bitCount;
        m_bitCount += m_codeWidth;
        if (m_bitCount >= 32) {
            const auto word = static_cast<std::uint32_t>(m_bits);
            const std::uint8_t bytes[4] = {std::uint8_t(word), std::uint8_t(word >> 8), std::uint8_t(word >> 16),
                                           std::uint8_t(word >> 24)};
            std::memcpy(m_stage + m_staged, bytes, 4);
            m_staged += 4;
            m_bits >>= 32;
            m_bitCount -= 32;
            if (m_staged >= m_stageBytes)
                m_staged = flushStage(m_stage, m_staged, false, m_out);
        }
        if (nextCode > m_maxCode || m_clearPending) {
            if (m_clearPending) {
                m_codeWidth = m_initBits;
                m_maxCode = (1 << m_codeWidth) - 1;
                m_clearPending = false;
            } else {
                ++m_codeWidth;
                m_maxCode = m_codeWidth == kLzwMaxBits ? kLzwMaxCodes : (1 << m_codeWidth) - 1;
            }
        }
    }

    // The next code after this one is a clear code: widths start again from initBits after it.
    void clearFollows() { m_clearPending = true; }

    // Pads the last byte with zero bits and writes every staged byte as sub-blocks.
    void finish()
    {
        while (m_bitCount > 0) {
            m_stage[m_staged++] = static_cast<std::uint8_t>(m_bits);
            m_bits >>= 8;
            m_bitCount -= 8;
        }
        m_staged = flushStage(m_stage, m_staged, true, m_out);
    }

private:
    // Appends the staged bytes as 254-byte sub-blocks; with `final` also the shorter rest.
    // Answers the bytes left staged.
    static std::size_t flushStage(std::uint8_t* stage, std::size_t staged, bool final, std::vector<std::uint8_t>& out)
    {
        const std::size_t whole = staged / kGifWriterSubBlock;
        const std::size_t rest = staged % kGifWriterSubBlock;
        const std::size_t at = out.size();
        out.resize(at + whole * (kGifWriterSubBlock + 1) + (final && rest ? rest + 1 : 0));
        std::uint8_t* dst = out.data() + at;
        const std::uint8_t* src = stage;
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
            return 0;
        }
        std::memmove(stage, src, rest);
        return rest;
    }

    std::uint8_t* const m_stage;
    const std::size_t m_stageBytes;
    std::vector<std::uint8_t>& m_out;
    const int m_initBits;
    int m_codeWidth;
    int m_maxCode;                 // the widest code the current width holds
    bool m_clearPending = false;
    std::uint64_t m_bits = 0;      // pending bits, least significant first; fewer than 32 between codes
    int m_bitCount = 0;
    std::size_t m_staged = 0;
};

// A recorded call: code | next free code << kEntryNextShift | kEntryClearFollows when a clear
// code follows (LzwEncoder::Part).
constexpr std::uint32_t kEntryCodeMask = 0xFFF;
constexpr int kEntryNextShift = 12;
constexpr std::uint32_t kEntryNextMask = 0x1FFF;
constexpr std::uint32_t kEntryClearFollows = 1u << 25;

// CodeWriter's calls, kept for a later CodeWriter (LzwEncoder::writeParts).
class CodeRecorder {
public:
    explicit CodeRecorder(std::vector<std::uint32_t>& entries) : m_entries(entries) { m_entries.clear(); }
    [[gnu::always_inline]] void put(int code, int nextCode)
    {
        m_entries.push_back(std::uint32_t(code) | std::uint32_t(nextCode) << kEntryNextShift |
                            (m_clearPending ? kEntryClearFollows : 0u));
        m_clearPending = false;
    }
    void clearFollows() { m_clearPending = true; }

private:
    std::vector<std::uint32_t>& m_entries;
    bool m_clearPending = false;
};

}  // namespace

LzwEncoder::LzwEncoder() { clearHash(); }

void LzwEncoder::clearHash()
{
    for (Slot& s : m_slots)
        s.key = -1;
}

bool LzwEncoder::encodeFrame(const IndexedPixels& frame, bool interlaced, int initBits, std::vector<std::uint8_t>& out)
{
    assert(initBits >= 3 && initBits <= 9);
    const int clearCode = 1 << (initBits - 1);
    const int endCode = clearCode + 1;
    int nextCode = clearCode + 2;
    if (m_stage.empty())
        m_stage.resize(kStageBytes + 16);   // on first use: documents that are only read never need it
    CodeWriter codes(m_stage.data(), kStageBytes, initBits, out);
    clearHash();

    codes.put(clearCode, nextCode);
    const std::vector<int> rows = gifRowOrder(frame.height, interlaced);
    unsigned pixelBits = 0;   // OR of every pixel: an index beyond the code size shows here
    if (frame.width > 0 && !rows.empty()) {
        // Hot loop. Invariants: `prefix` is the code of the longest string matched so far
        // (always < nextCode); a key is pixel * 4096 + prefix code, unique per (prefix, pixel);
        // 5003 is prime, so the displacement probe visits every slot and meets an empty (-1)
        // one, because the table never holds more than 4096 - 258 keys. A slot holding the key
        // 0 (prefix 0, pixel 0) also ends a probe, as in compress(1): this only ever costs
        // compression, and it is part of the exact byte sequence.
        Slot* const slots = m_slots.data();
        int prefix = -1;
        for (const int y : rows) {
            const std::uint8_t* in = frame.bits + frame.stride * y;
            const std::uint8_t* const rowEnd = in + frame.width;
            if (prefix < 0) {
                prefix = *in++;
                pixelBits |= static_cast<unsigned>(prefix);
            }
            for (; in != rowEnd; ++in) {
                const int pixel = *in;
                pixelBits |= static_cast<unsigned>(pixel);
                const std::int32_t key = (pixel << kLzwMaxBits) + prefix;
                int slot = (pixel << kHashShift) ^ prefix;
                if (slots[slot].key == key) {
                    prefix = slots[slot].code;
                    continue;
                }
                if (slots[slot].key >= 0) {
                    const int displacement = slot == 0 ? 1 : kHashSize - slot;
                    bool found = false;
                    for (;;) {
                        slot -= displacement;
                        if (slot < 0)
                            slot += kHashSize;
                        if (slots[slot].key == key) {
                            found = true;
                            break;
                        }
                        if (slots[slot].key <= 0)
                            break;
                    }
                    if (found) {
                        prefix = slots[slot].code;
                        continue;
                    }
                }
                codes.put(prefix, nextCode);
                prefix = pixel;
                if (nextCode < kLzwMaxCodes) {
                    slots[slot].code = nextCode++;
                    slots[slot].key = key;
                } else {
                    clearHash();
                    nextCode = clearCode + 2;
                    codes.clearFollows();
                    codes.put(clearCode, nextCode);
                }
            }
        }
        codes.put(prefix, nextCode);
    }
    codes.put(endCode, nextCode);
    codes.finish();
    return pixelBits < static_cast<unsigned>(clearCode);
}

}  // namespace vantorell

namespace vantorell {

void LzwEncoder::encodeFrameLossy(std::uint8_t* pixels, std::size_t count, int initBits, const std::uint8_t* rgb,
                                  int maxDistance, int transparent, std::vector<std::uint8_t>& out,
                                  const std::uint8_t* alternates, const std::uint8_t* shown)
{
    assert(initBits >= 3 && initBits <= 9);
    if (m_stage.empty())
        m_stage.resize(kStageBytes + 16);
    CodeWriter codes(m_stage.data(), kStageBytes, initBits, out);
    if (shown != nullptr)
        codeLossy<true>(pixels, count, initBits, rgb, maxDistance, transparent, codes, alternates, shown);
    else
        codeLossy<false>(pixels, count, initBits, rgb, maxDistance, transparent, codes, alternates, nullptr);
    codes.finish();
}

void LzwEncoder::encodePartLossy(std::uint8_t* pixels, std::size_t count, int initBits, const std::uint8_t* rgb,
                                 int maxDistance, int transparent, Part& part, const std::uint8_t* alternates,
                                 const std::uint8_t* shown)
{
    assert(initBits >= 3 && initBits <= 9);
    CodeRecorder codes(part.entries);
    if (shown != nullptr)
        codeLossy<true>(pixels, count, initBits, rgb, maxDistance, transparent, codes, alternates, shown);
    else
        codeLossy<false>(pixels, count, initBits, rgb, maxDistance, transparent, codes, alternates, nullptr);
    part.entries.pop_back();   // the end code: writeParts writes one after the last part
}

void LzwEncoder::writeParts(const std::vector<const Part*>& parts, int initBits, std::vector<std::uint8_t>& out)
{
    std::vector<std::uint8_t> stage(kStageBytes + 16);
    CodeWriter codes(stage.data(), kStageBytes, initBits, out);
    const int clearCode = 1 << (initBits - 1);
    int nextCode = clearCode + 2;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const std::vector<std::uint32_t>& entries = parts[k]->entries;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if ((entries[i] & kEntryClearFollows) || (k > 0 && i == 0))
                codes.clearFollows();   // a later part's first clear: at the width the part before left
            nextCode = int(entries[i] >> kEntryNextShift & kEntryNextMask);
            codes.put(int(entries[i] & kEntryCodeMask), nextCode);
        }
    }
    codes.put(clearCode + 1, nextCode);   // the end code
    codes.finish();
}

namespace {
// The squared distance of two colours when within `bound`, else -1.
int shownDistance(const std::uint8_t* a, const std::uint8_t* b, long long bound)
{
    const int d = (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
    return d <= bound ? d : -1;
}
}  // namespace

template <bool kShown, class Codes>
void LzwEncoder::codeLossy(std::uint8_t* pixels, std::size_t count, int initBits, const std::uint8_t* rgb,
                           int maxDistance, int transparent, Codes& codes, const std::uint8_t* alternates,
                           const std::uint8_t* shown)
{
    const int clearCode = 1 << (initBits - 1);
    const int endCode = clearCode + 1;
    int nextCode = clearCode + 2;
    if (m_child.empty()) {
        m_child.assign(std::size_t(kLzwMaxCodes) * 256, 0);
        m_firstChild.assign(kLzwMaxCodes, 0);
        m_nextSibling.assign(kLzwMaxCodes, 0);
        m_parent.assign(kLzwMaxCodes, 0);
        m_lastPixel.assign(kLzwMaxCodes, 0);
    }
    const auto clearTrie = [&] {
        for (int code = clearCode + 2; code < nextCode; ++code)
            m_child[std::size_t(m_parent[std::size_t(code)]) * 256 + m_lastPixel[std::size_t(code)]] = 0;
        std::fill(m_firstChild.begin(), m_firstChild.end(), std::uint16_t(0));
    };
    // Which index may stand for which: squared distances within the bound.
    const int colours = clearCode;
    const long long bound = static_cast<long long>(maxDistance) * maxDistance;
    std::vector<int> distance(std::size_t(colours) * std::size_t(colours), -1);
    if (maxDistance > 0)
        for (int a = 0; a < colours; ++a)
            for (int b = 0; b < colours; ++b) {
                if ((a == transparent) != (b == transparent))
                    continue;
                const int dr = rgb[3 * a] - rgb[3 * b], dg = rgb[3 * a + 1] - rgb[3 * b + 1],
                          db = rgb[3 * a + 2] - rgb[3 * b + 2];
                const int d = dr * dr + dg * dg + db * db;
                if (d <= bound)
                    distance[std::size_t(a) * std::size_t(colours) + std::size_t(b)] = d;
            }

    // How many more pixels from `at` the string of `code` can take in (either index of each
    // pixel), up to a short look-ahead.
    const auto reach = [&](int code, std::size_t at) {
        std::size_t length = 0;
        for (; at < count && length < 32; ++at, ++length) {
            int next = m_child[std::size_t(code) * 256 + pixels[at]];
            if (next == 0 && alternates != nullptr)
                next = m_child[std::size_t(code) * 256 + alternates[at]];
            if (next == 0)
                break;
            code = next;
        }
        return length;
    };

    codes.put(clearCode, nextCode);
    if (count > 0) {
        int prefix = pixels[0];
        for (std::size_t i = 1; i < count; ++i) {
            const int pixel = pixels[i];
            int child = m_child[std::size_t(prefix) * 256 + std::size_t(pixel)];
            if (alternates != nullptr && alternates[i] != pixel) {
                const int other = m_child[std::size_t(prefix) * 256 + alternates[i]];
                // Both continue the string: take the one that matches further ahead.
                if (other != 0 && (child == 0 || reach(other, i + 1) > reach(child, i + 1))) {
                    child = other;
                    pixels[i] = alternates[i];
                }
            }
            if (child == 0 && maxDistance > 0) {
                // The closest known extension within the bound.
                int best = -1;
                // Given what pixels show, a transparent pixel stands for its alternate's colour
                // and the transparent index for the colour the pixel shows.
                const int own = kShown && pixel == transparent && alternates != nullptr ? alternates[i] : pixel;
                int* row = distance.data() + std::size_t(own) * std::size_t(colours);
                // (The transparent entry of a colour's row is -1: patched for this pixel alone,
                // so that the search below has no test of its own for it.)
                const bool patch = kShown && transparent >= 0 && own != transparent;
                if (patch)
                    row[transparent] = shownDistance(shown + 3 * i, rgb + 3 * own, bound);
                for (int c = m_firstChild[std::size_t(prefix)]; c != 0; c = m_nextSibling[std::size_t(c)]) {
                    const int d = row[m_lastPixel[std::size_t(c)]];
                    if (d >= 0 && (best < 0 || d < best)) {
                        best = d;
                        child = c;
                    }
                }
                if (patch)
                    row[transparent] = -1;
                if (child != 0)
                    pixels[i] = m_lastPixel[std::size_t(child)];
            }
            if (child != 0) {
                prefix = child;
                continue;
            }
            // The string ends; the next one starts with whichever index reaches further.
            int start = pixel;
            if (alternates != nullptr && alternates[i] != pixel && reach(alternates[i], i + 1) > reach(pixel, i + 1)) {
                start = alternates[i];
                pixels[i] = alternates[i];
            }
            codes.put(prefix, nextCode);
            if (nextCode < kLzwMaxCodes) {
                const auto code = std::uint16_t(nextCode++);
                m_child[std::size_t(prefix) * 256 + std::size_t(start)] = code;
                m_parent[code] = std::uint16_t(prefix);
                m_lastPixel[code] = std::uint8_t(start);
                m_nextSibling[code] = m_firstChild[std::size_t(prefix)];
                m_firstChild[std::size_t(prefix)] = code;
            } else {
                clearTrie();
                nextCode = clearCode + 2;
                codes.clearFollows();
                codes.put(clearCode, nextCode);
            }
            prefix = start;
        }
        codes.put(prefix, nextCode);
    }
    codes.put(endCode, nextCode);
    clearTrie();
}

}  // namespace vantorell
