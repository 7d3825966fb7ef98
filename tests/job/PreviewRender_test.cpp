// The preview's rendering path at full size gives exactly the pixels the job writes (before
// they are encoded): the Blend canvas, the Overlay average, every Fade frame, every GIF frame
// after the palette and dither, and the uncompressed AVI's size.
#include "job/FadeJob.h"
#include "job/FadeMorph.h"
#include "job/MixJob.h"
#include "job/PreviewRender.h"

#include "dib/Dib.h"
#include "gif/GifDocument.h"
#include "platform/PictureLoader.h"
#include "support/AviDecode.h"
#include "support/FakeUi.h"
#include "support/GifShown.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

using namespace vantorell;
using vantorell::test::FakeUi;
using vantorell::test::ScopedEnv;
using vantorell::test::TempDir;
using vantorell::test::writePicture;

namespace {

// Top-down packed BGR of a 32-bit bitmap, as the AVI decoder answers frames.
std::vector<std::uint8_t> bgr(const Bitmap& bits)
{
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(bits.width()) * bits.height() * 3);
    for (int y = 0; y < bits.height(); ++y)
        for (int x = 0; x < bits.width(); ++x)
            out.insert(out.end(), bits.row(y) + 4 * x, bits.row(y) + 4 * x + 3);
    return out;
}

// The frames a viewer shows for a GIF file.
std::vector<std::vector<std::uint8_t>> shownFrames(const std::filesystem::path& file)
{
    GifDocument gif;
    EXPECT_TRUE(gif.loadFromFile(file));
    return test::shownFrames(gif);
}

struct JobFixture {
    TempDir dir, temp;
    ScopedEnv env{"TEMP", temp.path().string()};
    FakeUi ui;
    MixJob job{ui, &runFadeSteps};
    MixRequest request;
    JobFixture(MixType type, int w2 = 53, int h2 = 31)
    {
        request.mixType = type;
        request.image1Path = writePicture(dir, "one.bmp", 61, 37, 10);
        request.image2Path = writePicture(dir, "two.bmp", w2, h2, 80);
        request.outputFolder = dir.path().string();
    }
    void run() { ASSERT_TRUE(job.run(request).succeeded()) << ui.texts().back(); }
};

TEST(PreviewRender, BlendIsTheJobsCanvasForEveryDirectionAndStart)
{
    // The default canvas, and a cropped one within the pane (the preview renders it whole).
    for (const BlendCanvas canvas : {BlendCanvas{}, BlendCanvas{400, 300, BlendFit::Crop}})
        for (BlendDirection direction : {BlendDirection::Left, BlendDirection::Right, BlendDirection::Top,
                                         BlendDirection::Bottom})
            for (int start : {0, 200, 729}) {
                SCOPED_TRACE(std::to_string(canvas.width) + " " + std::to_string(int(direction) * 1000 + start));
                JobFixture f(MixType::Blend);
                f.request.blendDirection = direction;
                f.request.blendStart = start;
                f.request.blendCanvas = canvas;
                f.run();
                const DecodeRequest cover{canvas.width, canvas.height};
                const Bitmap preview =
                    renderBlendPreview(loadPicture(f.request.image1Path, cover),
                                       loadPicture(f.request.image2Path, cover), direction, start, canvas, 729, 547);
                EXPECT_EQ(bgr(preview), bgr(f.job.surfaces().blendCanvas.image()));
            }
}

TEST(PreviewRender, OverlayIsTheJobsAverage)
{
    for (const auto& [w2, h2] : {std::pair{53, 31}, std::pair{90, 50}}) {
        JobFixture f(MixType::Overlay, w2, h2);
        f.run();
        const Bitmap preview =
            renderOverlayPreview(loadPicture(f.request.image1Path), loadPicture(f.request.image2Path));
        EXPECT_EQ(bgr(preview), bgr(f.job.surfaces().overlayResult.image()));
    }
}

// A morph of the 61 x 37 test picture: mesh 2's inner points moved, the edges kept, so every
// pixel of every frame lies in a triangle.
MorphMeshPair movedMeshes()
{
    MorphMeshPair pair = regularMeshPair(5, 5, 61, 37, 61, 37);
    for (int row = 2; row <= 5; ++row)
        for (int column = 2; column <= 5; ++column) {
            pair.mesh2.point(column, row).x += 3;
            pair.mesh2.point(column, row).y -= 2;
        }
    return pair;
}

TEST(PreviewRender, TheFadeRenderersFramesInAnyOrderAreTheAvisFramesAndItsSize)
{
    const struct {
        const char* name;
        int steps;
        MorphTiming timing;
        bool morph;
    } cases[] = {
        {"plain fade", 5, {}, false},
        {"eased, with holds", 4, {Easing::In, Easing::InOut, 2, 3, false}, false},
        {"two meshes, ping-pong", 4, {Easing::Out, Easing::Linear, 1, 0, true}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JobFixture f(MixType::Fade);
        f.request.frameCountText = std::to_string(c.steps);
        f.request.morphTiming = c.timing;
        if (c.morph)
            f.request.morphMeshes = movedMeshes();
        f.run();
        const test::DecodedAvi avi = test::DecodeAvi(f.dir / "result.avi");
        const std::unique_ptr<FadeRenderer> fade =
            makeFadeRenderer(f.request, c.steps, loadPicture(f.request.image1Path), loadPicture(f.request.image2Path));
        ASSERT_EQ(avi.frames.size(), std::size_t(fade->frameCount()));
        ASSERT_EQ(fade->frameCount(), fadeFrameTotal(f.request, c.steps));
        for (int i = fade->frameCount() - 1; i >= 0; i -= 2)   // backwards, then the others
            EXPECT_EQ(bgr(fade->render(i)), avi.frames[std::size_t(i)]) << "frame " << i;
        for (int i = fade->frameCount() - 2; i >= 0; i -= 2)
            EXPECT_EQ(bgr(fade->render(i)), avi.frames[std::size_t(i)]) << "frame " << i;
        EXPECT_EQ(uncompressedAviSize(avi.width, avi.height, fade->frameCount()),
                  std::filesystem::file_size(f.dir / "result.avi"));
    }
}

TEST(PreviewRender, GifFramesAtFullScaleAreTheFramesOfResultGifForEveryPaletteAndDither)
{
    for (int p = 0; p < 4; ++p)
        for (int d = 0; d < 4; ++d) {
            JobFixture f(MixType::Fade);
            f.request.fadeOutput = FadeOutput::Gif;
            f.request.gif.palette = GifPalette(p);
            f.request.gif.dither = GifDither(d);
            f.request.gif.optimize = p == 2;   // stored differently, shown the same
            f.request.frameCountText = "4";
            if (d == 1) {   // a morph with easing and holds, as the GIF writes it
                f.request.morphMeshes = movedMeshes();
                f.request.morphTiming = {Easing::In, Easing::InOut, 1, 2, false};
            }
            SCOPED_TRACE(describeGifOptions(f.request.gif));
            f.run();
            const std::vector<std::vector<std::uint8_t>> written = shownFrames(f.dir / "result.gif");
            const std::unique_ptr<FadeRenderer> fade =
                makeFadeRenderer(f.request, 4, loadPicture(f.request.image1Path), loadPicture(f.request.image2Path));
            ASSERT_EQ(written.size(), std::size_t(fade->frameCount()));
            FadePreviewFrames frames(*fade);
            GifFramePreview preview;
            for (int i = fade->frameCount() - 1; i >= 0; --i)
                EXPECT_EQ(bgr(preview.shown(frames, i, f.request.gif)), written[std::size_t(i)]) << "frame " << i;
        }
}

TEST(PreviewRender, MatchScaleBringsTheSecondPictureToTheFirstOnesReduction)
{
    const Picture half(Bitmap(50, 40), 100, 80);
    const Picture full(Bitmap(60, 30));
    const Picture matched = matchScale(half, full);
    EXPECT_EQ(matched.width(), 30);
    EXPECT_EQ(matched.height(), 15);
    EXPECT_TRUE(matchScale(full, full).bitmap().sharesPixelsWith(full.bitmap()));
}

}  // namespace
