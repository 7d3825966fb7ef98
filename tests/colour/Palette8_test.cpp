#include "colour/Palette8.h"

#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

using namespace vantorell;

namespace {

using Rgb = std::tuple<int, int, int>;

Rgb entry(const Palette8& pal, int i)
{
    return {pal.red(std::uint8_t(i)), pal.green(std::uint8_t(i)), pal.blue(std::uint8_t(i))};
}

template <class F> int errorNumber(F&& f)
{
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

}  // namespace

TEST(Palette8, HalftoneCubesHaveTheirSizesAndNumbering)
{
    Palette8 pal;
    const int entries[5] = {8, 27, 64, 125, 216};
    for (int level = 0; level <= 4; ++level) {
        pal.createHalftone(HalftoneCube(level));
        EXPECT_EQ(pal.entries(), entries[level]) << "level " << level;
        EXPECT_NE(pal.logicalPaletteId(), 0u);
    }
    pal.createHalftone(HalftoneCube::Colours216);
    EXPECT_EQ(entry(pal, 0), Rgb(0, 0, 0));
    EXPECT_EQ(entry(pal, 5), Rgb(255, 0, 0));
    EXPECT_EQ(entry(pal, 30), Rgb(0, 255, 0));
    EXPECT_EQ(entry(pal, 180), Rgb(0, 0, 255));
    EXPECT_EQ(entry(pal, 215), Rgb(255, 255, 255));
    for (int b = 0; b < 6; ++b)
        for (int g = 0; g < 6; ++g)
            for (int r = 0; r < 6; ++r)
                ASSERT_EQ(entry(pal, 36 * b + 6 * g + r), Rgb(51 * r, 51 * g, 51 * b));
    for (int i = 216; i < 256; ++i)
        ASSERT_EQ(entry(pal, i), Rgb(0, 0, 0)) << "entries beyond the cube stay zero";
    EXPECT_EQ(pal.entryData()[4 * 5 + 3], 0) << "reserved byte";

    pal.createHalftone(HalftoneCube::Colours27);
    EXPECT_EQ(entry(pal, 1), Rgb(128, 0, 0));
    EXPECT_EQ(entry(pal, 2), Rgb(255, 0, 0));
    EXPECT_EQ(entry(pal, 3), Rgb(0, 128, 0));
    pal.createHalftone(HalftoneCube::Colours8);
    EXPECT_EQ(entry(pal, 7), Rgb(255, 255, 255));
}

TEST(Palette8, InvalidLevelsRaiseAndLeaveAnEmptyPalette)
{
    Palette8 pal;
    pal.createHalftone(HalftoneCube::Colours216);
    EXPECT_EQ(errorNumber([&] { pal.createHalftone(HalftoneCube(5)); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(pal.entries(), 0);
    pal.createHalftone(HalftoneCube::Colours216);
    EXPECT_EQ(errorNumber([&] { pal.createGreyScale(GreyLevels(3)); }), errnum::DivisionByZero);
    EXPECT_EQ(pal.entries(), 0);
    EXPECT_EQ(pal.logicalPaletteId(), 0u);
}

TEST(Palette8, GreyScaleAndEga)
{
    Palette8 pal;
    pal.createGreyScale(GreyLevels::Greys2);
    EXPECT_EQ(pal.entries(), 2);
    EXPECT_EQ(entry(pal, 1), Rgb(255, 255, 255));
    pal.createGreyScale(GreyLevels::Greys16);
    EXPECT_EQ(pal.entries(), 16);
    EXPECT_EQ(entry(pal, 1), Rgb(17, 17, 17));
    EXPECT_EQ(entry(pal, 15), Rgb(255, 255, 255));
    EXPECT_TRUE(pal.isGreyScale());
    pal.createGreyScale(GreyLevels::Greys256);
    EXPECT_EQ(pal.entries(), 256);
    EXPECT_EQ(entry(pal, 200), Rgb(200, 200, 200));

    pal.createEGA();
    EXPECT_EQ(pal.entries(), 16);
    EXPECT_EQ(entry(pal, 7), Rgb(192, 192, 192));
    EXPECT_EQ(entry(pal, 8), Rgb(128, 128, 128));
    EXPECT_EQ(entry(pal, 13), Rgb(255, 0, 255));
    EXPECT_FALSE(pal.isGreyScale());

    Palette8 empty;
    EXPECT_FALSE(empty.isGreyScale());
    empty.initialize(0);
    EXPECT_FALSE(empty.isGreyScale()) << "no entries in use";
}

TEST(Palette8, WebsafeBands)
{
    Palette8 pal, ega;
    pal.createWebsafe();
    ega.createEGA();
    EXPECT_EQ(pal.entries(), 256);
    EXPECT_EQ(entry(pal, 8), Rgb(51, 0, 0));
    EXPECT_EQ(entry(pal, 216), Rgb(0, 0, 0));
    EXPECT_EQ(entry(pal, 217), Rgb(8, 8, 8));
    EXPECT_EQ(entry(pal, 247), Rgb(248, 248, 248));
    EXPECT_EQ(entry(pal, 255), Rgb(255, 255, 255));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(entry(pal, i), entry(ega, i));
        EXPECT_EQ(entry(pal, 248 + i), entry(ega, 8 + i));
    }
    // The cube band 8..215 repeats neither itself nor a colour of the two EGA sets.
    std::set<Rgb> egaColours, cube;
    for (int i = 0; i < 16; ++i)
        egaColours.insert(entry(ega, i));
    for (int i = 8; i <= 215; ++i) {
        const Rgb c = entry(pal, i);
        EXPECT_EQ(egaColours.count(c), 0u) << "entry " << i;
        EXPECT_TRUE(cube.insert(c).second) << "entry " << i << " repeats";
        EXPECT_EQ(std::get<0>(c) % 51 + std::get<1>(c) % 51 + std::get<2>(c) % 51, 0);
    }
    EXPECT_EQ(cube.size(), 208u);
}

TEST(Palette8, ClosestIndexSearchesTheSnapshot)
{
    Palette8 pal;
    EXPECT_EQ(errorNumber([&] { pal.closestIndex(1, 2, 3); }), errnum::Overflow) << "no logical palette";
    pal.createHalftone(HalftoneCube::Colours216);
    EXPECT_EQ(pal.closestIndex(250, 5, 5), 5);
    EXPECT_EQ(pal.closestIndex(0, 0, 0), 0);
    EXPECT_EQ(pal.closestIndex(255, 255, 255), 215);
    std::uint8_t r = 0, g = 0, b = 0;
    pal.closestColor(100, 160, 30, r, g, b);
    EXPECT_EQ(Rgb(r, g, b), Rgb(102, 153, 51));

    // Writing entries leaves the search on the old snapshot until it is rebuilt.
    pal.setRed(5, 0);
    pal.setEntries(3);
    EXPECT_EQ(pal.red(5), 0);
    EXPECT_EQ(pal.closestIndex(250, 5, 5), 5);
    pal.closestColor(250, 5, 5, r, g, b);
    EXPECT_EQ(Rgb(r, g, b), Rgb(0, 0, 0)) << "ClosestColor reads the entry table";
    pal.buildLogicalPalette();
    EXPECT_EQ(pal.closestIndex(250, 5, 5), 2) << "entries 0..2 are black, (51,0,0), (102,0,0)";

    // Ties go to the lowest index.
    Palette8 tie;
    tie.initialize(3);
    tie.setRed(0, 10);
    tie.setRed(1, 20);
    tie.setRed(2, 20);
    tie.buildLogicalPalette();
    EXPECT_EQ(tie.closestIndex(15, 0, 0), 0);
    EXPECT_EQ(tie.closestIndex(19, 0, 0), 1);
}

TEST(Palette8, EntryAccessorsAndLimits)
{
    Palette8 pal;
    EXPECT_EQ(pal.entryData(), nullptr);
    EXPECT_EQ(errorNumber([&] { (void)pal.green(0); }), errnum::SubscriptOutOfRange);
    pal.initialize(4);
    EXPECT_EQ(pal.entries(), 4);
    pal.setGreen(255, 7);
    pal.setBlue(255, 9);
    EXPECT_EQ(pal.entryData()[1020], 9);
    EXPECT_EQ(pal.entryData()[1021], 7);
    EXPECT_EQ(errorNumber([&] { pal.setEntries(257); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(errorNumber([&] { pal.setEntries(-1); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(pal.entries(), 4);
    pal.destroy();
    EXPECT_EQ(pal.entries(), 0);
    EXPECT_EQ(pal.entryData(), nullptr);
}
