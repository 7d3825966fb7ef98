#include "colour/AnimationColours.h"

#include "colour/Palette8.h"

#include <gtest/gtest.h>

#include <climits>

using namespace vantorell;

// A fine mapper answers the entry at the smallest distance for every colour, and a coarse one
// that of its cache bucket's centre, the lowest index on ties, on palettes whose entries crowd
// one cache bucket, spread evenly, repeat, or are few.
TEST(PaletteMapper, AFineMapperFindsTheNearestEntryOfEveryColour)
{
    const struct {
        const char* name;
        int entries;
        int (*channel)(int entry, int c);
    } palettes[] = {
        {"greys a level apart", 256, [](int i, int) { return i; }},
        {"crowded in one bucket", 255, [](int i, int c) { return 100 + (i >> (2 * c)) % 4; }},
        {"scattered", 200, [](int i, int c) { return (i * (37 + 54 * c) + 11 * c) % 256; }},
        {"two", 2, [](int i, int c) { return i == 0 ? 10 + c : 240 - c; }},
        {"each twice", 256, [](int i, int c) { return ((i % 128) * (29 + 40 * c)) % 256; }},
    };
    for (const auto& p : palettes) {
        SCOPED_TRACE(p.name);
        Palette8 palette;
        palette.initialize(std::int16_t(p.entries));
        for (int i = 0; i < p.entries; ++i) {
            palette.setRed(std::uint8_t(i), std::uint8_t(p.channel(i, 0)));
            palette.setGreen(std::uint8_t(i), std::uint8_t(p.channel(i, 1)));
            palette.setBlue(std::uint8_t(i), std::uint8_t(p.channel(i, 2)));
        }
        PaletteMapper fine(palette, 8, true), coarse(palette, 8);
        const auto nearest = [&](int r, int g, int b) {
            int best = 0, bestDistance = INT_MAX;
            for (int i = 0; i < p.entries; ++i) {
                const int dr = r - p.channel(i, 0), dg = g - p.channel(i, 1), db = b - p.channel(i, 2);
                if (dr * dr + dg * dg + db * db < bestDistance)
                    best = i, bestDistance = dr * dr + dg * dg + db * db;
            }
            return best;
        };
        int wrong = 0;
        for (int r = 0; r < 256; r += 5)
            for (int g = 1; g < 256; g += 7)
                for (int b = 2; b < 256; b += 11) {
                    wrong += fine.nearest(r, g, b) != nearest(r, g, b);
                    wrong += coarse.nearest(r, g, b) != nearest((r & ~3) + 2, (g & ~3) + 2, (b & ~3) + 2);
                }
        EXPECT_EQ(wrong, 0);
    }
}
