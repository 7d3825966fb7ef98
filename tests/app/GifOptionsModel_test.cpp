// The window's GIF choices: a store without the keys gives today's GIF request and writes
// nothing, the choices round-trip through the settings, damaged values fall back, and the
// preview's estimator gives a figure for the chosen options.
#include "app/WindowModelHarness.h"

#include "gif/GifEncoder.h"
#include "job/PreviewRender.h"
#include "mix/FadeRenderer.h"
#include "platform/Bitmap.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace vantorell::test {
namespace {

constexpr std::string_view kAllKeys[] = {gifkeys::kPalette, gifkeys::kDither, gifkeys::kOptimize, gifkeys::kLossy,
                                         gifkeys::kMaxSize, gifkeys::kQuality};

void expectTodaysGif(const MixRequest& request)
{
    const MixRequest plain;
    EXPECT_EQ(request.gif.palette, GifPalette::Halftone);
    EXPECT_EQ(request.gif.dither, GifDither::Ordered);
    EXPECT_EQ(request.gif.optimize, plain.gif.optimize);
    EXPECT_EQ(request.gif.lossy, plain.gif.lossy);
    EXPECT_EQ(request.gif.maxSize, plain.gif.maxSize);
    EXPECT_EQ(request.gif.quality, 0);
}

TEST(GifOptionsModel, StoreWithoutTheKeysGivesTodaysRequestAndWritesNone)
{
    WindowModelHarness h;
    h.settings.put("Option5", "False");
    h.settings.put("Option6", "True");   // Fade
    h.settings.put("Option9", "True");   // GIF
    h.settings.put("Option8", "False");
    WindowModel& f = h.load();
    const MixRequest request = f.request();
    EXPECT_EQ(request.fadeOutput, FadeOutput::Gif);
    expectTodaysGif(request);
    for (std::string_view key : kAllKeys)
        EXPECT_FALSE(h.settings.stored(key).has_value()) << key;
    EXPECT_EQ(f.gifOptions.estimateText(), "");
}

TEST(GifOptionsModel, ChoicesRoundTripThroughTheSettings)
{
    WindowModelHarness first;
    WindowModel& f = first.load();
    f.gifOptions.setPalette(GifPalette::PerFrame);
    f.gifOptions.setDither(GifDither::Ordered8);
    f.gifOptions.setOptimize(true);
    f.gifOptions.setLossy(500);   // clamped
    f.gifOptions.setQuality(70);
    EXPECT_TRUE(f.gifOptions.setMaxSizeText(" 2MB "));
    EXPECT_FALSE(f.gifOptions.setMaxSizeText("big"));   // not a size: the target stays
    EXPECT_EQ(first.settings.stored(gifkeys::kPalette), "per-frame");
    EXPECT_EQ(first.settings.stored(gifkeys::kDither), "ordered8");
    EXPECT_EQ(first.settings.stored(gifkeys::kOptimize), "True");
    EXPECT_EQ(first.settings.stored(gifkeys::kLossy), "200");
    EXPECT_EQ(first.settings.stored(gifkeys::kQuality), "70");
    EXPECT_EQ(first.settings.stored(gifkeys::kMaxSize), "2000000");

    WindowModelHarness second;
    second.settings.values = first.settings.values;
    WindowModel& g = second.load();
    const MixRequest request = g.request();
    EXPECT_EQ(request.gif.palette, GifPalette::PerFrame);
    EXPECT_EQ(request.gif.dither, GifDither::Ordered8);
    EXPECT_TRUE(request.gif.optimize);
    EXPECT_EQ(request.gif.lossy, 200);
    EXPECT_EQ(request.gif.quality, 70);
    EXPECT_EQ(request.gif.maxSize, std::optional<std::int64_t>(2'000'000));

    // Back to the plain choices: the next start gives today's GIF again.
    g.gifOptions.setPalette(GifPalette::Halftone);
    g.gifOptions.setDither(GifDither::Ordered);
    g.gifOptions.setOptimize(false);
    g.gifOptions.setLossy(0);
    g.gifOptions.setQuality(0);
    EXPECT_TRUE(g.gifOptions.setMaxSizeText(""));
    EXPECT_EQ(second.settings.stored(gifkeys::kMaxSize), "none");
    WindowModelHarness third;
    third.settings.values = second.settings.values;
    expectTodaysGif(third.load().request());
}

TEST(GifOptionsModel, BadStoredValuesFallBackToTheDefaults)
{
    const struct {
        const char *palette, *dither, *optimize, *lossy, *maxSize, *quality;
    } cases[] = {
        {"Halftone", "ORDERED", "yes", "-1", "0", "-1"},
        {"", "", "", "", "", ""},
        {"octree", "floyd", "1", "201", "12 parsecs", "101"},
        {"per frame", "ordered 8", "true", "20x", "-5MB", "50%"},
        {"global ", " none", "False", "99999999999999999999", "99999999999999999999999", "high"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.palette);
        WindowModelHarness h;
        h.settings.put(gifkeys::kPalette, c.palette);
        h.settings.put(gifkeys::kDither, c.dither);
        h.settings.put(gifkeys::kOptimize, c.optimize);
        h.settings.put(gifkeys::kLossy, c.lossy);
        h.settings.put(gifkeys::kMaxSize, c.maxSize);
        h.settings.put(gifkeys::kQuality, c.quality);
        WindowModel& f = h.load();
        EXPECT_TRUE(h.ui.boxes.empty());
        expectTodaysGif(f.request());
    }
}

TEST(GifOptionsModel, TheEstimatorGivesAFigureForTheChosenOptionsAndTheTextSaysIt)
{
    Bitmap first(64, 48), second(32, 24);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            first.setPixel(x, y, (x * 4) | ((y * 5) << 8));
    second.setPixel(3, 3, 0xFFFFFF);
    const auto estimate = makePreviewGifSizeEstimator();
    PreviewInputs inputs;
    inputs.mixType = MixType::Fade;
    inputs.fadeOutput = FadeOutput::Gif;
    inputs.frameCount = 6;
    const std::optional<std::uint64_t> small = estimate(first, second, inputs, 64, 48);
    ASSERT_TRUE(small.has_value());
    EXPECT_GT(*small, 64u * 48u / 8);
    inputs.frameIndex = 4;   // another frame: the same figure
    EXPECT_EQ(estimate(first, second, inputs, 64, 48), small);
    const std::optional<std::uint64_t> large = estimate(first, second, inputs, 640, 480);   // full size
    ASSERT_TRUE(large.has_value());
    EXPECT_GT(*large, *small * 50);
    EXPECT_FALSE(estimate(first, Bitmap(), inputs, 64, 48).has_value());

    MemorySettings settings;
    GifOptionsModel model(settings);
    model.setEstimate(1'234'000);
    EXPECT_EQ(model.estimateText(), "about " + formatByteSize(1'234'000));
    EXPECT_TRUE(model.setMaxSizeText("1MB"));
    EXPECT_NE(model.estimateText().find("over the target"), std::string::npos);
}

// The figure the window shows is within 5 % of the GIF the job writes (the job's renderer on
// the same pictures, encoded whole), hold frames and ping-pong included.
TEST(GifOptionsModel, TheEstimateIsWithinFivePercentWithHoldsAndPingPong)
{
    Bitmap first(160, 120), second(160, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            const unsigned grain = (unsigned(x) * 2654435761u ^ unsigned(y) * 40503u) >> 26;
            first.setPixel(x, y, (x + grain) | ((y * 2) << 8) | ((90 + grain) << 16));
            second.setPixel(x, y, (200 - y) | ((60 + grain * 2) << 8) | (x << 16));
        }
    GifOptions global;
    global.palette = GifPalette::Global;
    global.optimize = true;
    GifOptions perFrame;
    perFrame.palette = GifPalette::PerFrame;
    perFrame.dither = GifDither::Diffusion;
    for (const auto& [gif, holdStart, holdEnd, pingPong] :
         {std::tuple{GifOptions{}, 4, 6, true}, std::tuple{global, 4, 6, true}, std::tuple{global, 0, 12, false},
          std::tuple{perFrame, 5, 0, true}}) {
        MixRequest request;
        request.mixType = MixType::Fade;
        request.fadeOutput = FadeOutput::Gif;
        request.frameCountText = "8";
        request.gif = gif;
        request.morphTiming.holdStart = holdStart;
        request.morphTiming.holdEnd = holdEnd;
        request.morphTiming.pingPong = pingPong;
        const auto fade = makeFadeRenderer(request, 8, Picture(first), Picture(second));
        FadePreviewFrames frames(*fade);
        std::vector<std::uint8_t> written;
        ASSERT_EQ(encodeGifAnimation(frames, gif, written), GifEncodeStatus::Done);
        const std::optional<std::uint64_t> estimate =
            makePreviewGifSizeEstimator()(first, second, PreviewInputs::from(request, 0), 160, 120);
        ASSERT_TRUE(estimate.has_value());
        EXPECT_NEAR(double(*estimate), double(written.size()), 0.05 * double(written.size()))
            << describeGifOptions(gif) << ", holds " << holdStart << " and " << holdEnd << (pingPong ? ", ping-pong" : "");
    }
}

}  // namespace
}  // namespace vantorell::test
