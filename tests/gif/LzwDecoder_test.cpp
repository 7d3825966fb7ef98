// The LZW decoder: round trips with the encoder, and each decision about damaged data.
#include "gif/LzwDecoder.h"
#include "gif/LzwEncoder.h"
#include "support/GifBytes.h"

#include <gtest/gtest.h>

#include <random>

namespace vantorell {
namespace {

using test::Bytes;

Bytes encodeJoined(const Bytes& px, int w, int h, bool interlaced, int initBits)
{
    LzwEncoder enc;
    Bytes out;
    EXPECT_TRUE(enc.encodeFrame({px.data(), w, w, h}, interlaced, initBits, out));
    return test::fromSubBlocks(out);
}

TEST(LzwDecoder, RoundTripsEveryCodeSizeStrideAndInterlace)
{
    std::mt19937 rng(1);
    LzwDecoder dec;   // one decoder for all: tables must not leak between frames
    for (int round = 0; round < 80; ++round) {
        const int minCodeSize = 2 + round % 7;
        const int w = 1 + int(rng() % 150), h = 1 + int(rng() % 90);
        const bool interlaced = round % 3 == 0;
        Bytes px(std::size_t(w) * h);
        int v = 0;
        for (auto& p : px) {
            if (rng() % 5 == 0)
                v = int(rng() % (1u << minCodeSize));
            p = std::uint8_t(v);
        }
        const Bytes data = encodeJoined(px, w, h, interlaced, minCodeSize + 1);
        const int stride = w + 3;
        Bytes out(std::size_t(stride) * h, 0xAB);
        const auto r = dec.decodeFrame(data, minCodeSize, {out.data(), stride, w, h}, interlaced);
        ASSERT_EQ(r.error, GifError::None);
        ASSERT_EQ(r.pixels, std::uint64_t(w) * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(out[std::size_t(y) * stride + x], px[std::size_t(y) * w + x]) << round;
            for (int x = w; x < stride; ++x)
                ASSERT_EQ(out[std::size_t(y) * stride + x], 0xAB) << "padding written";
        }
    }
}

// Noise compresses to more bytes than it has pixels. A reader that stops once the byte
// position reaches width x height would cut this picture short.
TEST(LzwDecoder, NoiseFrameWithMoreDataThanPixelsDecodesWhole)
{
    std::mt19937 rng(9);
    const int w = 16, h = 16;
    Bytes px(std::size_t(w) * h);
    for (auto& p : px)
        p = std::uint8_t(rng());
    const Bytes data = encodeJoined(px, w, h, false, 9);
    ASSERT_GT(data.size(), px.size());
    Bytes out(px.size());
    const auto r = LzwDecoder().decodeFrame(data, 8, {out.data(), w, w, h}, false);
    EXPECT_EQ(r.error, GifError::None);
    EXPECT_EQ(out, px);
}

// With a minimum code size of 2 and one colour, the strings grow by one pixel per code until
// the table is full: the last are over 4000 pixels long. The table holds 4096 entries, so
// the string stack must hold 4096 pixels.
TEST(LzwDecoder, LongestStringOfAFullTableDecodes)
{
    const int w = 4096, h = 2048;
    Bytes px(std::size_t(w) * h, 1);
    px.back() = 2;
    const Bytes data = encodeJoined(px, w, h, false, 3);
    Bytes out(px.size(), 0);
    const auto r = LzwDecoder().decodeFrame(data, 2, {out.data(), w, w, h}, false);
    EXPECT_EQ(r.error, GifError::None);
    EXPECT_TRUE(out == px);
}

TEST(LzwDecoder, CodeBeyondNextFreeCodeEndsTheImageKeepingPixels)
{
    test::CodeWriter cw;
    cw.put(4, 3);   // clear (min code size 2)
    cw.put(1, 3);
    cw.put(2, 3);   // next is now 7
    cw.put(3, 3);   // next 8 > 7: width 4 from here
    cw.put(9, 4);   // beyond next (8)
    cw.put(1, 4);
    const Bytes data = cw.finish();
    Bytes out(8, 0xEE);
    const auto r = LzwDecoder().decodeFrame(data, 2, {out.data(), 8, 8, 1}, false);
    EXPECT_EQ(r.error, GifError::BadLzwCode);
    EXPECT_EQ(r.pixels, 3u);
    EXPECT_EQ(out, (Bytes{1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(LzwDecoder, CodeEqualToNextNeedsAPreviousCode)
{
    {   // clear, then code 6 (== next) with no previous code
        test::CodeWriter cw;
        cw.put(4, 3);
        cw.put(6, 3);
        Bytes out(4, 0);
        EXPECT_EQ(LzwDecoder().decodeFrame(cw.finish(), 2, {out.data(), 4, 4, 1}, false).error,
                  GifError::BadLzwCode);
    }
    {   // KwKwK: 1, then 6 = "1" + "1"
        test::CodeWriter cw;
        cw.put(4, 3);
        cw.put(1, 3);
        cw.put(6, 3);
        cw.put(5, 3);
        Bytes out(3, 0);
        const auto r = LzwDecoder().decodeFrame(cw.finish(), 2, {out.data(), 3, 3, 1}, false);
        EXPECT_EQ(r.error, GifError::None);
        EXPECT_EQ(out, (Bytes{1, 1, 1}));
    }
}

// Decision: a stream that does not open with the clear code is read as if it did (giflib does
// the same), so no pixel is lost; the peer test checks giflib agrees on the same file.
TEST(LzwDecoder, FirstCodeNotClearIsReadAsAfterAClear)
{
    test::CodeWriter cw;
    cw.put(3, 3);
    cw.put(2, 3);
    cw.put(5, 3);
    Bytes out(2, 0);
    const auto r = LzwDecoder().decodeFrame(cw.finish(), 2, {out.data(), 2, 2, 1}, false);
    EXPECT_EQ(r.error, GifError::None);
    EXPECT_EQ(out, (Bytes{3, 2}));

    test::CodeWriter bad;   // first code a table code: nothing to refer to
    bad.put(6, 3);
    EXPECT_EQ(LzwDecoder().decodeFrame(bad.finish(), 2, {out.data(), 2, 2, 1}, false).error, GifError::BadLzwCode);
}

TEST(LzwDecoder, StopsAtEndCodeLastPixelOrEndOfData)
{
    const Bytes px{1, 2, 3, 1, 2, 3, 1, 2, 3, 0};
    {   // end code before the last pixel: the rest stays as it was
        test::CodeWriter cw;
        cw.put(4, 3);
        cw.put(1, 3);
        cw.put(5, 3);
        Bytes out(4, 9);
        const auto r = LzwDecoder().decodeFrame(cw.finish(), 2, {out.data(), 4, 4, 1}, false);
        EXPECT_EQ(r.error, GifError::None);
        EXPECT_EQ(out, (Bytes{1, 9, 9, 9}));
    }
    {   // data beyond the last pixel (and no end code) is ignored
        Bytes data = test::literalCodes(px, 2);
        Bytes out(5, 9);
        const auto r = LzwDecoder().decodeFrame(data, 2, {out.data(), 5, 5, 1}, false);
        EXPECT_EQ(r.error, GifError::None);
        EXPECT_EQ(out, (Bytes{1, 2, 3, 1, 2}));
    }
    {   // data end without an end code
        Bytes data = test::literalCodes(px, 2);
        data.resize(3);
        Bytes out(10, 9);
        const auto r = LzwDecoder().decodeFrame(data, 2, {out.data(), 10, 10, 1}, false);
        EXPECT_EQ(r.error, GifError::LzwDataEnded);
        EXPECT_GT(r.pixels, 0u);
        EXPECT_LT(r.pixels, 10u);
        EXPECT_EQ(out[0], 1);
        EXPECT_EQ(out[9], 9);
    }
    {   // nothing at all
        Bytes out(4, 9);
        EXPECT_EQ(LzwDecoder().decodeFrame({}, 2, {out.data(), 4, 4, 1}, false).error, GifError::LzwDataEnded);
    }
}

TEST(LzwDecoder, LiteralWidthOutsideOneToEightDecodesNothing)
{
    Bytes out(4, 9);
    const Bytes data{0xFF, 0xFF, 0xFF};
    EXPECT_EQ(LzwDecoder().decodeFrame(data, 0, {out.data(), 4, 4, 1}, false).error, GifError::BadLiteralWidth);
    EXPECT_EQ(LzwDecoder().decodeFrame(data, 9, {out.data(), 4, 4, 1}, false).error, GifError::BadLiteralWidth);
    EXPECT_EQ(LzwDecoder().decodeFrame(data, 12, {out.data(), 4, 4, 1}, false).error, GifError::BadLiteralWidth);
    EXPECT_EQ(out, (Bytes{9, 9, 9, 9}));

    // A minimum code size of 1 (two colours, codes from 2 bits) is accepted.
    const Bytes px{1, 0, 0, 1};
    const Bytes data1 = test::literalCodes(px, 1);
    const auto r = LzwDecoder().decodeFrame(data1, 1, {out.data(), 4, 4, 1}, false);
    EXPECT_EQ(r.error, GifError::None);
    EXPECT_EQ(out, px);
}

TEST(LzwDecoder, FullTableWaitsForClear)
{
    // Min code size 2, literals only: after 4090 entries the table is full, codes stay 12
    // bits, and further literals still decode without adding entries.
    test::CodeWriter cw;
    const int clear = 4;
    cw.put(clear, 3);
    int next = 6, width = 3;
    Bytes expect;
    bool first = true;
    for (int i = 0; i < 4200; ++i) {
        const int v = i % 4;
        cw.put(v, width);
        expect.push_back(std::uint8_t(v));
        if (!first && next < 4096) {
            ++next;
            if (next > (1 << width) - 1 && width < 12)
                ++width;
        }
        first = false;
    }
    cw.put(clear + 1, width);
    Bytes out(expect.size(), 0);
    const auto r = LzwDecoder().decodeFrame(cw.finish(), 2, {out.data(), int(out.size()), int(out.size()), 1}, false);
    EXPECT_EQ(r.error, GifError::None);
    EXPECT_EQ(out, expect);
}

}  // namespace
}  // namespace vantorell
