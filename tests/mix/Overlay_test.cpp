#include "mix/Overlay.h"

#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

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
            const ColorSplit a = SplitColor(P.pixel(x, y));
            const ColorSplit b = SplitColor(P2.pixel(x, y));
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
    const ColorSplit c = SplitColor(0x00332211);
    EXPECT_EQ(c.red, 0x11);
    EXPECT_EQ(c.green, 0x22);
    EXPECT_EQ(c.blue, 0x33);
    const ColorSplit w = SplitColor(-1);
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
    ProgressBar bar;
    test::FakeUi ui;
    OverlayPictures(P, P2, P3, bar, ui);
    EXPECT_EQ(P3.pixel(0, 0), 2 | 2 << 8 | 254 << 16);
    EXPECT_EQ(P3.pixel(1, 0), 0x808080);   // 255 / 2 = 127.5 -> 128
    EXPECT_EQ(P3.pixel(2, 0), 10 | 20 << 8 | 30 << 16);
}

TEST(OverlayPictures, SmallerSecondPictureCountsAsWhiteLargerIsCut)
{
    test::FakeUi ui;
    ProgressBar bar;
    WorkSurface P, P2, P3;
    P.setAutoSize(true);
    P2.setAutoSize(true);
    P.setPicture(Picture(Bitmap(6, 5)));              // black
    P2.setPicture(Picture(randomBitmap(4, 3, 1)));
    OverlayPictures(P, P2, P3, bar, ui);
    EXPECT_EQ(P3.drawableWidth(), 6);
    EXPECT_EQ(P3.drawableHeight(), 5);
    EXPECT_EQ(P3.pixel(5, 0), 0x808080);
    EXPECT_EQ(P3.pixel(0, 4), 0x808080);
    expectSamePixels(P3.image(), referenceOverlay(P, P2));

    P2.setPicture(Picture(randomBitmap(9, 8, 2)));
    OverlayPictures(P, P2, P3, bar, ui);
    EXPECT_EQ(P3.drawableWidth(), 6);
    expectSamePixels(P3.image(), referenceOverlay(P, P2));
}

TEST(OverlayPictures, SameAsThePerPixelLoopOnOddSizes)
{
    test::FakeUi ui;
    ProgressBar bar;
    WorkSurface P, P2, P3;
    P.setAutoSize(true);
    P2.setAutoSize(true);
    P.setPicture(Picture(randomBitmap(203, 77, 3)));
    P2.setPicture(Picture(randomBitmap(131, 90, 4)));
    OverlayPictures(P, P2, P3, bar, ui);
    expectSamePixels(P3.image(), referenceOverlay(P, P2));
    EXPECT_EQ(P.picture().bitmap().pixel(0, 0), randomBitmap(1, 1, 3).pixel(0, 0));   // inputs untouched
}

TEST(OverlayPictures, YieldsRefreshesAndMovesTheProgressBarOncePerColumn)
{
    test::FakeUi ui;
    ProgressBar bar;
    bar.onChanged = [&] { ui.progressChanged(bar); };
    WorkSurface P, P2, P3;
    P.setAutoSize(true);
    P2.setAutoSize(true);
    P.setPicture(Picture(randomBitmap(150, 4, 5)));
    P2.setPicture(Picture(randomBitmap(150, 4, 6)));
    int refreshes = 0;
    P3.onRefresh = [&] { ++refreshes; };
    OverlayPictures(P, P2, P3, bar, ui);
    EXPECT_EQ(ui.yields, 151);         // columns 0 to 150 inclusive
    EXPECT_EQ(refreshes, 151);
    ASSERT_EQ(ui.progressValues.size(), 151u);
    EXPECT_EQ(ui.progressValues.front(), double(1.0f / 151.0f * 100.0f));
    EXPECT_EQ(ui.progressValues[74], double(75.0f / 151.0f * 100.0f));
    EXPECT_EQ(ui.progressValues.back(), 100.0);
    for (std::size_t i = 1; i < ui.progressValues.size(); ++i)
        EXPECT_GT(ui.progressValues[i], ui.progressValues[i - 1]);
}

}  // namespace
}  // namespace vantorell
