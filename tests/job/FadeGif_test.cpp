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

// A FakeUi whose yields run a handler, as a window's message loop may (the user closes it).
struct HandlerUi final : UiPort {
    FakeUi inner;
    std::function<void()> onYield;
    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override
    {
        return inner.messageBox(text, buttons, icon, title);
    }
    void yield() override
    {
        inner.yield();
        if (onYield)
            onYield();
    }
    void setBusyPointer(bool busy) override { inner.setBusyPointer(busy); }
    void progressChanged(const ProgressBar& bar) override { inner.progressChanged(bar); }
    std::vector<std::filesystem::path> openFiles(const OpenFileRequest& r) override { return inner.openFiles(r); }
    std::optional<std::filesystem::path> browseFolder(std::string_view t, const std::filesystem::path& s) override
    {
        return inner.browseFolder(t, s);
    }
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& o) override
    {
        return inner.chooseCompressor(o);
    }
    bool shellStart(std::string_view target) override { return inner.shellStart(target); }
};

struct GifJob {
    TempDir dir, temp;
    std::optional<std::string> oldTemp;
    HandlerUi ui;
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
    EXPECT_EQ(f.ui.inner.texts(), std::vector<std::string>{"Done."});
    ASSERT_TRUE(f.job.currentGifDocument());
    EXPECT_EQ(f.job.currentGifDocument()->FramesCount(), 4);
    EXPECT_EQ(f.job.ditherer()->DitherMode(), 1);
    EXPECT_EQ(f.job.ditherer()->PaletteMode(), 0);
    EXPECT_TRUE(std::filesystem::exists(f.dir / "result.gif"));
    EXPECT_TRUE(std::filesystem::is_empty(f.temp.path()));
}

TEST(FadeGif, TheBatchChoiceOfPaletteAndDitherIsUsed)
{
    GifJob f;
    f.request.gifPalette = GifPalette::Optimal;
    f.request.gifDither = GifDither::Diffusion;
    f.run();
    EXPECT_EQ(f.ui.inner.texts(), std::vector<std::string>{"Done."});
    EXPECT_EQ(f.job.ditherer()->DitherMode(), 2);
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
    EXPECT_FALSE(f.ui.inner.texts().empty());
    // The document went while the frames were imported: nothing is left to save, and no
    // damaged file is written.
    EXPECT_EQ(f.ui.inner.texts().back(), "No result was written: there were no frames to save.");
    EXPECT_FALSE(std::filesystem::exists(f.dir / "result.gif"));
    EXPECT_TRUE(std::filesystem::is_empty(f.temp.path()));
}
