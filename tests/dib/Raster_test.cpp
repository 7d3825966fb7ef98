#include "dib/Dib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace vantorell;

namespace {

// A 32-bit surface whose pixel (x, y) holds blue x, green y, red 7.
Dib numbered(int width, int height)
{
    Dib dib;
    EXPECT_TRUE(dib.create(width, height, 32));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = dib.scanline(y) + 4 * x;
            p[0] = std::uint8_t(x);
            p[1] = std::uint8_t(y);
            p[2] = 7;
        }
    return dib;
}

std::uint32_t at(const Dib& dib, int x, int y)
{
    std::uint32_t v;
    std::memcpy(&v, dib.scanline(y) + 4 * x, 4);
    return v;
}

std::uint32_t px(int b, int g, int r) { return std::uint32_t(b) | std::uint32_t(g) << 8 | std::uint32_t(r) << 16; }

std::uint8_t index4(const Dib& dib, int x, int y) { return (dib.scanline(y)[x / 2] >> ((x & 1) ? 0 : 4)) & 15; }

}  // namespace

TEST(Dib, StretchUsesTheFloorMappingWithoutAveraging)
{
    const Dib src = numbered(7, 5);
    Dib dst;
    ASSERT_TRUE(dst.create(3, 2, 32));
    EXPECT_EQ(src.stretch(dst.dc(), 0, 0, 3, 2), 1) << "source size 0 means the whole surface";
    // Columns floor(i * 7 / 3) = 0, 2, 4; rows floor(j * 5 / 2) = 0, 2.
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(at(dst, i, j), px(i * 7 / 3, j * 5 / 2, 7)) << i << "," << j;

    // Enlarging repeats; an offset source rectangle is honoured.
    Dib big;
    ASSERT_TRUE(big.create(6, 4, 32));
    EXPECT_EQ(src.stretch(big.dc(), 1, 1, 4, 2, 2, 3, 2, 1), 1);
    EXPECT_EQ(at(big, 0, 0), 0u) << "outside the destination rectangle";
    EXPECT_EQ(at(big, 1, 1), px(2, 3, 7));
    EXPECT_EQ(at(big, 2, 1), px(2, 3, 7));
    EXPECT_EQ(at(big, 3, 2), px(3, 3, 7));
    EXPECT_EQ(at(big, 5, 1), 0u);

    // A destination rectangle hanging off the surface is clipped, not wrapped.
    EXPECT_EQ(src.stretch(big.dc(), 4, 3, 7, 5), 1);
    EXPECT_EQ(at(big, 4, 3), px(0, 0, 7));
    EXPECT_EQ(at(big, 5, 3), px(1, 0, 7));
    EXPECT_EQ(src.stretch(big.dc(), -2, -2, 7, 5), 1);
    EXPECT_EQ(at(big, 0, 0), px(2, 2, 7));

    EXPECT_EQ(src.stretch(big.dc(), 0, 0, 0, 4), 0) << "no destination width";
    EXPECT_EQ(src.stretch(big.dc(), 0, 0, 4, 4, 0, 0, 0, 0, RasterOp(12345)), 0) << "unknown raster operation";
    EXPECT_EQ(src.stretch(std::as_const(big).dc(), 0, 0, 4, 4), 0) << "read-only destination";
}

TEST(Dib, StretchRasterOperationsCombineBitwise)
{
    Dib src, dst;
    ASSERT_TRUE(src.create(1, 1, 32));
    ASSERT_TRUE(dst.create(1, 1, 32));
    const std::uint32_t s = 0x00F0F00F, d = 0x0033CC3C;
    std::memcpy(src.bits(), &s, 4);
    std::memcpy(dst.bits(), &d, 4);
    EXPECT_EQ(src.stretch(dst.dc(), 0, 0, 1, 1, 0, 0, 1, 1, RasterOp::And), 1);
    EXPECT_EQ(at(dst, 0, 0), s & d);
    std::memcpy(dst.bits(), &d, 4);
    EXPECT_EQ(src.stretch(dst.dc(), 0, 0, 1, 1, 0, 0, 1, 1, RasterOp::Or), 1);
    EXPECT_EQ(at(dst, 0, 0), s | d);
    EXPECT_EQ(src.stretch(dst.dc(), 0, 0, 1, 1, 0, 0, 1, 1, RasterOp::Copy), 1);
    EXPECT_EQ(at(dst, 0, 0), s);

    // On indexed surfaces with the same table the operations combine the indexes (mask drawing).
    Dib mask, frame;
    ASSERT_TRUE(mask.create(9, 1, 4));
    ASSERT_TRUE(frame.create(9, 1, 4));
    std::vector<std::uint8_t> table(64);
    for (int i = 0; i < 16; ++i)
        table[std::size_t(4 * i)] = std::uint8_t(16 * i);
    mask.setPalette(table);
    frame.setPalette(table);
    mask.scanline(0)[0] = 0xC3;   // pixels 0 and 1: 12 and 3
    frame.scanline(0)[0] = 0x65;
    EXPECT_EQ(mask.stretch(frame.dc(), 0, 0, 2, 1, 0, 0, 2, 1, RasterOp::And), 1);
    EXPECT_EQ(frame.scanline(0)[0], 0xC3 & 0x65);
}

TEST(Dib, CopyFromCopiesAFullSizeBlockFromTheSource)
{
    const Dib src = numbered(8, 6);
    Dib dst;
    ASSERT_TRUE(dst.create(3, 2, 32));
    EXPECT_EQ(dst.copyFrom(src.dc(), 4, 3, 0, 0), 1);
    EXPECT_EQ(at(dst, 0, 0), px(4, 3, 7));
    EXPECT_EQ(at(dst, 2, 1), px(6, 4, 7));
    // A block partly outside the source copies what exists.
    ASSERT_TRUE(dst.create(3, 2, 32));
    EXPECT_EQ(dst.copyFrom(src.dc(), 6, 5), 1);
    EXPECT_EQ(at(dst, 1, 0), px(7, 5, 7));
    EXPECT_EQ(at(dst, 2, 0), 0u);
    EXPECT_EQ(at(dst, 0, 1), 0u);

    // From a platform bitmap.
    Bitmap bitmap(2, 2);
    bitmap.setPixel(1, 1, 0x00112233);
    EXPECT_EQ(dst.copyFrom(DibDC::ofBitmap(std::as_const(bitmap)), 0, 0), 1);
    EXPECT_EQ(at(dst, 1, 1), px(0x11, 0x22, 0x33));
}

TEST(Dib, ClearFillsWithPlainAndSystemColours)
{
    Dib dib;
    ASSERT_TRUE(dib.create(3, 2, 32));
    dib.clear(0x00112233);   // 0x00BBGGRR
    EXPECT_EQ(at(dib, 2, 1), px(0x11, 0x22, 0x33));
    dib.clear(std::int32_t(0x80000005u));   // the window colour: white
    EXPECT_EQ(at(dib, 0, 0), px(255, 255, 255));
    dib.clear(std::int32_t(0x8000000Fu));   // the button face
    EXPECT_EQ(at(dib, 1, 0), px(0xC8, 0xD0, 0xD4));

    Dib grey;
    ASSERT_TRUE(grey.create(5, 1, 8));
    std::vector<std::uint8_t> table(1024);
    for (int i = 0; i < 256; ++i)
        table[std::size_t(4 * i)] = table[std::size_t(4 * i + 1)] = table[std::size_t(4 * i + 2)] = std::uint8_t(i);
    grey.setPalette(table);
    grey.clear(0x00646464);
    EXPECT_EQ(grey.scanline(0)[4], 100) << "the nearest colour-table entry";

    Dib packed;
    ASSERT_TRUE(packed.create(9, 1, 1));
    packed.setPalette(std::vector<std::uint8_t>{0, 0, 0, 0, 255, 255, 255, 0});
    packed.clear(0x00FFFFFF);
    EXPECT_EQ(packed.scanline(0)[0], 0xFF);
    EXPECT_EQ(packed.scanline(0)[1], 0x80);
    EXPECT_EQ(packed.scanline(0)[2], 0) << "padding is not drawn";
}

TEST(Dib, ResizeStretchesOrCutsBothWays)
{
    Dib dib = numbered(6, 4);
    // Without stretching, larger: old pixels at the top-left, zero elsewhere.
    dib.resize(8, 5, ResizeMode::Crop);
    ASSERT_EQ(dib.width(), 8);
    ASSERT_EQ(dib.height(), 5);
    EXPECT_EQ(at(dib, 5, 3), px(5, 3, 7));
    EXPECT_EQ(at(dib, 6, 0), 0u);
    EXPECT_EQ(at(dib, 0, 4), 0u);
    // Without stretching, smaller: cut at the new size.
    dib.resize(2, 2, ResizeMode::Crop);
    EXPECT_EQ(at(dib, 1, 1), px(1, 1, 7));

    // Stretching down drops rows and columns; stretching back up repeats them.
    Dib s = numbered(6, 4);
    s.resize(3, 2, ResizeMode::Stretch);
    EXPECT_EQ(at(s, 0, 0), px(0, 0, 7));
    EXPECT_EQ(at(s, 1, 0), px(2, 0, 7));
    EXPECT_EQ(at(s, 2, 1), px(4, 2, 7));
    s.resize(6, 4, ResizeMode::Stretch);
    EXPECT_EQ(at(s, 3, 3), px(2, 2, 7));
    EXPECT_EQ(at(s, 5, 2), px(4, 2, 7));

    // 8-bit surfaces keep their colour table through both ways.
    Dib eight;
    ASSERT_TRUE(eight.create(4, 4, 8));
    eight.setPalette(std::vector<std::uint8_t>{1, 2, 3, 0, 4, 5, 6, 0});
    eight.scanline(2)[2] = 1;   // kept: 2 = floor(1 x 4 / 2)
    eight.scanline(3)[3] = 1;   // dropped
    eight.resize(2, 2, ResizeMode::Stretch);
    EXPECT_EQ(eight.scanline(1)[1], 1);
    EXPECT_EQ(eight.colourTable()[4], 4);
    eight.resize(5, 5, ResizeMode::Crop);
    EXPECT_EQ(eight.scanline(1)[1], 1);
    EXPECT_EQ(eight.colourTable()[4], 4);
    EXPECT_EQ(eight.bytesPerScanline(), 8);
}

TEST(Dib, ConvertsBetweenDepthsThroughTheColourTable)
{
    Dib four;
    ASSERT_TRUE(four.create(3, 1, 4));
    std::vector<std::uint8_t> table(64, 0);
    table[4 * 2 + 2] = 255;   // entry 2: red
    table[4 * 9 + 1] = 255;   // entry 9: green
    four.setPalette(table);
    four.scanline(0)[0] = 0x29;
    four.scanline(0)[1] = 0x20;
    const Picture picture = four.toPicture();
    ASSERT_EQ(picture.width(), 3);
    EXPECT_EQ(picture.bitmap().pixel(0, 0), 0x0000FF);   // 0x00BBGGRR: red
    EXPECT_EQ(picture.bitmap().pixel(1, 0), 0x00FF00);
    EXPECT_EQ(picture.bitmap().pixel(2, 0), 0x0000FF);

    // True colour into an indexed surface takes the nearest entry.
    Dib back;
    ASSERT_TRUE(back.create(3, 1, 4));
    back.setPalette(table);
    EXPECT_EQ(back.copyFrom(DibDC::ofBitmap(picture.bitmap()), 0, 0), 1);
    EXPECT_EQ(index4(back, 0, 0), 2);
    EXPECT_EQ(index4(back, 1, 0), 9);

    // 16 bits per pixel is 5-5-5.
    Dib sixteen;
    ASSERT_TRUE(sixteen.create(1, 1, 16));
    const Picture white = [] {
        Bitmap b(1, 1);
        b.setPixel(0, 0, 0x00FFFFFF);
        return Picture(b);
    }();
    EXPECT_EQ(sixteen.copyFrom(DibDC::ofBitmap(white.bitmap()), 0, 0), 1);
    EXPECT_EQ(sixteen.scanline(0)[0], 0xFF);
    EXPECT_EQ(sixteen.scanline(0)[1], 0x7F);
    EXPECT_EQ(sixteen.toPicture().bitmap().pixel(0, 0), 0x00FFFFFF);
}

TEST(Dib, CreateFromPictureCopiesTheBitmap)
{
    Bitmap bitmap(4, 3);
    bitmap.setPixel(3, 2, 0x00010203);
    const Picture picture(bitmap);
    Dib dib;
    EXPECT_EQ(dib.createFromPicture(picture, false), 32);
    EXPECT_EQ(dib.width(), 4);
    EXPECT_EQ(dib.BPP(), 32);
    EXPECT_EQ(at(dib, 3, 2), px(1, 2, 3));
    const Picture again = dib.toPicture();
    EXPECT_EQ(again.bitmap().pixel(3, 2), 0x00010203);
    EXPECT_FALSE(again.bitmap().sharesPixelsWith(bitmap));

    EXPECT_EQ(dib.createFromPicture(Picture(), true), 0);
    EXPECT_EQ(dib.width(), 4) << "an empty picture leaves the surface as it was";
}

TEST(stretchBlt, RandomRectanglesFollowTheFloorMappingAndStayInside)
{
    const Dib src = numbered(9, 7);
    std::mt19937 random(3);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 400; ++round) {
        Dib dst;
        ASSERT_TRUE(dst.create(pick(1, 12), pick(1, 12), 32));
        std::memset(dst.bits(), 0xEE, std::size_t(dst.size()));
        const int x = pick(-10, 12), y = pick(-10, 12), w = pick(1, 20), h = pick(1, 20);
        const int xs = pick(-5, 10), ys = pick(-5, 8), ws = pick(-12, 12), hs = pick(-12, 12);
        const int sw = ws < 1 ? 9 : ws, sh = hs < 1 ? 7 : hs;
        ASSERT_EQ(src.stretch(dst.dc(), x, y, w, h, xs, ys, ws, hs), 1);
        for (int dy = 0; dy < dst.height(); ++dy)
            for (int dx = 0; dx < dst.width(); ++dx) {
                const int i = dx - x, j = dy - y;
                std::uint32_t want = 0xEEEEEEEEu;
                if (i >= 0 && i < w && j >= 0 && j < h) {
                    const int sx = xs + i * sw / w, sy = ys + j * sh / h;   // non-negative products: floor
                    if (sx >= 0 && sx < 9 && sy >= 0 && sy < 7)
                        want = px(sx, sy, 7);
                }
                ASSERT_EQ(at(dst, dx, dy), want) << "round " << round << " at " << dx << "," << dy;
            }
    }
}
