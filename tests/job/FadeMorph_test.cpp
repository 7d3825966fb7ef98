// The Fade job with the request's morph: its meshes, easing, hold frames and ping-pong.
#include "job/FadeJob.h"
#include "job/FadeMorph.h"
#include "job/MixJob.h"

#include "platform/PictureLoader.h"
#include "support/AviDecode.h"
#include "support/FakeUi.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vantorell;
using vantorell::test::FakeUi;
using vantorell::test::ScopedEnv;
using vantorell::test::TempDir;

namespace {

// The plain cross-fade at colour progress t, packed BGR24 like the decoded AVI.
std::vector<std::uint8_t> crossFade(const Picture& a, const Picture& b, float t)
{
    const float u = 1.0f - t;
    std::vector<std::uint8_t> out(std::size_t(a.width()) * a.height() * 3);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const float bt = float(b.bitmap().row(y)[4 * x + c]) * t;
                const float au = float(a.bitmap().row(y)[4 * x + c]) * u;
                out[(std::size_t(y) * a.width() + x) * 3 + c] = std::uint8_t(std::lrint(bt + au));
            }
    return out;
}

struct MorphFixture {
    TempDir dir;
    TempDir temp;
    ScopedEnv env{"TEMP", temp.path().string()};
    FakeUi ui;
    MixJob job{ui, &runFadeSteps};
    MixRequest request;
    std::string first, second;

    MorphFixture()
    {
        first = test::writePicture(dir, "one.bmp", 40, 30, 10);
        second = test::writePicture(dir, "two.bmp", 40, 30, 80);
        request.image1Path = first;
        request.image2Path = second;
        request.outputFolder = dir.path().string();
        request.mixType = MixType::Fade;
        request.codec = "uncompressed";
    }
    test::DecodedAvi run()
    {
        job.run(request);
        return test::DecodeAvi(dir / "result.avi");
    }
};

}  // namespace

TEST(FadeMorph, HoldFramesAndColourEasingWithTheRegularMeshes)
{
    MorphFixture f;
    f.request.frameCountText = "9";
    f.request.morphTiming.holdStart = 2;
    f.request.morphTiming.holdEnd = 3;
    f.request.morphTiming.colourEasing = Easing::InOut;
    const test::DecodedAvi avi = f.run();
    ASSERT_EQ(f.ui.texts(), std::vector<std::string>{"Done."});
    ASSERT_EQ(avi.frames.size(), 14u);
    const Picture a = loadPicture(f.first), b = loadPicture(f.second);
    const auto timeline = morphTimeline(9, f.request.morphTiming);
    for (std::size_t k = 0; k < 14; ++k)
        ASSERT_EQ(avi.frames[k], crossFade(a, b, timeline[k].colourT)) << "frame " << k;
    EXPECT_EQ(avi.frames[0], crossFade(a, b, 0.0f));
    EXPECT_EQ(avi.frames[13], crossFade(a, b, 1.0f));
}

TEST(FadeMorph, MovedMeshesStartAtPictureOneAndEndAtPictureTwo)
{
    MorphFixture f;
    f.request.frameCountText = "5";
    f.request.morphTiming.pingPong = true;
    // Made for pictures twice the size: scaled to 40 x 30.
    MorphMeshPair pair = regularMeshPair(4, 3, 80, 60, 80, 60);
    pair.mesh1.point(2, 2) = {30, 26};
    pair.mesh2.point(2, 2) = {14, 14};
    pair.mesh2.point(4, 3) = {66, 36};
    f.request.morphMeshes = pair;
    const test::DecodedAvi avi = f.run();
    ASSERT_EQ(f.ui.texts(), std::vector<std::string>{"Done."});
    ASSERT_EQ(avi.frames.size(), 8u);   // 0 1 2 3 4 3 2 1
    const Picture a = loadPicture(f.first), b = loadPicture(f.second);
    EXPECT_EQ(avi.frames[0], crossFade(a, b, 0.0f));
    EXPECT_EQ(avi.frames[4], crossFade(a, b, 1.0f));
    EXPECT_NE(avi.frames[2], crossFade(a, b, 0.5f));   // the shapes moved
    EXPECT_EQ(avi.frames[3], avi.frames[5]);
    EXPECT_EQ(avi.frames[1], avi.frames[7]);
}

TEST(FadeMorph, MeshesThatFoldAtThePictureSizeOrTooManyFramesWriteNothing)
{
    {
        MorphFixture f;
        MorphMeshPair pair = regularMeshPair(3, 3, 900, 900, 900, 900);
        pair.mesh2.point(2, 2) = {300, 5};   // 5 / 900 of 30 rows rounds onto the top edge
        f.request.morphMeshes = pair;
        f.run();
        ASSERT_FALSE(f.ui.texts().empty());
        EXPECT_NE(f.ui.texts().back().find("the morph meshes cannot be used at 40 x 30: mesh2 folds"), std::string::npos)
            << f.ui.texts().back();
        EXPECT_FALSE(std::filesystem::exists(f.dir / "result.avi"));
    }
    {
        MorphFixture f;
        f.request.frameCountText = "32767";
        f.request.morphTiming.holdEnd = 1;
        f.run();
        ASSERT_FALSE(f.ui.texts().empty());
        EXPECT_NE(f.ui.texts().back().find("32768 frames"), std::string::npos) << f.ui.texts().back();
        EXPECT_FALSE(std::filesystem::exists(f.dir / "result.avi"));
    }
}
