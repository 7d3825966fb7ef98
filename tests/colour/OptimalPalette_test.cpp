#include "colour/Palette8.h"

#include "dib/Dib.h"
#include "platform/RuntimeError.h"

#include "support/RandomDib.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>
#include <vector>

using namespace vantorell;

namespace {

using Rgb = std::tuple<int, int, int>;

Dib pictureOf(const std::vector<Rgb>& pixels, int width)
{
    Dib dib;
    const int height = int(pixels.size()) / width;
    EXPECT_TRUE(dib.create(width, height, 32));
    for (int i = 0; i < int(pixels.size()); ++i) {
        std::uint8_t* p = dib.scanline(i / width) + 4 * (i % width);
        p[0] = std::uint8_t(std::get<2>(pixels[std::size_t(i)]));
        p[1] = std::uint8_t(std::get<1>(pixels[std::size_t(i)]));
        p[2] = std::uint8_t(std::get<0>(pixels[std::size_t(i)]));
    }
    return dib;
}

std::vector<Rgb> entries(const Palette8& pal)
{
    std::vector<Rgb> out;
    for (int i = 0; i < pal.entries(); ++i)
        out.emplace_back(pal.red(std::uint8_t(i)), pal.green(std::uint8_t(i)), pal.blue(std::uint8_t(i)));
    return out;
}

using test::randomPicture;

}  // namespace

TEST(CreateOptimal, OneColourGivesOneExactEntry)
{
    Palette8 pal;
    const Dib dib = pictureOf(std::vector<Rgb>(12, Rgb(37, 201, 99)), 4);
    pal.createOptimal(dib, 256, 6, 1, 1, 1);
    EXPECT_EQ(entries(pal), std::vector<Rgb>{Rgb(37, 201, 99)});
    EXPECT_EQ(pal.closestIndex(0, 0, 0), 0) << "the logical palette is built";
}

TEST(CreateOptimal, EntriesComeInNodeOrderWithLifoReductions)
{
    // nLevels 2, nColors 2. A and B share the root's child 0 (node 2, leaves 3 and 4); C makes
    // node 5 (leaf 6). Three colours: reduce the most recently listed node of level 1, node 5,
    // then node 2 (A and B merge to their mean). D reuses freed nodes 4 and 3 from the free list
    // (last freed first), and its reduction leaves three leaves with nothing left to reduce.
    Palette8 pal;
    const Dib dib = pictureOf({Rgb(0, 0, 0), Rgb(100, 0, 0), Rgb(255, 255, 255), Rgb(0, 0, 255)}, 4);
    pal.createOptimal(dib, 2, 2, 1, 1, 1);
    EXPECT_EQ(entries(pal), (std::vector<Rgb>{Rgb(50, 0, 0), Rgb(0, 0, 255), Rgb(255, 255, 255)}));

    // Entries follow node numbers, not colour: white's node is made first.
    const Dib order = pictureOf({Rgb(255, 255, 255), Rgb(0, 0, 0)}, 2);
    pal.createOptimal(order, 256, 1, 1, 1, 1);
    EXPECT_EQ(entries(pal), (std::vector<Rgb>{Rgb(255, 255, 255), Rgb(0, 0, 0)}));
}

TEST(CreateOptimal, MeansRoundHalfToEven)
{
    Palette8 pal;
    // Reds 0 and 1 share a leaf at depth 1: mean 0.5 rounds to 0; 2 and 3 give 2.5 -> 2;
    // 3 and 4 give 3.5 -> 4.
    pal.createOptimal(pictureOf({Rgb(0, 0, 0), Rgb(1, 0, 0)}, 2), 256, 1, 1, 1, 1);
    EXPECT_EQ(entries(pal), std::vector<Rgb>{Rgb(0, 0, 0)});
    pal.createOptimal(pictureOf({Rgb(2, 0, 0), Rgb(3, 0, 0)}, 2), 256, 1, 1, 1, 1);
    EXPECT_EQ(entries(pal), std::vector<Rgb>{Rgb(2, 0, 0)});
    pal.createOptimal(pictureOf({Rgb(3, 0, 0), Rgb(4, 0, 0)}, 2), 256, 1, 1, 1, 1);
    EXPECT_EQ(entries(pal), std::vector<Rgb>{Rgb(4, 0, 0)});
}

TEST(CreateOptimal, OneLevelGivesAtMostOneEntryPerOctant)
{
    Palette8 pal;
    const Dib dib = randomPicture(40, 30, 7);
    pal.createOptimal(dib, 256, 1, 1, 1, 1);
    EXPECT_EQ(pal.entries(), 8);
    std::set<int> octants;
    for (const Rgb& c : entries(pal))
        octants.insert((std::get<0>(c) > 128) + 2 * (std::get<1>(c) > 128) + 4 * (std::get<2>(c) > 128));
    EXPECT_EQ(octants.size(), 8u);
}

TEST(CreateOptimal, ManyColoursEndWithinTheLimitAndTheRootIsNeverReduced)
{
    Palette8 pal;
    const Dib dib = randomPicture(50, 50, 11);   // 2500 colours: the pool grows many times
    pal.createOptimal(dib, 256, 6, 1, 1, 1);
    EXPECT_GT(pal.entries(), 8);
    EXPECT_LE(pal.entries(), 256);
    pal.createOptimal(dib, 16, 6, 1, 1, 1);
    EXPECT_LE(pal.entries(), 16);
    pal.createOptimal(dib, 3, 6, 1, 1, 1);
    EXPECT_EQ(pal.entries(), 8) << "one leaf per child of the root remains";

    // The same pixels give the same palette.
    Palette8 again;
    again.createOptimal(dib, 3, 6, 1, 1, 1);
    EXPECT_EQ(entries(again), entries(pal));
}

TEST(CreateOptimal, WeightsMoveTheSplitAndOtherDepthsAreIgnored)
{
    Palette8 pal;
    const Dib greens = pictureOf({Rgb(0, 100, 0), Rgb(0, 200, 0)}, 2);
    pal.createOptimal(greens, 256, 1, 1, 1, 1);
    EXPECT_EQ(pal.entries(), 2);
    // 100 x 2.0 = 200 > 128: both greens land in the upper half.
    pal.createOptimal(greens, 256, 1, 1, 2, 1);
    EXPECT_EQ(entries(pal), std::vector<Rgb>{Rgb(0, 150, 0)});

    Dib deep;
    ASSERT_TRUE(deep.create(4, 4, 24));
    pal.createOptimal(deep, 256, 6, 1, 1, 1);
    EXPECT_EQ(entries(pal), std::vector<Rgb>{Rgb(0, 150, 0)}) << "a 24-bit surface leaves the palette";

    EXPECT_THROW(pal.createOptimal(greens, 256, 9, 1, 1, 1), RuntimeError);
}
