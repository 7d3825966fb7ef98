#include "gif/FramesToGif.h"

#include "colour/Ditherer.h"
#include "colour/Palette8.h"
#include "dib/Dib.h"
#include "gif/GifDocument.h"
#include "platform/Controls.h"
#include "platform/SilentUi.h"
#include "support/AviBytes.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace vantorell;
using namespace vantorell::test;

namespace {

// Frames from memory; frame `failAt` (0-based) fails in the step `failIn` names.
struct MemoryFrames final : GifFrameSource {
    enum class Step { Read, Draw };
    std::vector<RawFrame> frames;
    int failAt = -1;
    Step failIn = Step::Read;
    int next = 0;

    explicit MemoryFrames(std::vector<RawFrame> f) : frames(std::move(f)) {}
    bool readFrame(Dib&) override { return !(next++ == failAt && failIn == Step::Read); }
    bool drawFrame(Dib& surface) override
    {
        const RawFrame& f = frames[std::size_t(next - 1)];
        if (next - 1 == failAt)
            return false;
        for (int y = 0; y < f.height; ++y)
            std::memcpy(surface.scanline(y), &f.bgrx[std::size_t(y) * std::size_t(f.width) * 4], std::size_t(f.width) * 4);
        return true;
    }
};

// What a frame should become: the frame dithered on its own with the halftone palette and the
// ordered dither, as packed rows of indices.
std::vector<std::uint8_t> directDither(const RawFrame& f)
{
    Dib src;
    EXPECT_TRUE(src.Create(f.width, f.height, 32));
    for (int y = 0; y < f.height; ++y)
        std::memcpy(src.scanline(y), &f.bgrx[std::size_t(y) * f.width * 4], std::size_t(f.width) * 4);
    Ditherer dither;
    dither.SetPaletteMode(PaletteMode::Halftone);
    dither.SetDitherMode(DitherMode::Ordered);
    Dib dst;
    Palette8 palette;
    dither.DitherTo8bpp(src, dst, palette, false);
    std::vector<std::uint8_t> out;
    for (int y = 0; y < f.height; ++y)
        out.insert(out.end(), dst.scanline(y), dst.scanline(y) + f.width);
    return out;
}

std::vector<std::uint8_t> indicesOf(const GifDocument& gif, int nFrame)
{
    const Dib& d = gif.frameImage(nFrame);
    std::vector<std::uint8_t> out;
    for (int y = 0; y < d.Height(); ++y)
        out.insert(out.end(), d.scanline(y), d.scanline(y) + d.Width());
    return out;
}

struct Animation {
    FakeUi ui;
    ProgressBar progress;
    GifDocument gif;
    Ditherer dither;
    std::vector<double> progressValues;   // the bar's value at every change

    Animation()
    {
        dither.SetPaletteMode(PaletteMode::Halftone);
        dither.SetDitherMode(DitherMode::Ordered);
        progress.onChanged = [this] { progressValues.push_back(progress.value()); };
    }
    FramesToGifResult run(MemoryFrames& source, int delay = 20)
    {
        const RawFrame& first = source.frames.front();
        const GifAnimationShape shape{std::int64_t(source.frames.size()), first.width, first.height, delay};
        return framesToGif(source, shape, gif, progress, ui, dither);
    }
};

}  // namespace

TEST(framesToGif, EveryFrameIsTheDirectDitherWithTheDelayAndTheDocumentLayout)
{
    Animation a;
    MemoryFrames source(patternFrames(4, 13, 7));
    ASSERT_EQ(a.run(source, 14), FramesToGifResult::Done);
    ASSERT_EQ(a.gif.FramesCount(), 4);
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(a.gif.frameImage(i).Width(), 13);
        EXPECT_EQ(a.gif.frameImage(i).Height(), 7);
        // the fourth byte of every pixel is ignored
        EXPECT_EQ(indicesOf(a.gif, i), directDither(source.frames[std::size_t(i - 1)])) << "frame " << i;
        EXPECT_EQ(a.gif.FrameDelay(i), 14);
        EXPECT_EQ(a.gif.FrameDisposalMethod(i), 3);
        EXPECT_FALSE(a.gif.LocalPaletteUsed(i));
        EXPECT_EQ(std::memcmp(a.gif.localPaletteData(i), a.gif.globalPaletteData(), 216 * 4), 0);
    }
    EXPECT_EQ(a.gif.ScreenWidth(), 13);
    EXPECT_EQ(a.gif.ScreenHeight(), 7);
    EXPECT_EQ(a.gif.ScreenPixelAspectByte(), 49);
    EXPECT_TRUE(a.gif.GlobalPaletteExists());
    EXPECT_EQ(a.gif.GlobalPaletteEntries(), 216);
    EXPECT_EQ(a.gif.GlobalPaletteRGBEntry(215), 0xFFFFFF);
    EXPECT_EQ(a.gif.GlobalPaletteRGBEntry(1), 51);   // red 51
    // Progress: 1..n, one yield per frame, then 0.
    EXPECT_EQ(a.progress.max(), 4);
    EXPECT_EQ(a.progress.value(), 0);
    EXPECT_EQ(a.ui.yields, 4);
    EXPECT_EQ(a.progressValues, (std::vector<double>{0, 1, 2, 3, 4, 0}));   // the maximum set first
}

TEST(framesToGif, OnePaletteServesTheAnimation)
{
    // The optimal palette is made from the first frame only: a later red frame still maps into
    // the first frame's blue and green colours.
    Animation a;
    a.dither.SetPaletteMode(PaletteMode::Optimal);
    a.dither.SetDitherMode(DitherMode::None);
    RawFrame twoTone = uniformFrame(8, 8, 200, 10, 10);
    const RawFrame green = uniformFrame(8, 8, 10, 200, 10);
    std::memcpy(twoTone.bgrx.data(), green.bgrx.data(), 32 * 4);   // the first frame holds blue and green halves
    MemoryFrames source({twoTone, uniformFrame(8, 8, 10, 10, 200)});
    ASSERT_EQ(a.run(source), FramesToGifResult::Done);
    ASSERT_EQ(a.gif.FramesCount(), 2);
    const int entries = a.gif.GlobalPaletteEntries();
    EXPECT_GE(entries, 2);
    EXPECT_LE(entries, 256);
    for (std::uint8_t index : indicesOf(a.gif, 2)) {
        ASSERT_LT(int(index), entries);
        EXPECT_LT(a.gif.GlobalPaletteRGBEntry(index) & 0xFF, 100);   // no red in the palette
    }
}

TEST(framesToGif, AFrameThatFailsEndsTheFramesAndStaysBlank)
{
    // A frame that cannot be read fails before its progress step and yield; one that cannot be
    // drawn after them.
    const struct { MemoryFrames::Step step; int yields; } cases[] = {{MemoryFrames::Step::Read, 2},
                                                                     {MemoryFrames::Step::Draw, 3}};
    for (const auto& c : cases) {
        Animation a;
        MemoryFrames source(patternFrames(5));
        source.failAt = 2;
        source.failIn = c.step;
        EXPECT_EQ(a.run(source), FramesToGifResult::FrameUnreadable);
        ASSERT_EQ(a.gif.FramesCount(), 3);
        EXPECT_EQ(indicesOf(a.gif, 1), directDither(source.frames[0]));
        EXPECT_EQ(indicesOf(a.gif, 2), directDither(source.frames[1]));
        EXPECT_EQ(indicesOf(a.gif, 3), std::vector<std::uint8_t>(48, 0));
        EXPECT_EQ(a.ui.yields, c.yields);
        // The document is finished as after a full run.
        EXPECT_EQ(a.gif.GlobalPaletteEntries(), 216);
        EXPECT_EQ(a.gif.ScreenWidth(), 8);
        EXPECT_EQ(a.progress.value(), 0);
    }
}

TEST(framesToGif, ADocumentChangedDuringAYieldEndsTheFrames)
{
    // A handler that runs during the yield and inserts a frame.
    struct ChangingUi final : SilentUi {
        GifDocument& gif;
        explicit ChangingUi(GifDocument& g) : gif(g) {}
        void yield() override { gif.FrameInsert(gif.FramesCount() + 1, 2, 2); }
    };
    GifDocument gif;
    ChangingUi ui(gif);
    ProgressBar progress;
    Ditherer dither;
    MemoryFrames source(patternFrames(3));
    EXPECT_EQ(framesToGif(source, {3, 8, 6, 20}, gif, progress, ui, dither), FramesToGifResult::DocumentChanged);
    EXPECT_EQ(gif.FramesCount(), 2);   // the first frame and the handler's
    EXPECT_EQ(gif.ScreenWidth(), 8);
    EXPECT_EQ(progress.value(), 0);
}

TEST(framesToGif, NoFramesTouchNothing)
{
    Animation a;
    MemoryFrames source({});
    EXPECT_EQ(framesToGif(source, {0, 8, 6, 20}, a.gif, a.progress, a.ui, a.dither), FramesToGifResult::Done);
    EXPECT_EQ(a.gif.FramesCount(), 0);
    EXPECT_EQ(a.gif.ScreenWidth(), 0);
    EXPECT_FALSE(a.gif.GlobalPaletteExists());
    EXPECT_TRUE(a.progressValues.empty());
}
