// The LZW encoder's exact bytes: code widths, the clear after code 4095, sub-blocks, row order.
#include "gif/GifFormat.h"
#include "gif/LzwDecoder.h"
#include "gif/LzwEncoder.h"
#include "support/GifBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

namespace vantorell {
namespace {

using test::Bytes;

// A slow and obvious reference encoder, one pixel at a time through the next-pixel step (rows,
// interlace passes) and a mask table; it holds the fast encoder to the same bytes.
class ReferenceEncoder {
public:
    Bytes encode(const Bytes& pixels, int stride, int width, int height, bool interlaced, int initBits)
    {
        m_pixels = &pixels;
        m_stride = stride;
        m_width = width;
        m_height = height;
        m_interlaced = interlaced;
        m_left = std::int64_t(width) * height;
        m_x = 0;
        m_y = 0;
        m_pass = 0;
        for (int k = 0; k <= 16; ++k)
            m_masks[k] = (1u << k) - 1;
        m_initBits = initBits;
        m_nBits = initBits;
        m_maxCode = (1 << m_nBits) - 1;
        m_clearCode = 1 << (initBits - 1);
        m_endCode = m_clearCode + 1;
        m_nextCode = m_clearCode + 2;
        m_clearPending = false;
        m_accum = 0;
        m_accBits = 0;
        m_block.clear();
        m_out.clear();
        m_keys.fill(-1);

        output(m_clearCode);
        int ent = nextPixel();
        for (int c = nextPixel(); c >= 0; c = nextPixel()) {
            const std::int32_t key = c * 4096 + ent;
            int i = (c << 4) ^ ent;
            bool matched = false;
            if (m_keys[i] == key) {
                matched = true;
            } else if (m_keys[i] >= 0) {
                int d = i == 0 ? 1 : 5003 - i;
                for (;;) {
                    i -= d;
                    if (i < 0)
                        i += 5003;
                    if (m_keys[i] == key) {
                        matched = true;
                        break;
                    }
                    if (!(m_keys[i] > 0))
                        break;
                }
            }
            if (matched) {
                ent = m_codes[i];
                continue;
            }
            output(ent);
            ent = c;
            if (m_nextCode < 4096) {
                m_codes[i] = m_nextCode++;
                m_keys[i] = key;
            } else {
                m_keys.fill(-1);
                m_nextCode = m_clearCode + 2;
                m_clearPending = true;
                output(m_clearCode);
            }
        }
        output(ent);
        output(m_endCode);
        return m_out;
    }

private:
    int nextPixel()
    {
        if (m_left == 0)
            return -1;
        --m_left;
        const int p = (*m_pixels)[std::size_t(m_y) * m_stride + m_x];
        if (++m_x == m_width) {
            m_x = 0;
            if (!m_interlaced) {
                ++m_y;
            } else {
                static const int step[4] = {8, 8, 4, 2};
                static const int start[4] = {4, 2, 1, 0};
                m_y += step[m_pass];
                while (m_y >= m_height && m_pass < 3) {
                    m_y = start[m_pass];
                    ++m_pass;
                }
            }
        }
        return p;
    }
    void putByte(std::uint8_t b)
    {
        m_block.push_back(b);
        if (m_block.size() == 254)
            flush();
    }
    void flush()
    {
        if (m_block.empty())
            return;
        m_out.push_back(std::uint8_t(m_block.size()));
        m_out.insert(m_out.end(), m_block.begin(), m_block.end());
        m_block.clear();
    }
    void output(int code)
    {
        m_accum &= m_masks[m_accBits];
        m_accum |= std::uint32_t(code) << m_accBits;
        m_accBits += m_nBits;
        while (m_accBits >= 8) {
            putByte(std::uint8_t(m_accum & 0xFF));
            m_accum >>= 8;
            m_accBits -= 8;
        }
        if (m_nextCode > m_maxCode || m_clearPending) {
            if (m_clearPending) {
                m_nBits = m_initBits;
                m_maxCode = (1 << m_nBits) - 1;
                m_clearPending = false;
            } else {
                ++m_nBits;
                m_maxCode = m_nBits == 12 ? 4096 : (1 << m_nBits) - 1;
            }
        }
        if (code == m_endCode) {
            while (m_accBits > 0) {
                putByte(std::uint8_t(m_accum & 0xFF));
                m_accum >>= 8;
                m_accBits -= 8;
            }
            flush();
        }
    }

    const Bytes* m_pixels = nullptr;
    int m_stride = 0, m_width = 0, m_height = 0;
    bool m_interlaced = false;
    std::int64_t m_left = 0;
    int m_x = 0, m_y = 0, m_pass = 0;
    std::array<std::uint32_t, 17> m_masks{};
    int m_initBits = 0, m_nBits = 0, m_maxCode = 0, m_clearCode = 0, m_endCode = 0, m_nextCode = 0;
    bool m_clearPending = false;
    std::uint32_t m_accum = 0;
    int m_accBits = 0;
    std::array<std::int32_t, 5003> m_keys{};
    std::array<int, 5003> m_codes{};
    Bytes m_block, m_out;
};

Bytes encode(const Bytes& pixels, int stride, int width, int height, bool interlaced, int initBits)
{
    LzwEncoder enc;
    Bytes out;
    EXPECT_TRUE(enc.encodeFrame({pixels.data(), stride, width, height}, interlaced, initBits, out));
    return out;
}

Bytes noise(std::size_t n, int levels, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b)
        v = static_cast<std::uint8_t>(rng() % unsigned(levels));
    return b;
}

// Codes of a stream with the widths the format prescribes: code k after a clear is as wide
// as clearCode + 1 + k needs (at most 12 bits).
std::vector<std::pair<int, int>> splitCodes(const Bytes& data, int initBits)
{
    std::vector<std::pair<int, int>> codes;   // code, width
    test::CodeSplitter split(data);
    const int clear = 1 << (initBits - 1);
    int k = 0;
    for (;;) {
        int width = initBits;
        while (width < 12 && clear + 1 + k >= (1 << width))
            ++width;
        int code = 0;
        if (!split.get(width, code))
            break;
        codes.emplace_back(code, width);
        if (code == clear + 1)
            break;
        k = code == clear ? 0 : k + 1;
    }
    return codes;
}

TEST(LzwEncoder, OnePixelFrameIsClearLiteralEnd)
{
    const Bytes px{0};
    EXPECT_EQ(encode(px, 4, 1, 1, false, 9), (Bytes{0x04, 0x00, 0x01, 0x04, 0x04}));
    const auto codes = splitCodes(test::fromSubBlocks(encode(px, 4, 1, 1, false, 9)), 9);
    ASSERT_EQ(codes.size(), 3u);
    EXPECT_EQ(codes[0], std::make_pair(256, 9));
    EXPECT_EQ(codes[1], std::make_pair(0, 9));
    EXPECT_EQ(codes[2], std::make_pair(257, 9));
}

TEST(LzwEncoder, WidthStepsFrom9To10BitsAfterCode511)
{
    // Noise never repeats a pair early, so every code but the last assigns a table entry.
    const Bytes px = noise(4000, 256, 7);
    const Bytes data = test::fromSubBlocks(encode(px, 4000, 4000, 1, false, 9));
    const auto codes = splitCodes(data, 9);
    ASSERT_GT(codes.size(), 300u);
    // codes[0] is the clear; emission k is codes[k + 1]. Emission 253 assigns code 511,
    // emission 254 is written while nextCode is 512: still 9 bits. Then 10.
    EXPECT_EQ(codes[254 + 1].second, 9);
    EXPECT_EQ(codes[255 + 1].second, 10);
    for (int k = 0; k <= 254; ++k)
        ASSERT_EQ(codes[std::size_t(k) + 1].second, 9) << "emission " << k;
    EXPECT_EQ(data, test::fromSubBlocks(ReferenceEncoder().encode(px, 4000, 4000, 1, false, 9)));
}

TEST(LzwEncoder, ClearsAfterCode4095AndRestartsAt9Bits)
{
    const Bytes px = noise(20000, 256, 11);
    const Bytes data = test::fromSubBlocks(encode(px, 20000, 20000, 1, false, 9));
    const auto codes = splitCodes(data, 9);
    // Emissions 0..3837 assign codes 258..4095; emission 3838 is a prefix code in 12 bits and
    // the clear follows at once, also in 12 bits; the next code is 9 bits wide again.
    ASSERT_GT(codes.size(), 3842u);
    for (std::size_t i = 1; i < 3840; ++i)
        ASSERT_NE(codes[i].first, 256) << "early clear at " << i;
    EXPECT_EQ(codes[3838 + 1].second, 12);
    EXPECT_LT(codes[3838 + 1].first, 4096);
    EXPECT_EQ(codes[3839 + 1], std::make_pair(256, 12));
    EXPECT_EQ(codes[3840 + 1].second, 9);
    EXPECT_LT(codes[3840 + 1].first, 256);
    EXPECT_EQ(data, test::fromSubBlocks(ReferenceEncoder().encode(px, 20000, 20000, 1, false, 9)));
}

TEST(LzwEncoder, SplitsIntoSubBlocksOf254)
{
    const Bytes px = noise(3000, 256, 3);
    const Bytes out = encode(px, 100, 100, 30, false, 9);
    std::vector<std::size_t> sizes;
    const Bytes joined = test::fromSubBlocks(out, &sizes);
    ASSERT_GT(sizes.size(), 2u);
    for (std::size_t i = 0; i + 1 < sizes.size(); ++i)
        EXPECT_EQ(sizes[i], 254u);
    EXPECT_GT(sizes.back(), 0u);
    EXPECT_LT(sizes.back(), 254u);
    std::size_t total = 0;
    for (auto s : sizes)
        total += s + 1;
    EXPECT_EQ(total, out.size()) << "no terminator: the caller writes it";

    // Exactly 254 data bytes: one full sub-block and nothing more.
    bool seen254 = false;
    for (int n = 150; n < 260 && !seen254; ++n) {
        const Bytes p = noise(std::size_t(n), 256, 5);
        const Bytes o = encode(p, n, n, 1, false, 9);
        if (o.size() == 255) {
            EXPECT_EQ(o[0], 254);
            seen254 = true;
        }
    }
    EXPECT_TRUE(seen254) << "no picture of exactly 254 data bytes found";
}

TEST(LzwEncoder, InterlacedRowOrders)
{
    auto order = [](int h) { return gifRowOrder(h, true); };
    EXPECT_EQ(order(3), (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(order(4), (std::vector<int>{0, 2, 1, 3}));
    EXPECT_EQ(order(10), (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}));
    EXPECT_EQ(order(1), (std::vector<int>{0}));
    EXPECT_EQ(gifRowOrder(4, false), (std::vector<int>{0, 1, 2, 3}));

    // What is stored: decode the interlaced stream as if it were not, and row r holds the
    // source row order(h)[r].
    for (int h : {1, 2, 3, 4, 5, 9, 10, 17}) {
        const int w = 5, stride = 8;
        Bytes px(std::size_t(stride) * h, 0xEE);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                px[std::size_t(y) * stride + x] = std::uint8_t(y * 3 + x);
        const Bytes data = test::fromSubBlocks(encode(px, stride, w, h, true, 9));
        Bytes stored(std::size_t(w) * h);
        LzwDecoder dec;
        const auto r = dec.decodeFrame(data, 8, {stored.data(), w, w, h}, false);
        ASSERT_EQ(r.error, GifError::None);
        const auto rows = order(h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(stored[std::size_t(y) * w + x], px[std::size_t(rows[y]) * stride + x]) << h << " " << y;
    }
}

TEST(LzwEncoder, MatchesTheStepByStepEncoderOnMixedPictures)
{
    std::mt19937 rng(42);
    for (int round = 0; round < 60; ++round) {
        const int w = 1 + int(rng() % 97), h = 1 + int(rng() % 61);
        const int stride = w + int(rng() % 4);
        const int initBits = 3 + int(rng() % 7);
        const int levels = 1 << (initBits - 1);
        Bytes px(std::size_t(stride) * h);
        // Runs, noise and flat areas, so strings grow long and the table fills.
        int v = 0;
        for (auto& p : px) {
            if (rng() % 8 == 0)
                v = int(rng() % unsigned(levels));
            p = std::uint8_t(round % 3 == 0 ? rng() % unsigned(levels) : unsigned(v));
        }
        const bool interlaced = round % 2 == 1;
        EXPECT_EQ(encode(px, stride, w, h, interlaced, initBits),
                  ReferenceEncoder().encode(px, stride, w, h, interlaced, initBits))
            << w << "x" << h << " initBits " << initBits;
    }
    // Constant pictures reach the key-0 slot (prefix 0, pixel 0) and long strings.
    const Bytes zeros(300 * 200, 0);
    EXPECT_EQ(encode(zeros, 300, 300, 200, false, 3), ReferenceEncoder().encode(zeros, 300, 300, 200, false, 3));
}

// Given what each pixel shows, lossy coding may leave a shown pixel (the transparent index) or
// repaint an unchanged one, each within the bound of the colour the pixel stands for; the
// pixels are rewritten to exactly what decodes.
TEST(LzwEncoder, LossyCodingMayLeaveOrRepaintShownPixelsWithinTheBound)
{
    constexpr int kTransparent = 15, kColours = 16, kDistance = 20;
    std::array<std::uint8_t, 3 * kColours> rgb{};
    for (int i = 0; i < kColours; ++i)
        rgb[std::size_t(3 * i)] = rgb[std::size_t(3 * i + 1)] = rgb[std::size_t(3 * i + 2)] = std::uint8_t(i * 16);
    const auto squared = [](const std::uint8_t* a, const std::uint8_t* b) {
        return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
    };
    std::mt19937 rng(7);
    for (const bool withAlternates : {false, true}) {
        SCOPED_TRACE(withAlternates ? "alternates" : "no alternates");
        constexpr std::size_t kCount = 4000;
        Bytes own(kCount), shown(3 * kCount), pixels(kCount);
        for (std::size_t k = 0; k < kCount; ++k) {
            own[k] = std::uint8_t(rng() % (kColours - 1));
            const int level = std::clamp(int(own[k]) * 16 + int(rng() % 41) - 20, 0, 255);   // near or not
            shown[3 * k] = shown[3 * k + 1] = shown[3 * k + 2] = std::uint8_t(level);
            pixels[k] = rng() % 3 == 0 ? std::uint8_t(kTransparent) : own[k];   // unchanged, as holes
        }
        const Bytes given = pixels;
        LzwEncoder encoder;
        Bytes blocks;
        encoder.encodeFrameLossy(pixels.data(), kCount, 5, rgb.data(), kDistance, kTransparent, blocks,
                                 withAlternates ? own.data() : nullptr, shown.data());
        Bytes decoded(kCount, 0xff);
        const Bytes data = test::fromSubBlocks(blocks);
        ASSERT_EQ(LzwDecoder().decodeFrame(data, 4, {decoded.data(), std::ptrdiff_t(kCount), int(kCount), 1}, false)
                      .error,
                  GifError::None);
        EXPECT_EQ(decoded, pixels);
        int left = 0, repainted = 0;
        for (std::size_t k = 0; k < kCount; ++k) {
            const std::uint8_t* standsFor = &rgb[std::size_t(3 * own[k])];
            if (pixels[k] == kTransparent) {
                if (given[k] == kTransparent)
                    continue;   // left as given
                ++left;
                EXPECT_LE(squared(&shown[3 * k], standsFor), kDistance * kDistance) << k;
            } else {
                repainted += given[k] == kTransparent;
                EXPECT_LE(squared(&rgb[std::size_t(3 * pixels[k])], standsFor), kDistance * kDistance) << k;
            }
        }
        EXPECT_GT(left, 0);
        EXPECT_EQ(repainted > 0, withAlternates);
    }
}

TEST(LzwEncoder, IndexBeyondTheCodeSizeIsRefused)
{
    LzwEncoder enc;
    Bytes out;
    const Bytes px{0, 1, 2, 3, 4};
    EXPECT_FALSE(enc.encodeFrame({px.data(), 5, 5, 1}, false, 3, out));   // 4 needs a code size of 3
    out.clear();
    EXPECT_TRUE(enc.encodeFrame({px.data(), 5, 5, 1}, false, 4, out));
}

}  // namespace
}  // namespace vantorell
