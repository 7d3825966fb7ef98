// The preview engine: inputs from the request, results for every mode from pictures decoded
// once, superseded requests never shown, and unreadable pictures told in words.
#include "app/PreviewEngine.h"

#include "job/MixJob.h"
#include "job/PreviewRender.h"
#include "platform/JpegCodec.h"
#include "platform/PictureLoader.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace vantorell::test {
namespace {

struct Queue {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<std::function<void()>> calls;
    WindowThreadUi::Post poster()
    {
        return [this](std::function<void()> call) {
            std::lock_guard<std::mutex> guard(lock);
            calls.push_back(std::move(call));
            arrived.notify_all();
        };
    }
    bool runNext()
    {
        std::unique_lock<std::mutex> guard(lock);
        if (!arrived.wait_for(guard, std::chrono::seconds(30), [this] { return !calls.empty(); }))
            return false;
        auto call = std::move(calls.front());
        calls.pop_front();
        guard.unlock();
        call();
        return true;
    }
};

// A JPEG test picture: the worker decodes JPEGs itself (other formats go through Qt's readers,
// which a program with a window runs on its window's thread).
std::string writeJpeg(const TempDir& dir, const std::string& name, int width, int height, int seed)
{
    const std::string file = (dir.path() / name).string();
    EXPECT_TRUE(encodeJpeg(loadPicture(writePicture(dir, name + ".bmp", width, height, seed)).bitmap(), file, 90));
    return file;
}

struct Fixture {
    TempDir dir;
    std::string one = writeJpeg(dir, "one.jpg", 80, 60, 10);
    std::string two = writeJpeg(dir, "two.jpg", 40, 30, 90);
    Queue queue;
    PreviewEngine engine{queue.poster()};
    std::vector<PreviewResult> shown;
    Fixture() { engine.onReady = [this](const PreviewResult& r) { shown.push_back(r); }; }
    PreviewInputs inputs(MixType type)
    {
        PreviewInputs in;
        in.mixType = type;
        in.image1 = one;
        in.image2 = two;
        return in;
    }
    const PreviewResult& waitFor(std::size_t count)
    {
        while (shown.size() < count)
            if (!queue.runNext())
                ADD_FAILURE() << "no preview arrived";
        return shown.back();
    }
};

TEST(PreviewEngine, EveryModeGivesItsPictureOnTheWindowThread)
{
    Fixture f;
    const struct {
        MixType type;
        FadeOutput output;
        int width, height;
        bool sized;
    } cases[] = {
        {MixType::Blend, FadeOutput::Avi, kBlendCanvasWidth, kBlendCanvasHeight, false},
        {MixType::Overlay, FadeOutput::Avi, 80, 60, false},
        {MixType::Fade, FadeOutput::Avi, 80, 60, true},
        {MixType::Fade, FadeOutput::Gif, 80, 60, false},   // no GIF estimator set
    };
    std::size_t n = 0;
    for (const auto& c : cases) {
        PreviewInputs in = f.inputs(c.type);
        in.fadeOutput = c.output;
        in.frameIndex = 3;
        f.engine.request(in);
        const PreviewResult& r = f.waitFor(++n);
        EXPECT_EQ(r.inputs, in);
        EXPECT_EQ(r.image.width(), c.width);
        EXPECT_EQ(r.image.height(), c.height);
        EXPECT_EQ(r.resultBytes.has_value(), c.sized);
        EXPECT_TRUE(r.message.empty()) << r.message;
    }
}

TEST(PreviewEngine, ANewerRequestSupersedesTheOneInFlight)
{
    Fixture f;
    PreviewInputs first = f.inputs(MixType::Blend), second = first;
    second.blendStart = 300;
    f.engine.request(first);
    f.engine.request(second);
    const PreviewResult& r = f.waitFor(1);
    EXPECT_EQ(r.inputs, second);
    f.engine.request(second);   // the same again: nothing new to render
    PreviewInputs third = second;
    third.blendDirection = BlendDirection::Top;
    f.engine.request(third);
    EXPECT_EQ(f.waitFor(2).inputs, third);
}

TEST(PreviewEngine, MissingAndUnreadablePicturesAreToldInWords)
{
    Fixture f;
    PreviewInputs in = f.inputs(MixType::Overlay);
    in.image2.clear();
    EXPECT_EQ(f.engine.renderNow(in).message, "Choose Image #2 to see a preview.");
    in.image2 = (f.dir.path() / "missing.jpg").string();
    const PreviewResult r = f.engine.renderNow(in);
    EXPECT_EQ(r.message, "Image #2 (" + in.image2 + ") could not be read: no such file.");
    EXPECT_TRUE(r.image.empty());
}

// An Adobe RGB picture mixed with itself previews as its result's colour-managed sRGB view
// (the mix of its numbers, converted); ignore, or no profile, shows the numbers themselves.
TEST(PreviewEngine, ColoursShowAsTheResultWillLook)
{
    TempDir dir;
    const Bitmap numbers = loadPicture(writePicture(dir, "p.bmp", 160, 120, 20)).bitmap();
    const std::string plain = (dir.path() / "plain.jpg").string(), tagged = (dir.path() / "adobe.jpg").string();
    ASSERT_TRUE(encodeJpeg(numbers, plain, 95));
    ASSERT_TRUE(encodeJpeg(numbers, tagged, 95, *adobeRgbIccProfile()));
    ColourProfile adobe;
    adobe.kind = ColourProfile::Kind::Embedded;
    adobe.bytes = adobeRgbIccProfile();
    const ColourConversion toSrgb = conversionToSrgb(adobe);
    ASSERT_TRUE(toSrgb);
    const struct {
        MixType type;
        const std::string& file;
        ColourChoice colour;
        bool managed;
    } cases[] = {
        {MixType::Overlay, tagged, ColourChoice::Keep, true},   {MixType::Overlay, tagged, ColourChoice::Srgb, true},
        {MixType::Overlay, tagged, ColourChoice::Ignore, false}, {MixType::Overlay, plain, ColourChoice::Keep, false},
        {MixType::Blend, tagged, ColourChoice::Keep, true},     {MixType::Fade, tagged, ColourChoice::Keep, true},
        {MixType::Fade, tagged, ColourChoice::Ignore, false},
    };
    PreviewEngine engine({});
    for (const auto& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        PreviewInputs in;
        in.mixType = c.type;
        in.image1 = in.image2 = plain;
        in.colour = ColourChoice::Ignore;
        Bitmap expected = engine.renderNow(in).image;
        if (c.managed)
            toSrgb.convertRows(expected.mutableBits(), expected.stride(), expected.width(), expected.height());
        in.image1 = in.image2 = c.file;
        in.colour = c.colour;
        const Bitmap shown = engine.renderNow(in).image;
        ASSERT_EQ(shown.byteCount(), expected.byteCount());
        int worst = 0;
        for (std::size_t i = 0; i < shown.byteCount(); ++i)
            if (i % 4 != 3)
                worst = std::max(worst, std::abs(shown.bits()[i] - expected.bits()[i]));
        EXPECT_LE(worst, c.managed ? 2 : 0);
    }
}

// Align checked: the preview shows picture 2 aligned, as the job mixes it, or says why it cannot.
TEST(PreviewEngine, ShowsTheAlignedPairOrWhyNot)
{
    Fixture f;
    const Picture photo = loadPicture(std::string(VANTORELL_SAMPLES_DIR) + "/sample1.jpg");
    Bitmap shifted(photo.width() - 12, photo.height() - 8);
    for (int y = 0; y < shifted.height(); ++y)
        for (int x = 0; x < shifted.width(); ++x)
            shifted.setPixel(x, y, photo.bitmap().pixel(x + 12, y + 8));
    const std::string shiftedFile = (f.dir.path() / "shifted.jpg").string();
    ASSERT_TRUE(encodeJpeg(shifted, shiftedFile, 95));
    struct Case {
        MixType type;
        std::string image1, image2, message;
    };
    const Case cases[] = {
        {MixType::Overlay, std::string(VANTORELL_SAMPLES_DIR) + "/sample1.jpg", shiftedFile, ""},
        {MixType::Fade, std::string(VANTORELL_SAMPLES_DIR) + "/sample1.jpg", shiftedFile, ""},
        {MixType::Overlay, f.one, f.two, kAlignFailure},
    };
    for (const Case& c : cases) {
        PreviewInputs in = f.inputs(c.type);
        in.image1 = c.image1;
        in.image2 = c.image2;
        in.frameIndex = 5;   // the Fade's middle frame
        const PreviewResult plain = f.engine.renderNow(in);
        in.align = true;
        const PreviewResult aligned = f.engine.renderNow(in);
        EXPECT_EQ(aligned.message, c.message);
        EXPECT_EQ(aligned.image.empty(), !c.message.empty());
        if (!c.message.empty())
            continue;
        // Mixed aligned, the pair's edges meet: the middle of the mix (the Fade's middle frame)
        // is sharper than the plain mix's doubled, softened edges.
        const auto edgeEnergy = [](const Bitmap& image) {
            long long sum = 0;
            for (int y = image.height() / 4; y < image.height() * 3 / 4; ++y)
                for (int x = image.width() / 4; x < image.width() * 3 / 4; ++x)
                    sum += std::abs((image.pixel(x, y) & 0xFF) - (image.pixel(x + 1, y) & 0xFF));
            return sum;
        };
        EXPECT_GT(edgeEnergy(aligned.image), edgeEnergy(plain.image) * 21 / 20);
    }
}

TEST(PreviewEngine, InputsFollowTheRequest)
{
    MixRequest request;
    request.mixType = MixType::Fade;
    request.frameCountText = "4";
    EXPECT_EQ(PreviewInputs::from(request, 9).frameIndex, 3);
    request.frameCountText = "many";
    EXPECT_EQ(PreviewInputs::from(request, 2).frameCount, 1);
    request.colour = ColourChoice::Srgb;
    EXPECT_EQ(PreviewInputs::from(request, 0).colour, ColourChoice::Srgb);
}

TEST(PreviewEngine, TheFadesFramesAreEveryFrameTheJobWritesWithTheMorphItWrites)
{
    MixRequest request;
    request.mixType = MixType::Fade;
    request.frameCountText = "4";
    request.morphTiming = {Easing::In, Easing::Out, 2, 3, true};   // 2 + 4 + 3, then 7 back
    request.morphMeshes = regularMeshPair(3, 3, 80, 60, 80, 60);
    const PreviewInputs in = PreviewInputs::from(request, 100);
    EXPECT_EQ(in.steps, 4);
    EXPECT_EQ(in.frameCount, 16);
    EXPECT_EQ(in.frameIndex, 15);
    EXPECT_EQ(in.morphMeshes, request.morphMeshes);
    EXPECT_EQ(in.morphTiming, request.morphTiming);

    Fixture f;
    PreviewInputs fade = f.inputs(MixType::Fade);
    fade.steps = 4;
    fade.frameCount = 16;
    fade.frameIndex = 15;
    fade.morphTiming = request.morphTiming;
    const PreviewResult r = f.engine.renderNow(fade);
    EXPECT_TRUE(r.message.empty()) << r.message;
    EXPECT_EQ(r.resultBytes, uncompressedAviSize(80, 60, 16));
}

}  // namespace
}  // namespace vantorell::test
