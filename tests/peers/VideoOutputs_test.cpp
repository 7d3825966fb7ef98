// The Fade's video outputs end to end, checked with the peers that read them: FFmpeg decodes
// MP4, WebM and APNG (frame count, size, rate), libwebp's own demuxer decodes the animated WebP
// (Debian's FFmpeg cannot). APNG and lossless WebP give back exactly the frames the uncompressed
// AVI of the same job holds; odd sizes are padded for the 4:2:0 encoders, never stretched.
#include "avi/VideoFile.h"
#include "job/FadeJob.h"
#include "job/MixJob.h"
#include "support/AviDecode.h"
#include "support/FakeUi.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

extern "C" {
#include <libavformat/avformat.h>
}
#include <webp/demux.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vantorell {
namespace {

using test::FakeUi;
using test::TempDir;

using Frames = std::vector<std::vector<std::uint8_t>>;   // top-down packed BGR24

struct Job {
    TempDir dir, temp;
    test::ScopedEnv env{"TEMP", temp.path().string()};
    FakeUi ui;
    MixRequest request;
    MixOutcome outcome;

    Job(int w, int h, int frames, FadeOutput output, int quality = -1)
    {
        request.mixType = MixType::Fade;
        request.image1Path = test::writePicture(dir, "one.bmp", w, h, 10);
        request.image2Path = test::writePicture(dir, "two.bmp", w, h, 80);
        request.outputFolder = dir.path().string();
        request.frameCountText = std::to_string(frames);
        request.fadeOutput = output;
        request.videoQuality = quality;
        request.codec = "uncompressed";
        MixJob job(ui, &runFadeSteps);
        outcome = job.run(request);
    }
};

// The frames the engine renders, from the uncompressed AVI of the same job.
Frames renderedFrames(int w, int h, int n)
{
    Job avi(w, h, n, FadeOutput::Avi);
    return test::DecodeAvi(avi.dir / "result.avi").frames;
}

// The stream's frame rate as FFmpeg reads it.
AVRational frameRate(const std::filesystem::path& file)
{
    AVFormatContext* fc = nullptr;
    AVRational rate{0, 1};
    if (avformat_open_input(&fc, file.c_str(), nullptr, nullptr) == 0 && avformat_find_stream_info(fc, nullptr) >= 0 &&
        fc->nb_streams == 1)
        rate = fc->streams[0]->avg_frame_rate;
    avformat_close_input(&fc);
    return rate;
}

struct WebpAnimation {
    int width = 0, height = 0, loops = -1;
    Frames frames;                 // BGR24
    std::vector<int> timestamps;   // ms at each frame's end
};

WebpAnimation decodeWebp(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    WebpAnimation out;
    WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_BGRA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (!decoder)
        return out;
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    out.width = int(info.canvas_width);
    out.height = int(info.canvas_height);
    out.loops = int(info.loop_count);
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        std::uint8_t* pixels = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder, &pixels, &timestamp))
            break;
        std::vector<std::uint8_t> frame(std::size_t(out.width) * out.height * 3);
        for (std::size_t p = 0; p < std::size_t(out.width) * out.height; ++p)
            for (int c = 0; c < 3; ++c)
                frame[p * 3 + c] = pixels[p * 4 + c];
        out.frames.push_back(std::move(frame));
        out.timestamps.push_back(timestamp);
    }
    WebPAnimDecoderDelete(decoder);
    return out;
}

// Mean absolute difference of the picture's own area (the padding left out).
double meanError(const std::vector<std::uint8_t>& want, int w, int h, const std::vector<std::uint8_t>& got, int gotWidth)
{
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x)
            sum += std::abs(int(want[std::size_t(y) * w * 3 + x]) - int(got[std::size_t(y) * gotWidth * 3 + x]));
    return sum / (double(w) * h * 3);
}

TEST(VideoOutputs, EveryFormatFrameCountSizeAndRate)
{
    const struct {
        FadeOutput output;
        VideoFormat format;
        const char* file;
        bool exact;     // decodes to the rendered frames
    } formats[] = {
        {FadeOutput::Mp4, VideoFormat::Mp4, "result.mp4", false},
        {FadeOutput::Webm, VideoFormat::Webm, "result.webm", false},
        {FadeOutput::Apng, VideoFormat::Apng, "result.png", true},
    };
    for (const auto& f : formats) {
        if (!videoFormatAvailable(f.format))
            continue;
        for (const auto& [w, h] : {std::pair{37, 23}, std::pair{40, 30}}) {
            for (int n : {1, 4}) {
                SCOPED_TRACE(std::string(f.file) + " " + std::to_string(w) + "x" + std::to_string(h) + " N=" + std::to_string(n));
                Job job(w, h, n, f.output);
                ASSERT_EQ(job.ui.texts(), std::vector<std::string>{"Done."});
                EXPECT_TRUE(job.ui.compressorOffers.empty());
                ASSERT_TRUE(job.outcome.writtenFile);
                EXPECT_EQ(std::filesystem::path(*job.outcome.writtenFile).filename(), f.file);
                const test::DecodedAvi d = test::DecodeAvi(job.dir / f.file);
                ASSERT_TRUE(d.opened);
                ASSERT_EQ(d.frames.size(), std::size_t(n));
                const FrameLayout coded = videoCodedSize(f.format, {w, h});
                EXPECT_EQ(d.width, coded.width);
                EXPECT_EQ(d.height, coded.height);
                if (n > 1) {
                    EXPECT_EQ(av_q2d(frameRate(job.dir / f.file)), 5.0);
                }
                const Frames rendered = renderedFrames(w, h, n);
                for (int i = 0; i < n; ++i) {
                    if (f.exact)
                        EXPECT_EQ(d.frames[std::size_t(i)], rendered[std::size_t(i)]) << "frame " << i;
                    else
                        EXPECT_LT(meanError(rendered[std::size_t(i)], w, h, d.frames[std::size_t(i)], d.width), 12.0)
                            << "frame " << i;
                }
            }
        }
    }
}

TEST(VideoOutputs, AnimatedWebpLossyAndLossless)
{
    if (!videoFormatAvailable(VideoFormat::Webp))
        GTEST_SKIP() << "no libwebp_anim encoder";
    for (const auto& [w, h] : {std::pair{37, 23}, std::pair{40, 30}}) {
        for (int n : {1, 4}) {
            const Frames rendered = renderedFrames(w, h, n);
            for (int quality : {-1, 100}) {
                SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " N=" + std::to_string(n) + " q=" + std::to_string(quality));
                Job job(w, h, n, FadeOutput::Webp, quality);
                ASSERT_EQ(job.ui.texts(), std::vector<std::string>{"Done."});
                const WebpAnimation a = decodeWebp(job.dir / "result.webp");
                EXPECT_EQ(a.width, w);
                EXPECT_EQ(a.height, h);
                if (n > 1) {
                    EXPECT_EQ(a.loops, 0);   // forever; one frame is a still WebP
                }
                ASSERT_EQ(a.frames.size(), std::size_t(n));
                for (int i = 0; i < n; ++i) {
                    if (n > 1) {
                        EXPECT_EQ(a.timestamps[std::size_t(i)], 200 * (i + 1));   // 5 per second
                    }
                    if (quality == 100)
                        EXPECT_EQ(a.frames[std::size_t(i)], rendered[std::size_t(i)]) << "frame " << i;
                    else
                        EXPECT_LT(meanError(rendered[std::size_t(i)], w, h, a.frames[std::size_t(i)], w), 12.0);
                }
            }
        }
    }
}

// A result that cannot be written keeps the earlier one and says so, as for the AVI.
TEST(VideoOutputs, AFolderAtTheResultsNameIsReported)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "result.mp4");
    FakeUi ui;
    MixRequest request;
    request.mixType = MixType::Fade;
    request.image1Path = test::writePicture(dir, "one.bmp", 20, 10, 1);
    request.image2Path = test::writePicture(dir, "two.bmp", 20, 10, 2);
    request.outputFolder = dir.path().string();
    request.fadeOutput = FadeOutput::Mp4;
    MixJob job(ui, &runFadeSteps);
    const MixOutcome outcome = job.run(request);
    EXPECT_FALSE(outcome.wroteResult());
    EXPECT_EQ(ui.texts().back(), "No result was written: result.mp4 cannot replace what stands at its name.");
}

}  // namespace
}  // namespace vantorell
