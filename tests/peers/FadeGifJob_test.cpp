// The Fade job's GIF output end to end, checked with peers: a 10-frame job at 5 frames per
// second writes result.gif whose bytes have the documented layout, giflib and FFmpeg decode it
// to 10 frames of the first picture's size, and every frame's indices are the halftone ordered
// dither of the exact cross-fade frame (the uncompressed work AVI is lossless up to the dither).
#include "colour/Palette8.h"
#include "colour/Ditherer.h"
#include "dib/Dib.h"
#include "gif/GifDocument.h"
#include "job/FadeJob.h"
#include "job/MixJob.h"
#include "platform/PictureLoader.h"
#include "platform/WorkSurface.h"
#include "support/AviBytes.h"
#include "support/AviDecode.h"
#include "support/FakeUi.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace vantorell {
namespace {

using test::FakeUi;
using test::TempDir;
using test::writePicture;

// Frame i of n of the cross-fade: the single-precision mix, white where the second picture does
// not reach, at the first picture's size, as a 32-bit surface.
void crossFadeFrame(const Picture& a, const Picture& b, int i, int n, Dib& out)
{
    const float t = float(double(i) / (n - 1)), u = 1.0f - t;
    ASSERT_TRUE(out.create(a.width(), a.height(), 32));
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const std::uint8_t va = a.bitmap().row(y)[4 * x + c];
                const std::uint8_t vb = (x < b.width() && y < b.height()) ? b.bitmap().row(y)[4 * x + c] : 255;
                const float sum = float(vb) * t + float(va) * u;
                out.scanline(y)[4 * x + c] = std::uint8_t(std::lrint(sum));
            }
}

std::vector<std::uint8_t> halftoneOrdered(const Dib& frame)
{
    Ditherer dither;
    dither.setPaletteMode(PaletteMode::Halftone);
    dither.setDitherMode(DitherMode::Ordered);
    Dib dst;
    Palette8 palette;
    dither.ditherTo8bpp(frame, dst, palette, false);
    std::vector<std::uint8_t> out;
    for (int y = 0; y < dst.height(); ++y)
        out.insert(out.end(), dst.scanline(y), dst.scanline(y) + dst.width());
    return out;
}

std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }

}  // namespace

TEST(FadeGifJob, TenFramesAtFiveFpsMatchTheLayoutPeersAndTheDirectDither)
{
    TempDir dir, temp;
    test::ScopedEnv env("TEMP", temp.path().string());
    FakeUi ui;
    MixJob job(ui, &runFadeSteps);
    MixRequest request;
    constexpr int W = 41, H = 29, N = 10;
    const std::string first = writePicture(dir, "one.bmp", W, H, 10);
    const std::string second = writePicture(dir, "two.bmp", 37, 23, 80);   // smaller: fades into white
    request.image1Path = first;
    request.image2Path = second;
    request.outputFolder = dir.path().string();
    request.mixType = MixType::Fade;
    request.fadeOutput = FadeOutput::Gif;
    const MixOutcome outcome = job.run(request);

    EXPECT_EQ(ui.texts(), std::vector<std::string>{"Done."});
    EXPECT_EQ(outcome.writtenFile, outcome.outputPath);
    EXPECT_TRUE(std::filesystem::is_empty(temp.path()));   // no work file left

    // The bytes: header, screen, 216-entry table in 256 slots, loop block, frame blocks.
    const std::filesystem::path gifPath = dir / "result.gif";
    const test::AviBytes b = test::LoadBytes(gifPath);
    ASSERT_GT(b.size(), 13u + 768 + 19);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF89a");
    EXPECT_EQ(le16(b, 6), W);
    EXPECT_EQ(le16(b, 8), H);
    EXPECT_EQ(b[10], 0xF7);
    EXPECT_EQ(b[11], 0x00);
    EXPECT_EQ(b[12], 0x31);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 13 + 648, b.begin() + 13 + 768), std::vector<std::uint8_t>(120, 0));
    EXPECT_EQ(b[13 + 3 * 215], 255);   // entry 215: white
    const std::uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
    ASSERT_EQ(std::memcmp(b.data() + 13 + 768, loop, sizeof loop), 0);
    std::size_t at = 13 + 768 + sizeof loop;
    for (int i = 0; i < N; ++i) {
        const std::uint8_t head[] = {0x21, 0xF9, 0x04, 0x0C, 20, 0, 0, 0, 0x2C, 0, 0, 0, 0, W, 0, H, 0, 0x07, 0x08};
        ASSERT_LE(at + sizeof head, b.size());
        ASSERT_EQ(std::memcmp(b.data() + at, head, sizeof head), 0) << "frame " << i << " at " << at;
        at += sizeof head;
        while (at < b.size() && b[at] != 0)
            at += 1 + b[at];
        ++at;   // the block terminator
    }
    ASSERT_EQ(at + 1, b.size());
    EXPECT_EQ(b.back(), 0x3B);

    // giflib: 10 frames of W x H whose indices are the direct dither of the cross-fade.
    int error = 0;
    GifFileType* gif = DGifOpenFileName(gifPath.c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_EQ(gif->ImageCount, N);
    EXPECT_EQ(gif->SWidth, W);
    EXPECT_EQ(gif->SHeight, H);
    const Picture a = loadPicture(first), bPic = loadPicture(second);
    std::vector<std::vector<std::uint8_t>> expected;
    for (int i = 0; i < N; ++i) {
        const SavedImage& img = gif->SavedImages[i];
        ASSERT_EQ(img.ImageDesc.Width, W);
        ASSERT_EQ(img.ImageDesc.Height, H);
        Dib frame;
        crossFadeFrame(a, bPic, i, N, frame);
        expected.push_back(halftoneOrdered(frame));
        EXPECT_EQ(std::vector<std::uint8_t>(img.RasterBits, img.RasterBits + W * H), expected.back()) << "frame " << i;
        GraphicsControlBlock gcb;
        ASSERT_EQ(DGifSavedExtensionToGCB(gif, i, &gcb), GIF_OK);
        EXPECT_EQ(gcb.DelayTime, 20);
        EXPECT_EQ(gcb.DisposalMode, 3);
    }
    DGifCloseFile(gif, &error);

    // FFmpeg: 10 frames of W x H, each pixel the halftone colour of our index.
    const test::DecodedAvi ff = test::DecodeAvi(gifPath);
    ASSERT_TRUE(ff.opened);
    EXPECT_EQ(ff.container, "gif");
    ASSERT_EQ(ff.frames.size(), std::size_t(N));
    EXPECT_EQ(ff.width, W);
    EXPECT_EQ(ff.height, H);
    for (int i = 0; i < N; ++i) {
        std::vector<std::uint8_t> bgr;
        for (std::uint8_t index : expected[std::size_t(i)])
            bgr.insert(bgr.end(), {std::uint8_t(51 * (index / 36)), std::uint8_t(51 * (index / 6 % 6)),
                                   std::uint8_t(51 * (index % 6))});
        EXPECT_EQ(ff.frames[std::size_t(i)], bgr) << "frame " << i;
    }
}

TEST(FadeGifJob, MessagesOfTheGifBranch)
{
    TempDir dir, temp;
    test::ScopedEnv env("TEMP", temp.path().string());
    const std::string first = writePicture(dir, "one.bmp", 9, 7, 10);
    MixRequest request;
    request.image1Path = first;
    request.image2Path = first;
    request.outputFolder = dir.path().string();
    request.mixType = MixType::Fade;
    request.fadeOutput = FadeOutput::Gif;
    request.frameCountText = "3";
    {   // no compressor dialog for the GIF's frames: a cancelling answer is never asked for
        FakeUi ui;
        ui.compressorAnswers.push_back(std::nullopt);
        MixJob job(ui, &runFadeSteps);
        const MixOutcome outcome = job.run(request);
        EXPECT_EQ(ui.texts(), (std::vector<std::string>{"Done."}));
        EXPECT_TRUE(ui.compressorOffers.empty());
        EXPECT_TRUE(outcome.wroteResult());
        EXPECT_TRUE(std::filesystem::exists(dir / "result.gif"));
        EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
        std::filesystem::remove(dir / "result.gif");
    }
    {   // a folder where result.gif goes: reported where the earlier result is checked
        FakeUi ui;
        MixJob job(ui, &runFadeSteps);
        std::filesystem::create_directory(dir / "result.gif");
        EXPECT_FALSE(job.run(request).wroteResult());
        const auto texts = ui.texts();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_NE(texts[0].find("Path/File access error\r\nin Vantorell2021/08/31.Form1.PushButton2_Click at line 112"),
                  std::string::npos);
        EXPECT_EQ(texts[1], "No result was written: result.gif cannot replace what stands at its name.");
        EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
        std::filesystem::remove(dir / "result.gif");
    }
    {   // a second job in the same MixJob gives the same file
        FakeUi ui;
        MixJob job(ui, &runFadeSteps);
        job.run(request);
        const test::AviBytes first = test::LoadBytes(dir / "result.gif");
        job.run(request);
        EXPECT_EQ(test::LoadBytes(dir / "result.gif"), first);
        EXPECT_EQ(ui.texts(), (std::vector<std::string>{"Done.", "Done."}));
    }
}

}  // namespace vantorell
