#include "mix/Overlay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace vantorell {
namespace {

Bitmap randomBitmap(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    Bitmap bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.setPixel(x, y, std::int32_t(random() & 0xFFFFFF));
    return bitmap;
}

// The overlay as a literal per-pixel loop over single-pixel reads and writes.
Bitmap referenceOverlay(const WorkSurface& P, const WorkSurface& P2)
{
    Bitmap out(P.drawableWidth(), P.drawableHeight());
    for (int x = 0; x <= P.drawableWidth(); ++x)
        for (int y = 0; y <= P.drawableHeight(); ++y) {
            const ColorSplit a = splitColor(P.pixel(x, y));
            const ColorSplit b = splitColor(P2.pixel(x, y));
            const auto avg = [](int s) { return int(std::nearbyint(s / 2.0)); };
            out.setPixel(x, y, avg(a.red + b.red) + 256 * avg(a.green + b.green) + 65536 * avg(a.blue + b.blue));
        }
    return out;
}

void expectSamePixels(const Bitmap& have, const Bitmap& want)
{
    ASSERT_EQ(have.width(), want.width());
    ASSERT_EQ(have.height(), want.height());
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            ASSERT_EQ(have.pixel(x, y), want.pixel(x, y)) << "at " << x << ", " << y;
}

TEST(SplitColor, ChannelsFromTheLowByteUpAndInvalidIsWhite)
{
    const ColorSplit c = splitColor(0x00332211);
    EXPECT_EQ(c.red, 0x11);
    EXPECT_EQ(c.green, 0x22);
    EXPECT_EQ(c.blue, 0x33);
    const ColorSplit w = splitColor(-1);
    EXPECT_EQ(w.red, 255);
    EXPECT_EQ(w.green, 255);
    EXPECT_EQ(w.blue, 255);
}

TEST(OverlayPictures, TiesGoToTheEvenValue)
{
    WorkSurface P, P2, P3;
    P.setAutoSize(true);
    P2.setAutoSize(true);
    Bitmap a(3, 1), b(3, 1);
    a.setPixel(0, 0, 1 | 2 << 8 | 254 << 16);
    b.setPixel(0, 0, 2 | 3 << 8 | 255 << 16);
    a.setPixel(1, 0, 0);
    b.setPixel(1, 0, 0xFFFFFF);
    a.setPixel(2, 0, 10 | 20 << 8 | 30 << 16);
    b.setPixel(2, 0, 10 | 20 << 8 | 30 << 16);
    P.setPicture(Picture(a));
    P2.setPicture(Picture(b));
    overlayPictures(P, P2, P3, {});
    EXPECT_EQ(P3.pixel(0, 0), 2 | 2 << 8 | 254 << 16);
    EXPECT_EQ(P3.pixel(1, 0), 0x808080);   // 255 / 2 = 127.5 -> 128
    EXPECT_EQ(P3.pixel(2, 0), 10 | 20 << 8 | 30 << 16);
}

TEST(OverlayPictures, SmallerSecondPictureCountsAsWhiteLargerIsCut)
{
    WorkSurface P, P2, P3;
    P.setAutoSize(true);
    P2.setAutoSize(true);
    P.setPicture(Picture(Bitmap(6, 5)));              // black
    P2.setPicture(Picture(randomBitmap(4, 3, 1)));
    overlayPictures(P, P2, P3, {});
    EXPECT_EQ(P3.drawableWidth(), 6);
    EXPECT_EQ(P3.drawableHeight(), 5);
    EXPECT_EQ(P3.pixel(5, 0), 0x808080);
    EXPECT_EQ(P3.pixel(0, 4), 0x808080);
    expectSamePixels(P3.image(), referenceOverlay(P, P2));

    P2.setPicture(Picture(randomBitmap(9, 8, 2)));
    overlayPictures(P, P2, P3, {});
    EXPECT_EQ(P3.drawableWidth(), 6);
    expectSamePixels(P3.image(), referenceOverlay(P, P2));
}

TEST(OverlayPictures, SameAsThePerPixelLoopOnOddSizes)
{
    WorkSurface P, P2, P3;
    P.setAutoSize(true);
    P2.setAutoSize(true);
    P.setPicture(Picture(randomBitmap(203, 77, 3)));
    P2.setPicture(Picture(randomBitmap(131, 90, 4)));
    overlayPictures(P, P2, P3, {});
    expectSamePixels(P3.image(), referenceOverlay(P, P2));
    EXPECT_EQ(P.picture().bitmap().pixel(0, 0), randomBitmap(1, 1, 3).pixel(0, 0));   // inputs untouched
}

// Columns 0 to width inclusive, one step each, with or without the work; a "stop" ends it there.
TEST(OverlayPictures, ReportsOneStepPerColumnAndStopsWhenAsked)
{
    WorkSurface P, P2, P3;
    P.setAutoSize(true);
    P2.setAutoSize(true);
    P.setPicture(Picture(randomBitmap(150, 4, 5)));
    P2.setPicture(Picture(randomBitmap(150, 4, 6)));
    const struct { bool work; std::int64_t stopAt; bool finished; std::int64_t steps; } cases[] = {
        {true, 0, true, 151}, {true, 70, false, 70}, {false, 0, true, 151}, {false, 1, false, 1},
    };
    for (const auto& c : cases) {
        std::vector<std::int64_t> done;
        const StepProgress progress = [&](std::int64_t d, std::int64_t total) {
            EXPECT_EQ(total, 151);
            done.push_back(d);
            return d != c.stopAt;
        };
        const bool finished = c.work ? overlayPictures(P, P2, P3, progress) : reportOverlayProgress(150, progress);
        EXPECT_EQ(finished, c.finished);
        ASSERT_EQ(std::int64_t(done.size()), c.steps);
        for (std::size_t i = 0; i < done.size(); ++i)
            EXPECT_EQ(done[i], std::int64_t(i) + 1);
    }
}

}  // namespace
}  // namespace vantorell
