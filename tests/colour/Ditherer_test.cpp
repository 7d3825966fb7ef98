#include "colour/Ditherer.h"

#include "colour/Palette8.h"
#include "dib/Dib.h"
#include "platform/RuntimeError.h"

#include "support/RandomDib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace vantorell;

namespace {

Dib uniformPicture(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    Dib dib;
    EXPECT_TRUE(dib.create(width, height, 32));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = dib.scanline(y) + 4 * x;
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    return dib;
}

using test::randomPicture;

// Direct formulas, independent of the module's tables.
int level(int v, int divisor, int top) { return std::clamp(int(std::lround(double(v) / divisor)), 0, top); }
int shareOf(int k, int e) { return int(std::nearbyint(double(k * e) / 16.0)); }
constexpr int kBayer[4][4] = {{1, 9, 3, 11}, {13, 5, 15, 7}, {4, 12, 2, 10}, {16, 8, 14, 6}};

int threshold51(int x, int y) { return int(std::nearbyint(kBayer[y & 3][x & 3] * 51.0 / 16.0)); }

// Reference error diffusion on int channels; asserts every value stays a byte.
std::vector<std::uint8_t> referenceDiffusion(const Dib& src, const std::uint8_t* palette, bool optimal,
                                             const Ditherer& module)
{
    const int w = src.width(), h = src.height();
    std::vector<int> v(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                v[(std::size_t(y) * w + x) * 3 + c] = src.scanline(y)[4 * x + c];
    std::vector<std::uint8_t> out(std::size_t(w) * h);
    const auto add = [&](int x, int y, int k, const int e[3]) {
        for (int c = 0; c < 3; ++c) {
            int& value = v[(std::size_t(y) * w + x) * 3 + c];
            value = std::clamp(value + shareOf(k, e[c]), 0, 255);
        }
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int* p = &v[(std::size_t(y) * w + x) * 3];
            for (int c = 0; c < 3; ++c)
                EXPECT_TRUE(p[c] >= 0 && p[c] <= 255) << "channel left 0..255 at " << x << "," << y;
            int index;
            if (optimal)
                index = module.optimalLookup(256 * level(p[0], 17, 15) + 16 * level(p[1], 17, 15) +
                                             level(p[2], 17, 15));
            else
                index = 36 * level(p[0], 51, 5) + 6 * level(p[1], 51, 5) + level(p[2], 51, 5);
            out[std::size_t(y) * w + x] = std::uint8_t(index);
            const int e[3] = {p[0] - palette[4 * index], p[1] - palette[4 * index + 1], p[2] - palette[4 * index + 2]};
            if (std::abs(e[0]) + std::abs(e[1]) + std::abs(e[2]) < 4)
                continue;
            if (x < w - 1)
                add(x + 1, y, 7, e);
            if (y < h - 1) {
                add(x, y + 1, 5, e);
                if (x < w - 1)
                    add(x + 1, y + 1, 1, e);
                if (x > 0)
                    add(x - 1, y + 1, 3, e);
            }
        }
    return out;
}

std::vector<std::uint8_t> indexes(const Dib& dib)
{
    std::vector<std::uint8_t> out;
    for (int y = 0; y < dib.height(); ++y)
        out.insert(out.end(), dib.scanline(y), dib.scanline(y) + dib.width());
    return out;
}

}  // namespace

TEST(Ditherer, TablesHoldTheStatedValues)
{
    Ditherer d;
    EXPECT_EQ(d.halftoneLevel(-51), 0);
    EXPECT_EQ(d.halftoneLevel(25), 0);
    EXPECT_EQ(d.halftoneLevel(26), 1);
    EXPECT_EQ(d.halftoneLevel(128), 3);
    EXPECT_EQ(d.halftoneLevel(127), 2);
    EXPECT_EQ(d.halftoneLevel(280), 5);
    EXPECT_EQ(d.optimalLevel(-8), 0);
    EXPECT_EQ(d.optimalLevel(8), 0);
    EXPECT_EQ(d.optimalLevel(9), 1);
    EXPECT_EQ(d.optimalLevel(262), 15);
    // Error shares round half to even.
    EXPECT_EQ(d.errorShare(1, 8), 0);
    EXPECT_EQ(d.errorShare(1, 24), 2);
    EXPECT_EQ(d.errorShare(7, 8), 4);
    EXPECT_EQ(d.errorShare(1, -8), 0);
    EXPECT_EQ(d.errorShare(3, 8), 2);    // 1.5
    EXPECT_EQ(d.errorShare(5, -8), -2);  // -2.5
    EXPECT_EQ(d.errorShare(5, 255), 80);
    EXPECT_EQ(d.errorShare(7, -255), -112);
    const int m51[4][4] = {{3, 29, 10, 35}, {41, 16, 48, 22}, {13, 38, 6, 32}, {51, 26, 45, 19}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(d.halftoneThreshold(x, y), m51[y][x]);
            EXPECT_EQ(d.bayerThreshold(x, y), kBayer[y][x]);
        }
    for (int i = 0; i < 216; ++i)
        ASSERT_EQ(d.cubeIndex(i), i);
    for (int i = -51; i <= 280; ++i)
        ASSERT_EQ(d.halftoneLevel(i), level(i, 51, 5)) << i;
}

TEST(Ditherer, OrderedHalftoneLevelsAtEveryMatrixPosition)
{
    Ditherer d;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const int m = d.halftoneThreshold(x, y);
            EXPECT_EQ(d.halftoneLevel(0 + 26 - m), 0);
            EXPECT_EQ(d.halftoneLevel(255 + 26 - m), 5);
            EXPECT_EQ(d.halftoneLevel(25 + 26 - m), m <= 22 ? 1 : 0) << "threshold " << m;
        }
}

TEST(Ditherer, MidGreyOrderedGivesTheFixedPattern)
{
    Ditherer d;
    d.setDitherMode(DitherMode::Ordered);
    Palette8 pal;
    Dib dst;
    const Dib grey = uniformPicture(9, 7, 128, 128, 128);
    d.ditherTo8bpp(grey, dst, pal, false);
    ASSERT_EQ(dst.BPP(), 8);
    ASSERT_EQ(dst.width(), 9);
    EXPECT_EQ(pal.entries(), 216);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(dst.scanline(y)[x], d.halftoneThreshold(x, y) < 27 ? 129 : 86) << x << "," << y;
    // The destination carries all 256 palette entries as its colour table.
    EXPECT_EQ(0, std::memcmp(dst.colourTable().data(), pal.entryData(), 1024));
}

TEST(Ditherer, PlainAndOrderedLoopsEqualTheDirectFormula)
{
    Ditherer d;
    Palette8 halftone, optimal;
    for (const int width : {1, 3, 4, 37}) {
        const Dib src = randomPicture(width, 23, unsigned(width));
        Dib dst;
        for (int mode = 0; mode <= 1; ++mode) {
            d.setPaletteMode(PaletteMode::Halftone);
            d.setDitherMode(mode == 0 ? DitherMode::None : DitherMode::Ordered);
            d.ditherTo8bpp(src, dst, halftone, false);
            d.setPaletteMode(PaletteMode::Optimal);
            Dib dstOptimal;
            d.ditherTo8bpp(src, dstOptimal, optimal, false);
            for (int y = 0; y < src.height(); ++y)
                for (int x = 0; x < width; ++x) {
                    const std::uint8_t* p = src.scanline(y) + 4 * x;
                    const int t51 = mode ? 26 - threshold51(x, y) : 0;
                    const int t16 = mode ? 8 - kBayer[y & 3][x & 3] : 0;
                    const int want = 36 * level(p[0] + t51, 51, 5) + 6 * level(p[1] + t51, 51, 5) +
                                     level(p[2] + t51, 51, 5);
                    ASSERT_EQ(dst.scanline(y)[x], want) << "halftone mode " << mode << " at " << x << "," << y;
                    const int key = 256 * level(p[0] + t16, 17, 15) + 16 * level(p[1] + t16, 17, 15) +
                                    level(p[2] + t16, 17, 15);
                    ASSERT_EQ(dstOptimal.scanline(y)[x], d.optimalLookup(key))
                        << "optimal mode " << mode << " at " << x << "," << y;
                }
        }
    }
}

TEST(Ditherer, ErrorDiffusionMatchesAReferenceAndKeepsChannelsInRange)
{
    Ditherer d;
    d.setDitherMode(DitherMode::Diffusion);
    for (int paletteMode = 0; paletteMode <= 1; ++paletteMode) {
        d.setPaletteMode(paletteMode == 0 ? PaletteMode::Halftone : PaletteMode::Optimal);
        for (const int width : {1, 2, 31}) {
            const Dib src = randomPicture(width, 17, unsigned(100 + width));
            std::vector<std::uint8_t> before(src.bits(), src.bits() + src.size());
            Palette8 pal;
            Dib dst;
            d.ditherTo8bpp(src, dst, pal, false);
            EXPECT_EQ(indexes(dst), referenceDiffusion(src, pal.entryData(), paletteMode == 1, d))
                << "palette mode " << paletteMode << ", width " << width;
            EXPECT_TRUE(std::equal(before.begin(), before.end(), src.bits())) << "the source is left unchanged";
        }
    }
}

TEST(Ditherer, ErrorDiffusionSpreadsNothingForSmallErrors)
{
    Ditherer d;
    d.setDitherMode(DitherMode::Diffusion);
    Palette8 pal;
    Dib dst;
    // A colour the palette holds exactly: index 36*3 + 6*2 + 1 everywhere.
    d.ditherTo8bpp(uniformPicture(6, 5, 51, 102, 153), dst, pal, false);
    EXPECT_EQ(indexes(dst), std::vector<std::uint8_t>(30, 121));
    // Summed absolute error 3 spreads nothing: every pixel stays black.
    d.ditherTo8bpp(uniformPicture(6, 5, 1, 1, 1), dst, pal, false);
    EXPECT_EQ(indexes(dst), std::vector<std::uint8_t>(30, 0));
    d.ditherTo8bpp(uniformPicture(6, 5, 2, 1, 0), dst, pal, false);
    EXPECT_EQ(indexes(dst), std::vector<std::uint8_t>(30, 0));
}

TEST(Ditherer, OnePixelWideErrorDiffusionSpreadsOnlyDownward)
{
    Ditherer d;
    d.setDitherMode(DitherMode::Diffusion);
    Palette8 pal;
    Dib dst;
    // 30 -> level 1 (51): error -21, below gets 5/16 of it, -6.5625 -> -7: 23 -> level 0.
    d.ditherTo8bpp(uniformPicture(1, 3, 30, 30, 30), dst, pal, false);
    // Row 1: 23 -> black, error 23 x 3 spreads +7 down: row 2 is 37 -> level 1.
    EXPECT_EQ(indexes(dst), (std::vector<std::uint8_t>{43, 0, 43}));
}

TEST(Ditherer, PalettesAreReusedAndOptimalModeShrinksTheCopy)
{
    Ditherer d;
    d.setPaletteMode(PaletteMode::Optimal);
    d.setDitherMode(DitherMode::Ordered);
    const Dib src = randomPicture(200, 100, 5);
    Palette8 pal;
    Dib dst;
    d.ditherTo8bpp(src, dst, pal, false);

    Dib shrunk;
    src.cloneTo(shrunk);
    shrunk.resize(50, 25, ResizeMode::Stretch);
    Palette8 expected;
    expected.createOptimal(shrunk, 256, 6, 1, 1, 1);
    ASSERT_EQ(pal.entries(), expected.entries());
    EXPECT_EQ(0, std::memcmp(pal.entryData(), expected.entryData(), 1024));
    for (int i = 0; i < 4096; i += 37)
        EXPECT_EQ(d.optimalLookup(i), expected.closestIndex(std::uint8_t(17 * (i & 15)), std::uint8_t(17 * ((i >> 4) & 15)),
                                                            std::uint8_t(17 * (i >> 8))));

    // reusePalette keeps the palette even when the picture changes.
    const std::vector<std::uint8_t> kept(pal.entryData(), pal.entryData() + 1024);
    d.ditherTo8bpp(uniformPicture(8, 8, 9, 9, 9), dst, pal, true);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), pal.entryData()));
    EXPECT_EQ(dst.width(), 8);
}

TEST(Ditherer, FailuresAndUnknownModes)
{
    Ditherer d;
    Palette8 pal;
    Dib dst;
    const Dib src = uniformPicture(4, 4, 200, 200, 200);
    try {
        d.ditherTo8bpp(src, dst, pal, true);
        FAIL() << "reusing a palette that was never made";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), errnum::SubscriptOutOfRange);
    }
    Dib eight;
    ASSERT_TRUE(eight.create(4, 4, 8));
    try {
        d.ditherTo8bpp(eight, dst, pal, false);
        FAIL() << "an 8-bit source";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), errnum::TypeMismatch);
    }
    d.setDitherMode(DitherMode(7));
    d.ditherTo8bpp(src, dst, pal, false);
    EXPECT_EQ(indexes(dst), std::vector<std::uint8_t>(16, 0)) << "no loop: the pixels Create gave";
    EXPECT_EQ(pal.entries(), 216);

    // Source and destination may be the same surface.
    Dib same = uniformPicture(4, 4, 255, 255, 255);
    d.setDitherMode(DitherMode::None);
    d.ditherTo8bpp(same, same, pal, false);
    EXPECT_EQ(same.BPP(), 8);
    EXPECT_EQ(indexes(same), std::vector<std::uint8_t>(16, 215));
}
