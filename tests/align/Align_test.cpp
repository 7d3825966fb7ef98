#include "align/Align.h"
#include "Similarity.h"
#include "support/RunProgram.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

namespace vantorell {
namespace {

Bitmap noise(int width, int height, unsigned seed)
{
    Bitmap bitmap(width, height);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.setPixel(x, y, std::int32_t(random() & 0xFFFFFF));
    return bitmap;
}

using test::similarity;

double cornerRms(const Alignment& found, const Alignment& truth, int width, int height)
{
    double sum = 0;
    for (const std::pair<int, int>& corner : {std::pair{0, 0}, {width, 0}, {0, height}, {width, height}}) {
        const double x = corner.first, y = corner.second;
        const auto map = [&](const Alignment& a, int row) {
            const auto& m = a.matrix;
            return (m[row * 3] * x + m[row * 3 + 1] * y + m[row * 3 + 2]) / (m[6] * x + m[7] * y + m[8]);
        };
        sum += std::pow(map(found, 0) - map(truth, 0), 2) + std::pow(map(found, 1) - map(truth, 1), 2);
    }
    return std::sqrt(sum / 4);
}

TEST(Align, RecoversAKnownSimilarity)
{
    constexpr int kWidth = 800, kHeight = 600;
    const Bitmap first = test::textured(kWidth, kHeight, 7);
    struct Case {
        double scale, degrees, dx, dy;
    };
    for (const Case c : {Case{1.0, 0.0, 12, -7}, Case{1.05, 3.0, 20, -15}, Case{0.9, -5.0, -10, 8}}) {
        SCOPED_TRACE(testing::Message() << c.scale << " " << c.degrees << " " << c.dx << " " << c.dy);
        const Alignment truth = similarity(c.scale, c.degrees, kWidth / 2.0, kHeight / 2.0, c.dx, c.dy);
        // Picture 2 is picture 1 seen through the truth: its pixel q shows picture 1's truth^-1(q).
        const Alignment inverse = similarity(1 / c.scale, -c.degrees, kWidth / 2.0 + c.dx, kHeight / 2.0 + c.dy,
                                             -c.dx, -c.dy);
        const Bitmap second = mapOntoFirst(first, inverse, kWidth, kHeight);
        const std::optional<Alignment> found = findAlignment(first, second);
        ASSERT_TRUE(found);
        EXPECT_FALSE(found->perspective);
        EXPECT_LT(cornerRms(*found, truth, kWidth, kHeight), 1.0);
    }
}

TEST(Align, RefusesPairsWithoutCommonFeatures)
{
    const Bitmap grey = test::solid(640, 480, 0x808080);
    struct Case {
        const char* what;
        Bitmap first, second;
    };
    const Case cases[] = {
        {"flat grey", grey, grey},
        {"unrelated noise", noise(640, 480, 1), noise(640, 480, 2)},
        {"1 x 5000", test::solid(1, 5000, 0x404040), test::solid(1, 5000, 0x404040)},
        {"texture and flat grey", test::textured(640, 480, 3), grey},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(findAlignment(c.first, c.second)) << c.what;
}

TEST(Align, UncoveredPixelsReadWhite)
{
    Alignment moved;
    moved.matrix[2] = 50;   // picture 1's column x shows picture 2's column x + 50
    const Bitmap mapped = mapOntoFirst(test::solid(100, 10, 0), moved, 100, 10);
    EXPECT_EQ(mapped.pixel(10, 5), 0);
    EXPECT_EQ(mapped.pixel(60, 5), 0xFFFFFF);
}

TEST(Align, CommandLineRefusalWritesNothing)
{
    test::TempDir dir;
    const std::string thin = test::writePicture(dir, "thin.bmp", 1, 5000, 1);
    const test::ProgramRun run = test::RunProgram(
        test::MixProgram(), "--type overlay --align --image1 '" + thin + "' --image2 '" + thin + "' --output '" +
                                dir.path().string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(kAlignFailure), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "result.jpg"));
}

}  // namespace
}  // namespace vantorell
