// GifAnimation at its edges: tiny and single frames under every choice, no frames, a frame
// that cannot be read, a stop from the progress callback, and the plain choice's bytes equal
// shows the frames GifDocument writes for the same frames (with only the palette's unused
// entries dropped), and optimised frames that need few colours coding narrow.
#include "colour/Ditherer.h"
#include "dib/Dib.h"
#include "gif/GifAnimation.h"
#include "gif/GifDocument.h"
#include "gif/FramesToGif.h"
#include "platform/Controls.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>


namespace vantorell {
namespace {

class Frames final : public GifFrameProvider, public GifFrameSource {
public:
    Frames(int count, int width, int height, int failAt = -1)
        : m_count(count), m_width(width), m_height(height), m_failAt(failAt)
    {
    }
    int frameCount() const override { return m_count; }
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    bool frame(int index, Dib& surface) override
    {
        if (index == m_failAt)
            return false;
        surface.Create(m_width, m_height, 32);
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x) {
                std::uint8_t* p = surface.scanline(y) + 4 * x;
                p[0] = std::uint8_t(x * 255 / std::max(1, m_width - 1));
                p[1] = std::uint8_t(index * 40 + y);
                p[2] = std::uint8_t((x * y + index * 13) & 255);
            }
        return true;
    }
    // GifFrameSource, for framesToGif.
    bool readFrame(Dib& surface) override { return frame(m_next++, surface); }
    bool drawFrame(Dib&) override { return true; }

private:
    int m_count, m_width, m_height, m_failAt;
    int m_next = 0;
};

TEST(GifAnimation, EveryChoiceOnTinyFramesLoads)
{
    for (const auto& [count, width, height] : {std::tuple{1, 1, 1}, std::tuple{3, 1, 1}, std::tuple{4, 7, 3}}) {
        for (int p = 0; p < 4; ++p)
            for (int d = 0; d < 4; ++d)
                for (const int lossy : {0, 200}) {
                    GifEncodeOptions o;
                    o.palette = AnimationPalette(p);
                    o.dither = AnimationDither(d);
                    o.optimize = true;
                    o.lossy = lossy;
                    o.scalePercent = 50;
                    Frames frames(count, width, height);
                    std::vector<std::uint8_t> bytes;
                    SCOPED_TRACE(describeGifOptions(o) + " " + std::to_string(width) + "x" + std::to_string(height));
                    ASSERT_EQ(encodeGifAnimation(frames, o, bytes), GifEncodeStatus::Done);
                    GifDocument doc;
                    ASSERT_TRUE(doc.LoadFromStream(bytes));
                    EXPECT_EQ(doc.FramesCount(), count);
                    for (int i = 1; i <= count; ++i)
                        EXPECT_EQ(doc.FrameDecodeResult(i), GifError::None);
                }
    }
}

TEST(GifAnimation, FailuresAreStatuses)
{
    std::vector<std::uint8_t> bytes;
    Frames none(0, 10, 10);
    EXPECT_EQ(encodeGifAnimation(none, {}, bytes), GifEncodeStatus::NoFrames);
    EXPECT_FALSE(estimateGifSize(none, {}).has_value());
    Frames broken(5, 10, 10, 3);
    EXPECT_EQ(encodeGifAnimation(broken, {}, bytes), GifEncodeStatus::FrameUnreadable);
    EXPECT_FALSE(estimateGifSize(broken, {}, 8).has_value());
    Frames fine(5, 10, 10);
    int calls = 0;
    EXPECT_EQ(encodeGifAnimation(fine, {}, bytes, [&](int, int) { return ++calls < 2; }), GifEncodeStatus::Stopped);
    EXPECT_EQ(calls, 2);
}

TEST(GifAnimation, PlainChoiceShowsWhatTheDocumentShows)
{
    for (const AnimationDither dither : {AnimationDither::None, AnimationDither::Ordered, AnimationDither::Diffusion}) {
        GifEncodeOptions o;
        o.dither = dither;
        o.delay = 20;
        Frames frames(4, 33, 21);
        std::vector<std::uint8_t> ours;
        ASSERT_EQ(encodeGifAnimation(frames, o, ours), GifEncodeStatus::Done);

        Frames source(4, 33, 21);
        GifDocument doc;
        ProgressBar bar;
        test::FakeUi ui;
        Ditherer ditherer;
        ditherer.SetDitherMode(dither == AnimationDither::None      ? DitherMode::None
                               : dither == AnimationDither::Ordered ? DitherMode::Ordered
                                                                    : DitherMode::Diffusion);
        ASSERT_EQ(framesToGif(source, {4, 33, 21, 20}, doc, bar, ui, ditherer), FramesToGifResult::Done);
        test::TempDir dir;
        ASSERT_TRUE(doc.Save(dir / "doc.gif", bar, ui));
        GifDocument theirs, mine;
        ASSERT_TRUE(theirs.LoadFromFile(dir / "doc.gif"));
        ASSERT_TRUE(mine.LoadFromStream(ours));
        ASSERT_EQ(mine.FramesCount(), 4);
        EXPECT_LT(mine.GlobalPaletteEntries(), theirs.GlobalPaletteEntries());
        for (int i = 1; i <= 4; ++i) {
            EXPECT_EQ(mine.FrameDelay(i), 20);
            EXPECT_EQ(mine.FrameDisposalMethod(i), 3);
            for (int y = 0; y < 21; ++y)
                for (int x = 0; x < 33; ++x)
                    ASSERT_EQ(mine.GlobalPaletteRGBEntry(mine.frameImage(i).scanline(y)[x]),
                              theirs.GlobalPaletteRGBEntry(theirs.frameImage(i).scanline(y)[x]))
                        << int(dither) << " frame " << i << " at " << x << "," << y;
        }
    }
}

// The LZW code size byte of each image in a GIF.
std::vector<int> codeSizes(const std::vector<std::uint8_t>& gif)
{
    std::vector<int> sizes;
    std::size_t at = 13;
    if (gif.size() > 10 && (gif[10] & 0x80))
        at += 3u << ((gif[10] & 7) + 1);
    const auto skipSubBlocks = [&] {
        while (at < gif.size() && gif[at] != 0)
            at += gif[at] + 1u;
        ++at;
    };
    while (at < gif.size() && gif[at] != 0x3B) {
        if (gif[at] == 0x21) {
            at += 2;
            skipSubBlocks();
        } else if (gif[at] == 0x2C && at + 10 < gif.size()) {
            const std::uint8_t flags = gif[at + 9];
            at += 10;
            if (flags & 0x80)
                at += 3u << ((flags & 7) + 1);
            sizes.push_back(gif[at++]);
            skipSubBlocks();
        } else {
            break;
        }
    }
    return sizes;
}

// A gradient (many colours) whose later frames change only a square, to red, blue, red.
class SquareFrames final : public GifFrameProvider {
public:
    int frameCount() const override { return 4; }
    int width() const override { return 64; }
    int height() const override { return 48; }
    bool frame(int index, Dib& surface) override
    {
        surface.Create(64, 48, 32);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                std::uint8_t* p = surface.scanline(y) + 4 * x;
                const bool square = index > 0 && x >= 20 && x < 30 && y >= 10 && y < 20;
                p[0] = square ? (index == 2 ? 255 : 0) : std::uint8_t(x * 4);
                p[1] = square ? 0 : std::uint8_t(y * 5);
                p[2] = square ? (index == 2 ? 0 : 255) : std::uint8_t(255 - x * 4);
            }
        return true;
    }
};

// Optimised frames that need two colours of a large shared palette start their codes at the
// narrowest width (the transparent entry and those two colours come first), and the
// estimate, which codes the same way, stays close.
TEST(GifAnimation, OptimisedFramesNeedingFewColoursHaveNarrowCodes)
{
    for (const AnimationPalette palette : {AnimationPalette::Halftone, AnimationPalette::Global}) {
        GifEncodeOptions o;
        o.palette = palette;
        o.dither = AnimationDither::None;
        o.optimize = true;
        SquareFrames frames;
        std::vector<std::uint8_t> bytes;
        ASSERT_EQ(encodeGifAnimation(frames, o, bytes), GifEncodeStatus::Done);
        const std::vector<int> sizes = codeSizes(bytes);
        SCOPED_TRACE(describeGifOptions(o));
        ASSERT_EQ(sizes.size(), 4u);
        EXPECT_GE(sizes[0], 6);   // the gradient
        for (std::size_t i = 1; i < 4; ++i)
            EXPECT_EQ(sizes[i], 2) << "frame " << i;
        GifDocument doc;
        ASSERT_TRUE(doc.LoadFromStream(bytes));
        EXPECT_EQ(doc.FramesCount(), 4);
        const auto estimate = estimateGifSize(frames, o, 3);
        ASSERT_TRUE(estimate.has_value());
        EXPECT_EQ(*estimate, std::int64_t(bytes.size()));   // every frame is in the sample
    }
}

}  // namespace
}  // namespace vantorell
