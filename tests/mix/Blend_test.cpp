#include "mix/Blend.h"

#include "support/TestPictures.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vantorell
