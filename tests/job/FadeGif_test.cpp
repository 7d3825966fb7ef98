#include "colour/Ditherer.h"
#include "gif/GifDocument.h"
#include "job/FadeJob.h"
#include "job/MixJob.h"
#include "platform/WorkSurface.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

using namespace vantorell;
using vantorell::test::FakeUi;
using vantorell::test::TempDir;

namespace {


struct GifJob {
    TempDir dir, temp;
    std::optional<std::string> oldTemp;
    FakeUi ui;
    MixJob job{ui, &runFadeSteps};
    MixRequest request;
    MixOutcome outcome;

    GifJob()
    {
        if (const char* t = std::getenv("TEMP"))
            oldTemp = t;
        ::setenv("TEMP", temp.path().c_str(), 1);
        WorkSurface s(11, 7);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 11; ++x)
                s.setPixel(x, y, (x * 23) << 16 | (y * 30) << 8 | 90);
        s.saveAsBitmapFile(dir / "one.bmp");
        request.image1Path = (dir / "one.bmp").string();
        request.image2Path = (dir / "one.bmp").string();
        request.outputFolder = dir.path().string();
        request.frameCountText = "4";
        request.mixType = MixType::Fade;
        request.fadeOutput = FadeOutput::Gif;
    }
    void run() { outcome = job.run(request); }
    ~GifJob()
    {
        if (oldTemp)
            ::setenv("TEMP", oldTemp->c_str(), 1);
        else
            ::unsetenv("TEMP");
    }
};

}  // namespace

TEST(FadeGif, MakesTheDocumentAndDitherModuleAndSetsTheDitherMode)
{
    GifJob f;
    ASSERT_FALSE(f.job.currentGifDocument());
    f.run();
    EXPECT_EQ(f.ui.texts(), std::vector<std::string>{"Done."});
    ASSERT_TRUE(f.job.currentGifDocument());
    EXPECT_EQ(f.job.currentGifDocument()->FramesCount(), 4);
    EXPECT_EQ(f.job.ditherer()->ditherMode(), DitherMode::Ordered);
    EXPECT_EQ(f.job.ditherer()->paletteMode(), PaletteMode::Halftone);
    EXPECT_TRUE(std::filesystem::exists(f.dir / "result.gif"));
    EXPECT_TRUE(std::filesystem::is_empty(f.temp.path()));
}

TEST(FadeGif, TheBatchChoiceOfPaletteAndDitherIsUsed)
{
    GifJob f;
    f.request.gifPalette = GifPalette::Optimal;
    f.request.gifDither = GifDither::Diffusion;
    f.run();
    EXPECT_EQ(f.ui.texts(), std::vector<std::string>{"Done."});
    EXPECT_EQ(f.job.ditherer()->ditherMode(), DitherMode::Diffusion);
    ASSERT_TRUE(f.job.currentGifDocument());
    // An optimal palette of an 11 x 7 picture has fewer than the cube's 216 colours.
    EXPECT_LT(f.job.currentGifDocument()->GlobalPaletteEntries(), 216);
    EXPECT_GT(f.job.currentGifDocument()->GlobalPaletteEntries(), 0);
}

TEST(FadeGif, ReleasingTheWindowsDocumentDuringAYieldIsSafe)
{
    GifJob f;
    f.ui.onYield = [&] { f.job.releaseGifDocument(); };   // the window lets its document go
    f.run();
    EXPECT_FALSE(f.ui.texts().empty());
    // The document went while the frames were imported: nothing is left to save, and no
    // damaged file is written.
    EXPECT_EQ(f.ui.texts().back(), "No result was written: there were no frames to save.");
    EXPECT_FALSE(std::filesystem::exists(f.dir / "result.gif"));
    EXPECT_TRUE(std::filesystem::is_empty(f.temp.path()));
}
