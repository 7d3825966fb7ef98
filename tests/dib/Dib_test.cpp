#include "dib/Dib.h"

#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace vantorell;

namespace {

void setPixel32(Dib& dib, int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r)
{
    std::uint8_t* p = dib.scanline(y) + 4 * x;
    p[0] = b;
    p[1] = g;
    p[2] = r;
    p[3] = 0;
}

std::uint32_t pixel32(const Dib& dib, int x, int y)
{
    std::uint32_t v;
    std::memcpy(&v, dib.scanline(y) + 4 * x, 4);
    return v;
}

}  // namespace

TEST(Dib, CreateSetsScanlineAndSizeByTheInvariants)
{
    struct Case { int w, h, bpp, bytesPerScanline, size, tableBytes; };
    const Case cases[] = {
        {10, 3, 8, 12, 36, 1024}, {10, 3, 1, 4, 12, 8}, {729, 425, 32, 2916, 1239300, 0},
        {5, 5, 24, 16, 80, 0},    {3, 2, 4, 4, 8, 64},  {3, 1, 16, 8, 8, 0},
    };
    for (const auto& [c, over] : {std::pair{cases[0], false}, {cases[1], false}, {cases[2], false}, {cases[3], false},
                                  {cases[4], false}, {cases[5], false}, {cases[2], true}, {cases[4], true}}) {
        Dib dib;
        if (over) {   // over a used surface of the same bytes: its block may be kept, never its pixels
            ASSERT_TRUE(dib.create(c.size, 1, 8));
            std::memset(dib.bits(), 0xFF, std::size_t(c.size));
            dib.setPalette(std::vector<std::uint8_t>(1024, 0xFF));
        }
        ASSERT_TRUE(dib.create(c.w, c.h, c.bpp)) << c.w << "x" << c.h << "x" << c.bpp;
        EXPECT_EQ(dib.width(), c.w);
        EXPECT_EQ(dib.height(), c.h);
        EXPECT_EQ(dib.BPP(), c.bpp);
        EXPECT_EQ(dib.bytesPerScanline(), c.bytesPerScanline) << c.w << "x" << c.h << "x" << c.bpp;
        EXPECT_EQ(dib.size(), c.size);
        ASSERT_NE(dib.bits(), nullptr);
        EXPECT_EQ(dib.colourTable().size(), std::size_t(c.tableBytes));
        for (int i = 0; i < c.size; ++i)
            ASSERT_EQ(dib.bits()[i], 0) << "new pixel memory is zero";
        for (std::uint8_t v : dib.colourTable())
            ASSERT_EQ(v, 0) << "a new colour table is black";
    }
}

TEST(Dib, CreateRefusesWhatCannotBeMadeAndRaisesOverflow)
{
    Dib dib;
    ASSERT_TRUE(dib.create(4, 4, 8));
    EXPECT_FALSE(dib.create(0, 4, 8));
    EXPECT_TRUE(dib.empty()) << "a failed create leaves the surface empty";
    EXPECT_FALSE(dib.create(4, 4, 2));
    EXPECT_FALSE(dib.create(-3, 4, 32));
    EXPECT_EQ(dib.width(), 0);
    EXPECT_EQ(dib.size(), 0);
    EXPECT_EQ(dib.bits(), nullptr);

    // 67108863 x 32 = 2147483616 bits is the widest row; one more pixel overflows.
    try {
        dib.create(67108864, 1, 32);
        FAIL() << "want the overflow error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), errnum::Overflow);
    }
    // A Size beyond 2^31 - 1 bytes.
    try {
        dib.create(65536, 8192, 32);
        FAIL() << "want the overflow error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), errnum::Overflow);
    }
    EXPECT_TRUE(dib.empty());
}

TEST(Dib, EmptySurfaceDoesNothingAndAnswersZero)
{
    Dib empty, target;
    ASSERT_TRUE(target.create(4, 4, 32));
    EXPECT_EQ(empty.copyFrom(target.dc(), 0, 0, 0, 0), 0);
    EXPECT_EQ(empty.stretch(target.dc(), 0, 0, 4, 4), 0);
    empty.clear(0xFFFFFF);
    std::vector<std::uint8_t> palette{1, 2, 3, 4};
    empty.setPalette(palette);
    empty.getPalette(palette);
    EXPECT_EQ(palette.size(), 4u) << "GetPalette leaves the array alone on an empty surface";
    int bfx = -1, bfy = -1, bfW = -1, bfH = -1;
    empty.getBestFitInfo(50, 50, bfx, bfy, bfW, bfH, true);
    EXPECT_EQ(bfx, -1);
    EXPECT_EQ(bfW, -1);
    empty.resize(10, 10, ResizeMode::Stretch);
    EXPECT_TRUE(empty.empty());
    EXPECT_TRUE(empty.toPicture().empty());
    EXPECT_TRUE(empty.dc().empty());
}

TEST(Dib, PaletteSetsOnlyTheGivenEntriesAndReadsTheWholeTable)
{
    Dib dib;
    ASSERT_TRUE(dib.create(2, 2, 8));
    dib.setPalette(std::vector<std::uint8_t>{10, 20, 30, 99, 40, 50, 60, 77});
    std::vector<std::uint8_t> palette;
    dib.getPalette(palette);
    ASSERT_EQ(palette.size(), 1024u);
    EXPECT_EQ((std::vector<std::uint8_t>(palette.begin(), palette.begin() + 12)),
              (std::vector<std::uint8_t>{10, 20, 30, 0, 40, 50, 60, 0, 0, 0, 0, 0}));

    Dib mask;
    ASSERT_TRUE(mask.create(9, 1, 1));
    mask.setPalette(std::vector<std::uint8_t>(1024, 255));   // only 2 entries exist
    mask.getPalette(palette);
    EXPECT_EQ(palette, (std::vector<std::uint8_t>{255, 255, 255, 0, 255, 255, 255, 0}));

    Dib deep;
    ASSERT_TRUE(deep.create(2, 2, 32));
    palette = {1};
    deep.getPalette(palette);
    EXPECT_EQ(palette, std::vector<std::uint8_t>{1}) << "no colour table above 8 bits per pixel";
}

TEST(Dib, CloneToCopiesSizeTableAndPixels)
{
    Dib dib, copy;
    ASSERT_TRUE(dib.create(3, 2, 8));
    dib.setPalette(std::vector<std::uint8_t>{1, 2, 3, 0, 4, 5, 6, 0});
    dib.scanline(1)[2] = 1;
    ASSERT_TRUE(copy.create(50, 50, 32));
    dib.cloneTo(copy);
    EXPECT_EQ(copy.width(), 3);
    EXPECT_EQ(copy.height(), 2);
    EXPECT_EQ(copy.BPP(), 8);
    EXPECT_EQ(copy.colourTable(), dib.colourTable());
    EXPECT_EQ(0, std::memcmp(copy.bits(), dib.bits(), std::size_t(dib.size())));
    EXPECT_NE(copy.bits(), dib.bits());
}

TEST(Dib, GetBestFitInfoMatchesTheWorkedExamples)
{
    struct Case { int w, h, dstW, dstH; bool stretch; int bfx, bfy, bfW, bfH; };
    const Case cases[] = {
        {200, 100, 50, 50, false, 0, 12, 50, 25},
        {40, 30, 50, 50, false, 5, 10, 40, 30},
        {40, 30, 50, 50, true, 0, 6, 50, 38},    // 37.5 rounds to the even 38
        {120, 90, 50, 50, false, 0, 6, 50, 37},  // 37.4999… in double; a float product gives 38
        {100, 200, 50, 50, false, 12, 0, 25, 50},
        {50, 50, 50, 50, false, 0, 0, 50, 50},
    };
    for (const Case& c : cases) {
        Dib dib;
        ASSERT_TRUE(dib.create(c.w, c.h, 8));
        int bfx = -1, bfy = -1, bfW = -1, bfH = -1;
        dib.getBestFitInfo(c.dstW, c.dstH, bfx, bfy, bfW, bfH, c.stretch);
        EXPECT_EQ(bfW, c.bfW) << c.w << "x" << c.h;
        EXPECT_EQ(bfH, c.bfH) << c.w << "x" << c.h;
        EXPECT_EQ(bfx, c.bfx) << c.w << "x" << c.h;
        EXPECT_EQ(bfy, c.bfy) << c.w << "x" << c.h;
    }
}

TEST(Dib, PixelMemoryIsTopDownAndImageReadsIt)
{
    Dib dib;
    ASSERT_TRUE(dib.create(3, 2, 32));
    setPixel32(dib, 2, 0, 0x10, 0x20, 0x30);   // top row, right
    setPixel32(dib, 0, 1, 0x40, 0x50, 0x60);   // bottom row, left
    EXPECT_EQ(pixel32(dib, 2, 0), 0x00302010u);
    EXPECT_EQ(dib.bits() + 1 * dib.bytesPerScanline() + 0 * 4, dib.scanline(1));
    const Picture picture = dib.toPicture();
    ASSERT_EQ(picture.width(), 3);
    ASSERT_EQ(picture.height(), 2);
    EXPECT_EQ(picture.bitmap().pixel(2, 0), 0x00102030);   // 0x00BBGGRR
    EXPECT_EQ(picture.bitmap().pixel(0, 1), 0x00405060);
    EXPECT_EQ(picture.bitmap().pixel(1, 1), 0);
}
