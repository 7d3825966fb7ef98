// The installed API against the jobs it wraps: the same pixels in memory as in the files the
// jobs write, and its one way of refusing bad input.
#include "support/TempDir.h"

#include <vantorell/vantorell.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace vt = vantorell::api;
using vantorell::test::TempDir;

namespace {

const std::string kSample1 = VANTORELL_SAMPLES_DIR "/sample1.jpg";
const std::string kSample2 = VANTORELL_SAMPLES_DIR "/sample2.jpg";

std::vector<char> fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

vt::JobRequest samplesJob(const std::filesystem::path& output)
{
    vt::JobRequest request;
    request.image1 = kSample1;
    request.image2 = kSample2;
    request.outputFile = output.string();
    request.jpegQuality = 90;
    request.blend = {vt::BlendDirection::Top, 100, 640, 480, vt::BlendFit::Crop};
    request.fade.frames = 4;
    request.format = vt::FadeFormat::Gif;
    return request;
}

struct InMemoryCase {
    const char* name;
    vt::MixKind kind;
};

class InMemoryMatchesJob : public testing::TestWithParam<InMemoryCase> {};

// The job's file and the same mix made in memory (then saved or encoded) are the same bytes.
TEST_P(InMemoryMatchesJob, SameBytes)
{
    TempDir dir;
    const vt::MixKind kind = GetParam().kind;
    const vt::JobRequest request = samplesJob(dir / (kind == vt::MixKind::Fade ? "job.gif" : "job.jpg"));
    const vt::JobOutcome outcome = vt::runJob(kind, request);
    ASSERT_TRUE(outcome.succeeded()) << outcome.failure;

    const vt::LoadOptions cover{vt::PixelFormat::Rgb24, 640, 480};   // a Blend decodes to cover its canvas
    const vt::Image first = vt::loadImage(kSample1, kind == vt::MixKind::Blend ? cover : vt::LoadOptions{});
    const vt::Image second = vt::loadImage(kSample2, kind == vt::MixKind::Blend ? cover : vt::LoadOptions{});
    const std::filesystem::path mine = dir / (kind == vt::MixKind::Fade ? "mine.gif" : "mine.jpg");
    if (kind == vt::MixKind::Fade) {
        const vt::FadeRenderer fade(first, second, request.fade);
        std::vector<vt::Image> frames;
        for (int i = 0; i < fade.frameCount(); ++i)
            frames.push_back(fade.frame(i));
        const std::vector<std::uint8_t> gif = vt::encodeGif(frames);
        std::ofstream(mine, std::ios::binary).write(reinterpret_cast<const char*>(gif.data()), std::streamsize(gif.size()));
        EXPECT_GT(vt::estimateGifSize(frames), 0);
    } else {
        const vt::Image mixed = kind == vt::MixKind::Blend ? vt::blend(first, second, request.blend)
                                                           : vt::overlay(first, second);
        vt::saveImage(mixed, mine.string(), {.jpegQuality = 90});
    }
    EXPECT_EQ(fileBytes(mine), fileBytes(dir / (kind == vt::MixKind::Fade ? "job.gif" : "job.jpg")));
}

INSTANTIATE_TEST_SUITE_P(Api, InMemoryMatchesJob,
                         testing::Values(InMemoryCase{"Blend", vt::MixKind::Blend},
                                         InMemoryCase{"Overlay", vt::MixKind::Overlay},
                                         InMemoryCase{"Fade", vt::MixKind::Fade}),
                         [](const auto& info) { return std::string(info.param.name); });

// A PNG written without Qt reads back (through Qt's readers) as the same pixels, in either format.
TEST(Api, PngRoundTrip)
{
    TempDir dir;
    const vt::Image picture = vt::loadImage(kSample1, {vt::PixelFormat::Bgra32});
    vt::saveImage(picture, (dir / "copy.png").string());
    const vt::Image back = vt::loadImage((dir / "copy.png").string(), {vt::PixelFormat::Bgra32});
    ASSERT_EQ(back.width(), picture.width());
    ASSERT_EQ(back.height(), picture.height());
    EXPECT_TRUE(std::equal(back.data(), back.data() + back.stride() * std::size_t(back.height()), picture.data()));
}

TEST(Api, ProgressCanCancelAJob)
{
    TempDir dir;
    int calls = 0;
    const vt::JobOutcome outcome = vt::runOverlay(samplesJob(dir / "out.jpg"), [&](const vt::JobProgress&) {
        return ++calls < 3;
    });
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.writtenFile);
    EXPECT_EQ(calls, 3);
}

struct RefusalCase {
    const char* name;
    vt::ErrorCode expected;
    std::function<void()> call;
};

// Test listings show the case's name, not the struct's bytes.
void PrintTo(const RefusalCase& refusal, std::ostream* out)
{
    *out << refusal.name;
}

class Refusals : public testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, ThrowTheDocumentedError)
{
    try {
        GetParam().call();
        FAIL() << "no error";
    } catch (const vt::Error& error) {
        EXPECT_EQ(error.code(), GetParam().expected) << error.what();
    }
}

const std::vector<std::uint8_t> kTwelveBytes(12);
const vt::Image kSmall = vt::Image::allocate(2, 2, vt::PixelFormat::Rgb24);
const vt::Image kOther = vt::Image::allocate(3, 2, vt::PixelFormat::Rgb24);

INSTANTIATE_TEST_SUITE_P(
    Api, Refusals,
    testing::Values(
        RefusalCase{"NullBuffer", vt::ErrorCode::InvalidArgument,
                    [] { vt::Image::view({static_cast<const std::uint8_t*>(nullptr), 12}, 2, 2, vt::PixelFormat::Rgb24); }},
        RefusalCase{"ShortBuffer", vt::ErrorCode::InvalidArgument,
                    [] { vt::Image::view({kTwelveBytes.data(), 11}, 2, 2, vt::PixelFormat::Rgb24); }},
        RefusalCase{"ShortForStride", vt::ErrorCode::InvalidArgument,
                    [] { vt::Image::copyOf(kTwelveBytes, 2, 2, vt::PixelFormat::Rgb24, 8); }},
        RefusalCase{"StrideBelowRow", vt::ErrorCode::InvalidArgument,
                    [] { vt::Image::view(kTwelveBytes, 2, 2, vt::PixelFormat::Bgra32, 6); }},
        RefusalCase{"NoWidth", vt::ErrorCode::InvalidArgument,
                    [] { vt::Image::view(kTwelveBytes, 0, 2, vt::PixelFormat::Rgb24); }},
        RefusalCase{"TooWide", vt::ErrorCode::TooLarge, [] { vt::Image::allocate(40000, 1, vt::PixelFormat::Rgb24); }},
        RefusalCase{"EmptyImage", vt::ErrorCode::InvalidArgument, [] { vt::overlay({}, kSmall); }},
        RefusalCase{"GifSizeMismatch", vt::ErrorCode::SizeMismatch,
                    [] { vt::encodeGif(std::vector<vt::Image>{kSmall, kOther}); }},
        RefusalCase{"CanvasTooSmall", vt::ErrorCode::InvalidArgument,
                    [] { vt::blend(kSmall, kSmall, {.canvasWidth = 10}); }},
        RefusalCase{"FrameOutOfRange", vt::ErrorCode::InvalidArgument,
                    [] { vt::FadeRenderer(kSmall, kOther, {.frames = 3}).frame(3); }},
        RefusalCase{"MissingFile", vt::ErrorCode::FileNotFound, [] { vt::loadImage("/nonexistent/a.jpg"); }},
        RefusalCase{"NotAPicture", vt::ErrorCode::InvalidPicture,
                    [] { vt::loadImage(VANTORELL_SOURCE_DIR "/README.md"); }},
        RefusalCase{"UnwritableFile", vt::ErrorCode::WriteFailed,
                    [] { vt::saveImage(kSmall, "/nonexistent/out.png"); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
