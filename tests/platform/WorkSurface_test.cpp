#include "platform/PictureLoader.h"
#include "platform/RasterOps.h"
#include "platform/RuntimeError.h"
#include "platform/WorkSurface.h"

#include "support/TempDir.h"

#include <QImage>

#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace vantorell {
namespace {

using test::solid;

TEST(WorkSurface, DrawnImageShowsThePictureUnscaledOnTheBackColour)
{
    WorkSurface surface(4, 3);
    EXPECT_EQ(surface.pixel(0, 0), 0xFFFFFF);   // no picture: the back colour
    surface.setPicture(Picture(solid(2, 2, 0x112233)));
    EXPECT_EQ(surface.pixel(1, 1), 0x112233);
    EXPECT_EQ(surface.pixel(2, 1), 0xFFFFFF);
    EXPECT_EQ(surface.pixel(4, 0), -1);         // outside the drawn image
    EXPECT_EQ(surface.pixel(0, -1), -1);
    surface.setPixel(4, 0, 0);                  // ignored
    surface.setPixel(-1, 2, 0);
    surface.setPixel(3, 2, 0x0000FF);
    EXPECT_EQ(surface.pixel(3, 2), 0x0000FF);
    EXPECT_EQ(surface.picture().bitmap().pixel(1, 1), 0x112233);   // the picture is not drawn on

    surface.clear();
    EXPECT_EQ(surface.pixel(3, 2), 0xFFFFFF);
    surface.setBackColor(0);
    EXPECT_EQ(surface.pixel(3, 2), 0);
}

TEST(WorkSurface, DrawnImageSharesThePicturePixelsUntilDrawnOn)
{
    WorkSurface surface;
    surface.setAutoSize(true);
    surface.setPicture(Picture(solid(5, 4, 0x010203)));
    EXPECT_EQ(surface.drawableWidth(), 5);
    EXPECT_EQ(surface.outerHeight(), 4);
    EXPECT_TRUE(surface.image().sharesPixelsWith(surface.picture().bitmap()));
    surface.setPixel(0, 0, 0);
    EXPECT_FALSE(surface.image().sharesPixelsWith(surface.picture().bitmap()));
    EXPECT_EQ(surface.picture().bitmap().pixel(0, 0), 0x010203);
}

TEST(WorkSurface, StretchedImageMadeThePictureComesBackOnClear)
{
    WorkSurface surface(6, 4);
    surface.setPicture(Picture(solid(2, 2, 0x00FF00)));
    surface.paintPicture(surface.picture(), 0, 0, 6, 4);
    EXPECT_EQ(surface.pixel(5, 3), 0x00FF00);
    surface.setPicture(surface.imageAsPicture());
    surface.setPixel(5, 3, 0);
    surface.clear();
    EXPECT_EQ(surface.pixel(5, 3), 0x00FF00);
}

TEST(WorkSurface, ResizingKeepsWhatWasDrawnWhereTheSizesOverlap)
{
    WorkSurface surface(3, 3);
    surface.setPixel(1, 1, 0x0000FF);
    surface.setOuterSize(5, 2);
    EXPECT_EQ(surface.drawableWidth(), 5);
    EXPECT_EQ(surface.pixel(1, 1), 0x0000FF);
    EXPECT_EQ(surface.pixel(4, 1), 0xFFFFFF);
    EXPECT_EQ(surface.pixel(1, 2), -1);
}

TEST(WorkSurface, LoadingWithNoFileNameGivesAnEmptyPicture)
{
    WorkSurface surface(2, 2);
    surface.setPicture(Picture(solid(2, 2, 0)));
    surface.loadPicture("");
    EXPECT_TRUE(surface.picture().empty());
    EXPECT_THROW(surface.loadPicture("/no/such/picture.jpg"), RuntimeError);
}

TEST(WorkSurface, SavesA24BitBitmapFileBottomUpWithPaddedRows)
{
    test::TempDir dir;
    WorkSurface surface(3, 2);
    surface.setPixel(0, 0, 0x0000FF);   // red, top left
    surface.setPixel(2, 1, 0xFF0000);   // blue, bottom right
    surface.saveAsBitmapFile(dir / "frame.bmp");

    std::ifstream in(dir / "frame.bmp", std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(bytes.size(), 54u + 2 * 12);          // rows of 9 bytes padded to 12
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(bytes[2], 78);
    EXPECT_EQ(bytes[10], 54);
    EXPECT_EQ(bytes[28], 24);                       // bits per pixel
    // First row in the file is the bottom row: blue at x = 2 is bytes 6..8 (B, G, R).
    EXPECT_EQ(bytes[54 + 6], 0xFF);
    EXPECT_EQ(bytes[54 + 8], 0x00);
    // Second row is the top row: red at x = 0.
    EXPECT_EQ(bytes[54 + 12 + 0], 0x00);
    EXPECT_EQ(bytes[54 + 12 + 2], 0xFF);

    const Picture back = loadPicture(dir / "frame.bmp");
    EXPECT_EQ(back.bitmap().pixel(0, 0), 0x0000FF);
    EXPECT_EQ(back.bitmap().pixel(2, 1), 0xFF0000);
    EXPECT_EQ(back.bitmap().pixel(1, 0), 0xFFFFFF);

    EXPECT_THROW(surface.saveAsBitmapFile(dir / "missing-folder" / "x.bmp"), RuntimeError);
    EXPECT_THROW(WorkSurface().saveAsBitmapFile(dir / "empty.bmp"), RuntimeError);
}

TEST(RasterOps, ConstantAlphaBlendRoundsEachChannelToNearest)
{
    Bitmap dst = solid(4, 1, 0x000000);
    const Bitmap src = solid(4, 1, 0x0A64FF);   // red 255, green 100, blue 10
    alphaBlendConstant(dst, {0, 0, 4, 1}, src, {0, 0, 4, 1}, 128);
    // 255 * 128 / 255 = 128; 100 * 128 / 255 = 50.2 -> 50; 10 * 128 / 255 = 5.02 -> 5
    EXPECT_EQ(dst.pixel(0, 0), 0x053280);
    Bitmap grey = solid(1, 1, 0x646464);        // 100 everywhere
    alphaBlendConstant(grey, {0, 0, 1, 1}, solid(1, 1, 0xC8C8C8), {0, 0, 1, 1}, 77);
    // (200 * 77 + 100 * 178) / 255 = 130.196 -> 130
    EXPECT_EQ(grey.pixel(0, 0), 0x828282);
    alphaBlendConstant(grey, {0, 0, 1, 1}, solid(1, 1, 0), {0, 0, 1, 1}, 0);
    EXPECT_EQ(grey.pixel(0, 0), 0x828282);
    alphaBlendConstant(grey, {0, 0, 1, 1}, solid(1, 1, 0x010203), {0, 0, 1, 1}, 255);
    EXPECT_EQ(grey.pixel(0, 0), 0x010203);
}

TEST(RasterOps, RectanglesStickingOutDrawTheirInsidePart)
{
    Bitmap dst = solid(5, 2, 0);
    const Bitmap src = solid(5, 2, 0xFFFFFF);
    alphaBlendConstant(dst, {3, 0, 3, 2}, src, {3, 0, 3, 2}, 255);   // columns 3, 4 inside, 5 outside
    EXPECT_EQ(dst.pixel(2, 0), 0);
    EXPECT_EQ(dst.pixel(3, 0), 0xFFFFFF);
    EXPECT_EQ(dst.pixel(4, 1), 0xFFFFFF);

    Bitmap untouched = solid(5, 2, 0);
    alphaBlendConstant(untouched, {5, 0, 3, 2}, src, {5, 0, 3, 2}, 255);   // wholly outside
    alphaBlendConstant(untouched, {0, 0, 0, 2}, src, {0, 0, 0, 2}, 255);   // no width
    alphaBlendConstant(untouched, {0, 0, 2, -1}, src, {0, 0, 2, -1}, 255); // negative height
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(untouched.pixel(x, 0), 0);
}

TEST(RasterOps, StretchRepeatsOrDropsPixelsWithoutAveraging)
{
    Bitmap src(2, 2);
    src.setPixel(0, 0, 0x000001);
    src.setPixel(1, 0, 0x000002);
    src.setPixel(0, 1, 0x000003);
    src.setPixel(1, 1, 0x000004);
    Bitmap big(4, 4);
    stretchCopy(big, {0, 0, 4, 4}, src);
    EXPECT_EQ(big.pixel(0, 0), 1);
    EXPECT_EQ(big.pixel(1, 1), 1);
    EXPECT_EQ(big.pixel(2, 1), 2);
    EXPECT_EQ(big.pixel(3, 3), 4);
    EXPECT_EQ(big.pixel(0, 2), 3);

    Bitmap small(1, 1);
    stretchCopy(small, {0, 0, 1, 1}, big);
    EXPECT_EQ(small.pixel(0, 0), 4);   // the pixel under the centre

    Bitmap partly = solid(3, 3, 0x777777);
    stretchCopy(partly, {2, 2, 4, 4}, src);   // only (2, 2) lies inside
    EXPECT_EQ(partly.pixel(2, 2), 1);
    EXPECT_EQ(partly.pixel(1, 1), 0x777777);
}

}  // namespace
}  // namespace vantorell
