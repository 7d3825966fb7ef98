#include "gif/mAVIImp.h"

#include "colour/Palette8.h"
#include "colour/Ditherer.h"
#include "dib/Dib.h"
#include "gif/GifDocument.h"
#include "platform/Controls.h"
#include "support/AviBytes.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace vantorell;
using namespace vantorell::test;

namespace {

// A frame whose pixel (x, y) is blue x * 31 + seed, green y * 41, red seed * 7, with a fourth
// byte that is not 0 or 255, so a reader that took it for alpha would blend or drop pixels.
RawFrame patternFrame(int width, int height, int seed)
{
    RawFrame f{width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 4)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &f.bgrx[(std::size_t(y) * width + x) * 4];
            p[0] = std::uint8_t(x * 31 + seed);
            p[1] = std::uint8_t(y * 41);
            p[2] = std::uint8_t(seed * 7);
            p[3] = std::uint8_t(17 * (x + y) + 3);
        }
    return f;
}

RawFrame uniformFrame(int width, int height, std::uint8_t b, std::uint8_t g, std::uint8_t r)
{
    RawFrame f{width, height, {}};
    for (int i = 0; i < width * height; ++i)
        f.bgrx.insert(f.bgrx.end(), {b, g, r, 0});
    return f;
}

std::vector<RawFrame> patternFrames(int count, int width = 8, int height = 6)
{
    std::vector<RawFrame> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(patternFrame(width, height, 20 * i + 5));
    return frames;
}

// What the import should store for a frame: the frame dithered on its own with the halftone
// palette and the ordered dither, as packed rows of indices.
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
    const Dib& d = gif.FrameDIBXOR(nFrame);
    std::vector<std::uint8_t> out;
    for (int y = 0; y < d.Height(); ++y)
        out.insert(out.end(), d.scanline(y), d.scanline(y) + d.Width());
    return out;
}

struct Import {
    TempDir dir;
    FakeUi ui;
    ProgressBar progress;
    GifDocument gif;
    Ditherer dither;
    AviImportReport report;
    bool ok = false;

    Import()
    {
        dither.SetPaletteMode(PaletteMode::Halftone);
        dither.SetDitherMode(DitherMode::Ordered);
    }
    bool run(const AviBytes& bytes, const AviImportLimits& limits = {})
    {
        SaveBytes(dir / "temp.avi", bytes);
        gif.Destroy();   // as the fade job does before each import
        ok = ImportAviToGif(dir / "temp.avi", gif, progress, ui, dither, &report, limits);
        return ok;
    }
    std::string why() const { return std::string(aviImportErrorName(report.error)); }
};

}  // namespace

TEST(AviFrameDelay, FollowsTheFrameRateTable)
{
    const struct { std::uint32_t fps; int delay; } table[] = {{1, 100}, {3, 33}, {5, 20}, {7, 14},
                                                             {10, 10}, {25, 4}, {30, 3}};
    for (const auto& row : table)
        for (std::int64_t n : {1, 3, 10})
            EXPECT_EQ(AviFrameDelay(0, n, 1, row.fps), row.delay) << row.fps << " fps, " << n << " frames";
    // T truncated to whole milliseconds, then two roundings half to even.
    EXPECT_EQ(AviFrameDelay(0, 10, 1, 8), 12);    // T 1250, t 125, 12.5 -> 12
    EXPECT_EQ(AviFrameDelay(0, 10, 1, 16), 6);    // T 625, t 62.5 -> 62, 6.2 -> 6
    EXPECT_EQ(AviFrameDelay(0, 10, 1, 22), 4);    // T 454, t 45.4 -> 45, 4.5 -> 4
    EXPECT_EQ(AviFrameDelay(0, 10, 1001, 30000), 3);   // NTSC: T 333, t 33
    // The stream's start counts into T, as the platform's sample-to-time call does.
    EXPECT_EQ(AviFrameDelay(10, 10, 1, 5), 40);
    // Nothing to time, and headers that would overflow: 0, or the largest GIF delay.
    EXPECT_EQ(AviFrameDelay(0, 0, 1, 5), 0);
    EXPECT_EQ(AviFrameDelay(0, 10, 1, 0), 0);
    EXPECT_EQ(AviFrameDelay(0, 10, 0xFFFFFFFFu, 1), 65535);
    EXPECT_EQ(AviFrameDelay(0x7FFFFFFF, 1, 0xFFFFFFFFu, 1), 65535);
}

TEST(ImportAviToGif, EveryFrameRateGivesItsDelayAndTheDocumentLayout)
{
    for (int fps : {1, 3, 5, 7, 10, 25, 30}) {
        Import im;
        const auto frames = patternFrames(3);
        ASSERT_TRUE(im.run(WriteRawAvi(im.dir / "a.avi", frames, fps))) << im.why();
        ASSERT_EQ(im.gif.FramesCount(), 3);
        EXPECT_EQ(im.report.delay, AviFrameDelay(0, 3, 1, std::uint32_t(fps)));
        for (int i = 1; i <= 3; ++i) {
            EXPECT_EQ(im.gif.FrameDelay(i), AviFrameDelay(0, 3, 1, std::uint32_t(fps)));
            EXPECT_EQ(im.gif.FrameDisposalMethod(i), 3);
            EXPECT_FALSE(im.gif.LocalPaletteUsed(i));
            EXPECT_EQ(std::memcmp(im.gif.lpLocalPalette(i), im.gif.lpGlobalPalette(), 216 * 4), 0);
        }
    }
    Import im;
    ASSERT_TRUE(im.run(WriteRawAvi(im.dir / "a.avi", patternFrames(3), 5)));
    EXPECT_EQ(im.gif.FrameDelay(1), 20);
    EXPECT_EQ(im.gif.ScreenWidth(), 8);
    EXPECT_EQ(im.gif.ScreenHeight(), 6);
    EXPECT_EQ(im.gif.ScreenPixelAspectByte(), 49);
    EXPECT_TRUE(im.gif.GlobalPaletteExists());
    EXPECT_EQ(im.gif.GlobalPaletteEntries(), 216);
    EXPECT_EQ(im.gif.GlobalPaletteRGBEntry(215), 0xFFFFFF);
    EXPECT_EQ(im.gif.GlobalPaletteRGBEntry(1), 51);   // red 51
}

TEST(ImportAviToGif, FramesAreTheDirectDitherTopDownWithTheFourthByteIgnored)
{
    const auto frames = patternFrames(4, 13, 7);
    for (bool bottomUp : {false, true})
    for (bool direct : {true, false}) {
        Import im;
        AviImportLimits limits;
        limits.directUncompressed = direct;
        ASSERT_TRUE(im.run(WriteRawAvi(im.dir / "a.avi", frames, 5, 1, bottomUp), limits)) << im.why();
        EXPECT_EQ(im.report.direct, direct);
        ASSERT_EQ(im.gif.FramesCount(), 4);
        for (int i = 1; i <= 4; ++i) {
            EXPECT_EQ(im.gif.FrameDIBXOR(i).Width(), 13);
            EXPECT_EQ(im.gif.FrameDIBXOR(i).Height(), 7);
            EXPECT_EQ(indicesOf(im.gif, i), directDither(frames[std::size_t(i - 1)])) << "frame " << i << bottomUp;
        }
    }
    Import im;
    ASSERT_TRUE(im.run(WriteRawAvi(im.dir / "a.avi", frames, 5)));
    // Progress: 1..n, one yield per frame, then 0.
    EXPECT_EQ(im.progress.max(), 4);
    EXPECT_EQ(im.progress.value(), 0);
    EXPECT_EQ(im.ui.yields, 4);
}

TEST(ImportAviToGif, OnePaletteServesTheAnimation)
{
    // The optimal palette is made from the first frame only: a later red frame still maps into
    // the first frame's blue and green colours.
    Import im;
    im.dither.SetPaletteMode(PaletteMode::Optimal);
    im.dither.SetDitherMode(DitherMode::None);
    const std::vector<RawFrame> frames{uniformFrame(8, 8, 200, 10, 10), uniformFrame(8, 8, 10, 200, 10),
                                       uniformFrame(8, 8, 10, 10, 200)};
    std::vector<RawFrame> twoTone{frames[0]};
    for (int i = 0; i < 32; ++i)   // the first frame holds blue and green halves
        std::memcpy(&twoTone[0].bgrx[std::size_t(i) * 4], &frames[1].bgrx[0], 4);
    twoTone.push_back(frames[2]);
    ASSERT_TRUE(im.run(WriteRawAvi(im.dir / "a.avi", twoTone, 5))) << im.why();
    ASSERT_EQ(im.gif.FramesCount(), 2);
    const int entries = im.gif.GlobalPaletteEntries();
    EXPECT_GE(entries, 2);
    EXPECT_LE(entries, 256);
    for (std::uint8_t index : indicesOf(im.gif, 2)) {
        ASSERT_LT(int(index), entries);
        EXPECT_LT(im.gif.GlobalPaletteRGBEntry(index) & 0xFF, 100);   // no red in the palette
    }
}

TEST(ImportAviToGif, BadFilesGiveTheirAnswer)
{
    const auto frames = patternFrames(3);
    {   // missing and empty files
        Import im;
        EXPECT_FALSE(ImportAviToGif(im.dir / "none.avi", im.gif, im.progress, im.ui, im.dither, &im.report));
        EXPECT_EQ(im.report.error, AviImportError::NoFile);
        EXPECT_FALSE(im.run({}));
        EXPECT_EQ(im.report.error, AviImportError::NoFile);
        EXPECT_EQ(im.gif.FramesCount(), 0);
        // A folder is not a regular file.
        EXPECT_FALSE(ImportAviToGif(im.dir.path(), im.gif, im.progress, im.ui, im.dither, &im.report));
        EXPECT_EQ(im.report.error, AviImportError::NoFile);
    }
    {   // not an AVI: text, a WAVE file's RIFF form, a GIF
        Import im;
        const std::string text = "this is not a video file at all, just some words";
        EXPECT_FALSE(im.run(AviBytes(text.begin(), text.end())));
        EXPECT_EQ(im.report.error, AviImportError::NotAvi);
        AviBytes wave = WriteRawAvi(im.dir / "a.avi", frames, 5);
        std::memcpy(wave.data() + 8, "WAVE", 4);
        EXPECT_FALSE(im.run(wave));
        EXPECT_EQ(im.report.error, AviImportError::NotAvi);
        const std::string gif = "GIF89a\x01\x00\x01\x00\x00\x00\x00;";
        EXPECT_FALSE(im.run(AviBytes(gif.begin(), gif.end())));
        EXPECT_EQ(im.report.error, AviImportError::NotAvi);
        EXPECT_EQ(im.gif.FramesCount(), 0);
    }
    {   // truncated inside the header list, and right after it
        Import im;
        const AviBytes whole = WriteRawAvi(im.dir / "a.avi", frames, 5);
        EXPECT_FALSE(im.run(AviBytes(whole.begin(), whole.begin() + 100)));
        EXPECT_EQ(im.report.error, AviImportError::NotAvi);
        const long movi = ChunkBody(whole, "movi") - 8;   // the LIST header of the frame data
        ASSERT_GT(movi, 0);
        EXPECT_FALSE(im.run(AviBytes(whole.begin(), whole.begin() + movi)));
        EXPECT_EQ(im.report.error, AviImportError::NotAvi) << im.why();   // FFmpeg finds no frame data
        EXPECT_EQ(im.gif.FramesCount(), 0);
    }
    {   // a zero frame rate: FFmpeg would make it 25 fps; there is no timing
        Import im;
        AviBytes bytes = WriteRawAvi(im.dir / "a.avi", frames, 5);
        PatchRate(bytes, 0);
        EXPECT_FALSE(im.run(bytes));
        EXPECT_EQ(im.report.error, AviImportError::BadFrameRate);
        EXPECT_EQ(im.gif.FramesCount(), 0);
    }
    {   // no video stream
        Import im;
        const AviBytes audio = WriteAudioOnlyAvi(im.dir / "a.avi");
        ASSERT_FALSE(audio.empty());
        EXPECT_FALSE(im.run(audio));
        EXPECT_EQ(im.report.error, AviImportError::NoVideoStream);
    }
    {   // 40000 x 40000 frames: refused before anything of that size is made
        Import im;
        AviBytes bytes = WriteRawAvi(im.dir / "a.avi", frames, 5);
        PatchFrameSize(bytes, 40000, 40000);
        PatchFrameRect(bytes, std::int16_t(40000 - 65536), std::int16_t(40000 - 65536));   // as a 16-bit writer stores it
        EXPECT_FALSE(im.run(bytes));
        EXPECT_EQ(im.report.error, AviImportError::FrameTooLarge) << im.why();
        EXPECT_EQ(im.gif.FramesCount(), 0);
        // A frame rectangle beyond the limits with frames of a sane size.
        bytes = WriteRawAvi(im.dir / "a.avi", frames, 5);
        PatchFrameRect(bytes, 32767, 32767);
        EXPECT_FALSE(im.run(bytes));
        EXPECT_EQ(im.report.error, AviImportError::FrameTooLarge);
    }
}

TEST(ImportAviToGif, FrameCountsTheFileDoesNotHoldAreBounded)
{
    const auto frames = patternFrames(3);
    {   // zero frames in the header: nothing to import, and that is no failure
        Import im;
        AviBytes bytes = WriteRawAvi(im.dir / "a.avi", frames, 5);
        PatchLength(bytes, 0);
        EXPECT_TRUE(im.run(bytes)) << im.why();
        EXPECT_EQ(im.gif.FramesCount(), 0);
        EXPECT_EQ(im.ui.yields, 0);
    }
    {   // a file written without frames (a cancelled compressor dialog)
        Import im;
        EXPECT_TRUE(im.run(WriteRawAvi(im.dir / "a.avi", {}, 5)));
        EXPECT_EQ(im.gif.FramesCount(), 0);
    }
    {   // two billion frames claimed by a file of three: its index tells
        Import im;
        AviBytes bytes = WriteRawAvi(im.dir / "a.avi", frames, 5);
        PatchLength(bytes, 2000000000u);
        EXPECT_TRUE(im.run(bytes)) << im.why();
        EXPECT_EQ(im.report.frames, 3);
        EXPECT_EQ(im.gif.FramesCount(), 3);
        EXPECT_EQ(im.gif.FrameDelay(1), 20);
        EXPECT_EQ(im.progress.max(), 3);
    }
    {   // the same without its index (idx1 cut off): the frame chunks are counted
        Import im;
        AviBytes bytes = WriteRawAvi(im.dir / "a.avi", frames, 5);
        PatchLength(bytes, 2000000000u);
        const long idx1 = ChunkBody(bytes, "idx1") - 8;
        ASSERT_GT(idx1, 0);
        bytes.resize(std::size_t(idx1));
        EXPECT_TRUE(im.run(bytes)) << im.why();
        EXPECT_FALSE(im.report.direct);   // no index: the decoder reads them
        EXPECT_EQ(im.report.frames, 3);
        EXPECT_EQ(im.gif.FramesCount(), 3);
        // and cut inside the third frame: two whole frames
        bytes.resize(bytes.size() - 10);
        EXPECT_TRUE(im.run(bytes)) << im.why();
        EXPECT_EQ(im.gif.FramesCount(), 2);
        EXPECT_EQ(indicesOf(im.gif, 2), directDither(frames[1]));
    }
    {   // limits: frames, document bytes
        Import im;
        AviImportLimits limits;
        limits.maxFrames = 2;
        EXPECT_FALSE(im.run(WriteRawAvi(im.dir / "a.avi", frames, 5), limits));
        EXPECT_EQ(im.report.error, AviImportError::OverLimit);
        limits = {};
        limits.maxDocumentBytes = 3 * 8 * 6 - 1;
        EXPECT_FALSE(im.run(WriteRawAvi(im.dir / "a.avi", frames, 5), limits));
        EXPECT_EQ(im.report.error, AviImportError::OverLimit);
        EXPECT_EQ(im.gif.FramesCount(), 0);
    }
}

TEST(ImportAviToGif, FrameRectangleLargerThanTheFramesStretchesThem)
{
    Import im;
    const std::vector<RawFrame> frames(2, uniformFrame(8, 6, 90, 160, 30));
    AviBytes bytes = WriteRawAvi(im.dir / "a.avi", frames, 5);
    PatchFrameRect(bytes, 16, 12);
    ASSERT_TRUE(im.run(bytes)) << im.why();
    ASSERT_EQ(im.gif.FramesCount(), 2);
    EXPECT_EQ(im.gif.ScreenWidth(), 16);
    EXPECT_EQ(im.gif.ScreenHeight(), 12);
    EXPECT_EQ(indicesOf(im.gif, 2), directDither(uniformFrame(16, 12, 90, 160, 30)));
}

TEST(ImportAviToGif, AFrameThatFailsHalfWayEndsTheImportWithTheFramesBefore)
{
    Import im;
    const auto frames = patternFrames(5);
    // The third packet holds half a frame: the raw decoder refuses it.
    AviBytes bytes = WriteRawAvi(im.dir / "a.avi", frames, 5);
    CutFramePacket(bytes, 2, 8 * 6 * 2);
    {   // through the decoder: it refuses the short packet
        Import viaDecoder;
        AviImportLimits limits;
        limits.directUncompressed = false;
        EXPECT_FALSE(viaDecoder.run(bytes, limits));
        EXPECT_EQ(viaDecoder.report.error, AviImportError::FrameUnreadable);
        EXPECT_EQ(viaDecoder.gif.FramesCount(), 3);
        EXPECT_EQ(indicesOf(viaDecoder.gif, 2), directDither(frames[1]));
    }
    ASSERT_FALSE(im.run(bytes));
    EXPECT_TRUE(im.report.direct);
    EXPECT_EQ(im.report.error, AviImportError::FrameUnreadable);
    ASSERT_EQ(im.gif.FramesCount(), 3);
    EXPECT_EQ(indicesOf(im.gif, 1), directDither(frames[0]));
    EXPECT_EQ(indicesOf(im.gif, 2), directDither(frames[1]));
    EXPECT_EQ(indicesOf(im.gif, 3), std::vector<std::uint8_t>(48, 0));   // the failed frame stays blank
    // The document is finished as after a full import.
    EXPECT_EQ(im.gif.GlobalPaletteEntries(), 216);
    EXPECT_EQ(im.gif.ScreenWidth(), 8);
    EXPECT_EQ(im.progress.value(), 0);
}

TEST(ImportAviToGif, MemoryAndFileImportsAgree)
{
    Import a, b;
    const AviBytes bytes = WriteRawAvi(a.dir / "a.avi", patternFrames(3), 7);
    ASSERT_TRUE(a.run(bytes));
    ASSERT_TRUE(ImportAviToGif(std::span<const std::uint8_t>(bytes), b.gif, b.progress, b.ui, b.dither, &b.report));
    ASSERT_EQ(b.gif.FramesCount(), 3);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(indicesOf(a.gif, i), indicesOf(b.gif, i));
    EXPECT_EQ(b.gif.FrameDelay(1), 14);
}
