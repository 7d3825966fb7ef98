#include "mix/Blend.h"

#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace vantorell {
namespace {

constexpr double kW = 729, kH = 425;

// The alphas of the strips that cover one column (horizontal) or row (vertical), in drawing
// order, the final opaque strip left out when it is empty.
std::vector<int> alphasCovering(const std::vector<BlendStrip>& strips, int line, bool horizontal)
{
    std::vector<int> alphas;
    for (const BlendStrip& s : strips) {
        const int from = horizontal ? s.destination.x : s.destination.y;
        const int size = horizontal ? s.destination.width : s.destination.height;
        if (size > 0 && line >= from && line < from + size)
            alphas.push_back(s.alpha);
    }
    return alphas;
}

using test::solid;

TEST(MakeBlendFunction, AlphaTimes65536RoundedHalfToEvenAndCapped)
{
    EXPECT_EQ(makeBlendFunction(0), 0);
    EXPECT_EQ(makeBlendFunction(1), 65536);
    EXPECT_EQ(makeBlendFunction(1.5), 2 * 65536);
    EXPECT_EQ(makeBlendFunction(2.5), 2 * 65536);
    EXPECT_EQ(makeBlendFunction(254.5), 254 * 65536);
    EXPECT_EQ(makeBlendFunction(255), 255 * 65536);
    EXPECT_EQ(makeBlendFunction(300), 255 * 65536);
}

TEST(GradientAlphaBlend, HorizontalRampFromStartLineZero)
{
    const auto strips = gradientStrips(kW, kH, kW, kH, 0, kBlendEndLine, BlendOrientation::Horizontal);
    ASSERT_EQ(strips.size(), 727u + 1);   // 727 strips and the final opaque one
    EXPECT_EQ(strips.front().destination.x, 3);
    EXPECT_EQ(strips.front().alpha, 0);
    EXPECT_EQ(strips[726].destination.x, 729);
    EXPECT_EQ(strips[726].alpha, 255);
    for (int i = 0; i < 727; ++i) {
        EXPECT_EQ(strips[std::size_t(i)].destination.x, 3 + i);
        EXPECT_EQ(strips[std::size_t(i)].destination.width, 3);
        EXPECT_EQ(strips[std::size_t(i)].destination.height, 425);
        EXPECT_EQ(strips[std::size_t(i)].source.x, strips[std::size_t(i)].destination.x);
    }
    EXPECT_EQ(strips.back().destination.x, 729);
    EXPECT_EQ(strips.back().destination.width, 0);

    EXPECT_TRUE(alphasCovering(strips, 2, true).empty());
    EXPECT_EQ(alphasCovering(strips, 5, true), (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(alphasCovering(strips, 364, true), (std::vector<int>{126, 126, 127}));
    EXPECT_EQ(alphasCovering(strips, 728, true), (std::vector<int>{254, 254, 255}));
}

TEST(GradientAlphaBlend, VerticalRampNeverReachesFullOpacityOnTheCanvas)
{
    const auto strips = gradientStrips(kW, kH, kW, kH, 0, kBlendEndLine, BlendOrientation::Vertical);
    EXPECT_EQ(strips.front().destination.y, 3);
    EXPECT_EQ(strips.front().destination.height, 3);
    EXPECT_EQ(strips.front().destination.width, 729);
    EXPECT_TRUE(alphasCovering(strips, 2, false).empty());
    EXPECT_EQ(alphasCovering(strips, 424, false), (std::vector<int>{147, 147, 148}));
    EXPECT_LT(strips.back().destination.height, 0);   // the final strip lies below the canvas

    // Black base, white overlay: the last row shows about 92 % of the overlay.
    Bitmap canvas = solid(729, 425, 0);
    gradientAlphaBlend(canvas, kW, kH, solid(729, 425, 0xFFFFFF), kW, kH, 0, kBlendEndLine, BlendOrientation::Vertical);
    const int last = canvas.pixel(100, 424) & 0xFF;
    EXPECT_GE(last, 232);
    EXPECT_LE(last, 236);
    EXPECT_EQ(canvas.pixel(100, 2), 0);
}

TEST(GradientAlphaBlend, StartLinesAtAndNearTheEnd)
{
    EXPECT_TRUE(gradientStrips(kW, kH, kW, kH, 729, kBlendEndLine, BlendOrientation::Horizontal).empty());
    EXPECT_TRUE(gradientStrips(kW, kH, kW, kH, 800, kBlendEndLine, BlendOrientation::Horizontal).empty());
    const auto one = gradientStrips(kW, kH, kW, kH, 728, kBlendEndLine, BlendOrientation::Horizontal);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[0].destination.x, 728);
    EXPECT_EQ(one[0].alpha, 0);

    const auto half = gradientStrips(kW, kH, kW, kH, 364, kBlendEndLine, BlendOrientation::Horizontal);
    ASSERT_EQ(half.size(), 364u + 1);
    EXPECT_EQ(half.front().destination.x, 365);
    EXPECT_EQ(half[363].destination.x, 728);

    EXPECT_TRUE(gradientStrips(kW, kH, kW, kH, 0, kBlendEndLine, BlendOrientation(2)).empty()) << "unknown orientation";
}

TEST(GradientAlphaBlend, ColumnsCompositeTheirStripsInOrder)
{
    Bitmap canvas = solid(729, 425, 0);
    gradientAlphaBlend(canvas, kW, kH, solid(729, 425, 0xFFFFFF), kW, kH, 0,
                       kBlendEndLine, BlendOrientation::Horizontal);
    EXPECT_EQ(canvas.pixel(0, 0), 0);
    EXPECT_EQ(canvas.pixel(2, 200), 0);
    EXPECT_EQ(canvas.pixel(5, 424), 0x010101);   // 0, 0, then round(255 x 1 / 255) = 1
    // 126: round(255 x 126 / 255) = 126; 126 again: round((255 x 126 + 126 x 129) / 255) = 190;
    // 127: round((255 x 127 + 190 x 128) / 255) = 222
    EXPECT_EQ(canvas.pixel(364, 100) & 0xFF, 222);
    EXPECT_EQ(canvas.pixel(728, 0), 0xFFFFFF);

    // A vertical start line beyond the canvas leaves it showing the base.
    Bitmap base = solid(729, 425, 0x123456);
    gradientAlphaBlend(base, kW, kH, solid(729, 425, 0xFFFFFF), kW, kH, 425, kBlendEndLine, BlendOrientation::Vertical);
    EXPECT_EQ(base.pixel(0, 424), 0x123456);
    EXPECT_EQ(base.pixel(728, 0), 0x123456);
}

TEST(BlendPictures, StretchesBothSourcesAndBlendsOverTheClearedDestination)
{
    WorkSurface pic1(729, 425), pic2(729, 425), picDest(729, 425);
    const Picture black(solid(10, 10, 0));
    const Picture white(solid(3, 7, 0xFFFFFF));
    stretchToBox(picDest, black);
    picDest.setPixel(0, 0, 0x00FF00);   // drawn since: cleared by the blend
    blendPictures(picDest, pic1, pic2, black, white, 0, BlendOrientation::Horizontal);
    EXPECT_EQ(picDest.pixel(0, 0), 0);
    EXPECT_EQ(picDest.pixel(5, 10), 0x010101);
    EXPECT_EQ(picDest.pixel(728, 424), 0xFFFFFF);
    EXPECT_EQ(pic2.pixel(728, 424), 0xFFFFFF);
    EXPECT_EQ(pic1.picture().width(), 729);
}

// Another canvas lays its seam along its own width (across columns) or height (across rows):
// the ramp ends there and its strips are that extent / 256 rounded, at least one pixel. The
// default canvas keeps the end line 729 in both orientations.
TEST(BlendCanvas, SeamFollowsTheCanvasExtent)
{
    const struct {
        int width, height;
        BlendOrientation orientation;
        int extent, strip;   // strip 0: the classic strips from the canvas size
    } cases[] = {
        {729, 425, BlendOrientation::Horizontal, 729, 0}, {729, 425, BlendOrientation::Vertical, 729, 0},
        {1920, 1080, BlendOrientation::Horizontal, 1920, 8}, {1920, 1080, BlendOrientation::Vertical, 1080, 4},
        {729, 600, BlendOrientation::Vertical, 600, 2},   {16, 8192, BlendOrientation::Horizontal, 16, 1},
        {16, 8192, BlendOrientation::Vertical, 8192, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const BlendSeam seam = blendSeam(c.width, c.height, c.orientation);
        EXPECT_EQ(blendSeamExtent(c.width, c.height, c.orientation), c.extent);
        EXPECT_EQ(seam.endLine, c.extent);
        EXPECT_EQ(seam.stripSize.value_or(0), c.strip);
        if (c.strip == 0)
            continue;
        // Black base, white overlay, ramp from 0: before the first strip pure base, the last line
        // of the extent (almost) all overlay, the final opaque strip empty.
        Bitmap canvas = solid(c.width, c.height, 0);
        const bool across = c.orientation == BlendOrientation::Horizontal;
        gradientAlphaBlend(canvas, c.width, c.height, solid(c.width, c.height, 0xFFFFFF), c.width, c.height, 0,
                           seam.endLine, c.orientation, seam.stripSize);
        const auto at = [&](int line) { return across ? canvas.pixel(line, c.height / 2) : canvas.pixel(c.width / 2, line); };
        EXPECT_EQ(at(0), 0);
        EXPECT_GE(at(c.extent - 1) & 0xFF, 240);   // one 1-pixel strip of alpha 240 at extent 16
        EXPECT_GT(at(c.extent / 2) & 0xFF, 0);
        const auto strips = gradientStrips(c.width, c.height, c.width, c.height, 0, seam.endLine, c.orientation,
                                           seam.stripSize);
        EXPECT_EQ(across ? strips.back().destination.width : strips.back().destination.height, 0);

        // Drawn row by row, the strips give the bytes they give drawn one by one.
        if (std::int64_t(c.width) * c.height > 2'100'000)
            continue;
        Bitmap base(c.width, c.height), overlay(c.width, c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                base.setPixel(x, y, (x * 7 + y * 3) & 0xFFFFFF);
                overlay.setPixel(x, y, (x * 13 + y * 29 + 0x405060) & 0xFFFFFF);
            }
        Bitmap byRows = base, byStrips = base;
        const int start = c.extent / 3;
        gradientAlphaBlend(byRows, c.width, c.height, overlay, c.width, c.height, start, seam.endLine, c.orientation,
                           seam.stripSize);
        for (const BlendStrip& strip : gradientStrips(c.width, c.height, c.width, c.height, start, seam.endLine,
                                                      c.orientation, seam.stripSize))
            alphaBlendConstant(byStrips, strip.destination, overlay, strip.source, strip.alpha);
        EXPECT_TRUE(std::equal(byRows.row(0), byRows.row(0) + byRows.stride() * std::size_t(c.height), byStrips.row(0)));
    }
}

// Crop fills the box with the picture's proportions kept and its centre shown; stretch shows all.
TEST(BlendCanvas, CropCentresThePictureStretchShowsAllOfIt)
{
    // Three vertical bands (red, green, blue) of a 3:1 picture.
    Bitmap bands = solid(300, 100, 0x0000FF);
    for (int y = 0; y < 100; ++y)
        for (int x = 100; x < 300; ++x)
            bands.setPixel(x, y, x < 200 ? 0x00FF00 : 0xFF0000);
    const struct {
        BlendFit fit;
        int boxWidth, boxHeight;
        std::int32_t left, middle, right;
    } cases[] = {
        {BlendFit::Stretch, 90, 90, 0x0000FF, 0x00FF00, 0xFF0000},
        {BlendFit::Crop, 90, 90, 0x00FF00, 0x00FF00, 0x00FF00},   // only the middle third fits
        {BlendFit::Crop, 600, 100, 0x0000FF, 0x00FF00, 0xFF0000},   // wider: the top and bottom go
        {BlendFit::Crop, 300, 100, 0x0000FF, 0x00FF00, 0xFF0000},   // same size: a plain copy
    };
    for (const auto& c : cases) {
        WorkSurface box(c.boxWidth, c.boxHeight);
        layOnBox(box, Picture(bands), c.fit);
        EXPECT_EQ(box.pixel(0, c.boxHeight / 2), c.left);
        EXPECT_EQ(box.pixel(c.boxWidth / 2, 0), c.middle);
        EXPECT_EQ(box.pixel(c.boxWidth - 1, c.boxHeight - 1), c.right);
        EXPECT_EQ(box.picture().width(), c.boxWidth);
    }
}

TEST(BlendCanvas, SizeTextParsesWithinTheLimits)
{
    EXPECT_EQ(parseBlendCanvasSize("1920x1080"), (BlendCanvas{1920, 1080}));
    EXPECT_EQ(parseBlendCanvasSize("16 X 8192"), (BlendCanvas{16, 8192}));
    for (const char* bad : {"0x5", "9000x10", "abc", "729", "729x", "x425", "15x425", "729x425x3", "-20x30", "1e3x20"})
        EXPECT_FALSE(parseBlendCanvasSize(bad).has_value()) << bad;
    EXPECT_EQ(clampedCanvas({1, 9000}), (BlendCanvas{16, 8192}));
}

}  // namespace
}  // namespace vantorell
