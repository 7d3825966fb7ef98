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

// Every choice writes result.gif straight from the rendered frames: no work file is left in
// TEMP, and the messages are those of a plain run.
TEST(FadeGif, EveryChoiceWritesTheGifAndLeavesNoWorkFiles)
{
    struct Case {
        GifPalette palette;
        GifDither dither;
        bool optimize;
        std::optional<std::int64_t> maxSize;
    };
    for (const Case& c : {Case{GifPalette::Halftone, GifDither::Ordered, false, {}},
                          Case{GifPalette::Optimal, GifDither::Diffusion, false, {}},
                          Case{GifPalette::Global, GifDither::Ordered8, true, {}},
                          Case{GifPalette::PerFrame, GifDither::None, false, {}},
                          Case{GifPalette::Halftone, GifDither::Ordered, false, 100000}}) {
        GifJob f;
        f.request.gif.palette = c.palette;
        f.request.gif.dither = c.dither;
        f.request.gif.optimize = c.optimize;
        f.request.gif.maxSize = c.maxSize;
        f.run();
        SCOPED_TRACE(describeGifOptions(f.request.gif));
        ASSERT_FALSE(f.ui.texts().empty());
        EXPECT_EQ(f.ui.texts().back(), "Done.");
        EXPECT_TRUE(f.outcome.succeeded());
        EXPECT_GT(std::filesystem::file_size(f.dir / "result.gif"), 0u);
        EXPECT_TRUE(std::filesystem::is_empty(f.temp.path()));
    }
}
