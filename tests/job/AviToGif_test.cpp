#include "job/AviToGif.h"

#include "colour/Ditherer.h"
#include "dib/Dib.h"
#include "gif/GifDocument.h"
#include "platform/Controls.h"
#include "support/AviBytes.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantorell;
using namespace vantorell::test;

namespace {

struct Import {
    TempDir dir;
    FakeUi ui;
    ProgressBar progress;
    GifDocument gif;
    Ditherer dither;
    AviToGifReport report;

    bool run(const AviBytes& bytes, const AviReadLimits& limits = {})
    {
        SaveBytes(dir / "temp.avi", bytes);
        gif.Destroy();   // as the fade job does before each import
        return ImportAviToGif(dir / "temp.avi", gif, progress, ui, dither, &report, limits);
    }
};

std::vector<std::uint8_t> pixelsOf(const GifDocument& gif, int nFrame)
{
    const Dib& d = gif.frameImage(nFrame);
    return {d.bits(), d.bits() + d.Size()};
}

}  // namespace

TEST(ImportAviToGif, FillsTheDocumentWithTheStreamsFramesAndTiming)
{
    Import im;
    const AviBytes bytes = WriteRawAvi(im.dir / "a.avi", patternFrames(3), 7);
    ASSERT_TRUE(im.run(bytes)) << aviReadErrorName(im.report.error);
    EXPECT_EQ(im.report.error, AviReadError::None);
    EXPECT_FALSE(im.report.documentChanged);
    EXPECT_EQ(im.report.frames, 3);
    EXPECT_EQ(im.report.width, 8);
    EXPECT_EQ(im.report.height, 6);
    EXPECT_EQ(im.report.delay, 14);
    EXPECT_TRUE(im.report.direct);
    ASSERT_EQ(im.gif.FramesCount(), 3);
    EXPECT_EQ(im.gif.FrameDelay(3), 14);
    EXPECT_EQ(im.gif.ScreenWidth(), 8);
    EXPECT_EQ(im.ui.yields, 3);
    EXPECT_EQ(im.progress.value(), 0);

    // The same bytes in memory make the same document.
    Import memory;
    ASSERT_TRUE(ImportAviToGif(std::span<const std::uint8_t>(bytes), memory.gif, memory.progress, memory.ui,
                               memory.dither, &memory.report));
    ASSERT_EQ(memory.gif.FramesCount(), 3);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(pixelsOf(memory.gif, i), pixelsOf(im.gif, i)) << "frame " << i;
}

TEST(ImportAviToGif, FailuresGiveTheReadersAnswer)
{
    Import im;
    // No file: nothing found, nothing touched.
    EXPECT_FALSE(ImportAviToGif(im.dir / "none.avi", im.gif, im.progress, im.ui, im.dither, &im.report));
    EXPECT_EQ(im.report.error, AviReadError::NoFile);
    EXPECT_EQ(im.report.frames, 0);
    EXPECT_EQ(im.gif.FramesCount(), 0);
    EXPECT_EQ(im.ui.yields, 0);

    // Over the limits: refused with the stream's size known.
    AviReadLimits limits;
    limits.maxFrames = 2;
    EXPECT_FALSE(im.run(WriteRawAvi(im.dir / "a.avi", patternFrames(3), 5), limits));
    EXPECT_EQ(im.report.error, AviReadError::OverLimit);
    EXPECT_EQ(im.report.frames, 3);
    EXPECT_EQ(im.gif.FramesCount(), 0);

    // A frame cut short: the frames before it, and the failed one blank.
    AviBytes bytes = WriteRawAvi(im.dir / "a.avi", patternFrames(5), 5);
    CutFramePacket(bytes, 2, 8 * 6 * 2);
    EXPECT_FALSE(im.run(bytes));
    EXPECT_EQ(im.report.error, AviReadError::FrameUnreadable);
    ASSERT_EQ(im.gif.FramesCount(), 3);
    EXPECT_EQ(pixelsOf(im.gif, 3), std::vector<std::uint8_t>(48, 0));
    EXPECT_EQ(im.progress.value(), 0);

    // Zero frames: true, and an empty document.
    bytes = WriteRawAvi(im.dir / "a.avi", patternFrames(3), 5);
    PatchLength(bytes, 0);
    EXPECT_TRUE(im.run(bytes));
    EXPECT_EQ(im.gif.FramesCount(), 0);
}
