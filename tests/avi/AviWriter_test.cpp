#include "avi/AviWriter.h"
#include "avi/VideoFile.h"

#include "support/AviDecode.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/rational.h>
}

#include <cmath>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

using namespace vantorell;
using vantorell::test::TempDir;

namespace {

// A bottom-up 24-bit frame (BMP rows padded to 4 bytes) whose pixels depend on the frame index.
struct Frame {
    BitmapInfoHeader header;
    std::vector<std::uint8_t> bits;
};

Frame makeFrame(int width, int height, int index)
{
    Frame f;
    f.header = {40, width, height, 1, 24, 0, 0, 0, 0, 0, 0};
    const std::size_t row = (std::size_t(width) * 3 + 3) / 4 * 4;
    f.header.sizeImage = std::uint32_t(row * height);
    f.bits.assign(row * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &f.bits[row * (height - 1 - y) + 3 * x];
            // Smooth content so that lossy codecs stay close.
            p[0] = std::uint8_t((x * 255) / std::max(1, width - 1));
            p[1] = std::uint8_t((y * 255) / std::max(1, height - 1));
            p[2] = std::uint8_t(index * 25);
        }
    return f;
}

// Top-down packed BGR24 of a frame.
std::vector<std::uint8_t> topDown(const Frame& f)
{
    const int w = f.header.width, h = f.header.height;
    const std::size_t row = (std::size_t(w) * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> out(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        std::memcpy(&out[std::size_t(y) * w * 3], &f.bits[row * (h - 1 - y)], std::size_t(w) * 3);
    return out;
}

struct Decoded {
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<bool> key;
    AVRational timeBase{0, 1};
    int width = 0, height = 0;
};

Decoded decode(const std::filesystem::path& file)
{
    const vantorell::test::DecodedAvi avi = vantorell::test::DecodeAvi(file);
    EXPECT_TRUE(avi.opened) << file;
    EXPECT_EQ(avi.container, "avi");
    EXPECT_EQ(avi.streams, 1u);
    return {avi.frames, avi.key, {avi.timeBaseNum, avi.timeBaseDen}, avi.width, avi.height};
}

void writeAvi(const std::filesystem::path& file, const CompressorChoice& choice, int width, int height, int count, int fps)
{
    AviStreamWriter avi;
    ASSERT_EQ(avi.open(file), 0);
    const Frame first = makeFrame(width, height, 0);
    std::vector<std::uint8_t> info(40);
    ASSERT_EQ(avi.createStream(first.header, info, aviStreamRate(fps)), 0);
    ASSERT_EQ(avi.makeCompressed(choice), 0) << choice.name;
    for (int i = 0; i < count; ++i) {
        const Frame f = makeFrame(width, height, i);
        ASSERT_EQ(avi.writeFrame(f.bits, i), 0);
    }
    ASSERT_EQ(avi.finish(), 0);
}

bool offered(const std::string& name)
{
    for (const CompressorOption& o : aviCompressors())
        if (o.name == name)
            return true;
    return false;
}

}  // namespace

TEST(AviCompressors, OfferUncompressedAndTheLosslessAndCommonCodecs)
{
    const auto list = aviCompressors();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].name, "uncompressed");
    EXPECT_EQ(list[0].description, "Full Frames (Uncompressed)");
    for (const char* name : {"mjpeg", "mpeg4", "ffv1", "huffyuv"})
        EXPECT_TRUE(offered(name)) << name;
    for (const auto& o : list) {
        if (o.name == "mpeg4" || o.name == "h264") {
            EXPECT_TRUE(o.supportsKeyFrames && o.supportsDataRate) << o.name;
        }
    }
}

TEST(AviCompressors, EveryOfferedCodecIsReadBack)
{
    // Every offer makes an AVI that FFmpeg's own demuxer and decoders read back in full.
    TempDir dir;
    for (const CompressorOption& offer : aviCompressors()) {
        const auto file = dir / (offer.name + ".avi");
        writeAvi(file, {offer.name}, 16, 12, 3, 5);
        const Decoded d = decode(file);
        ASSERT_EQ(d.frames.size(), 3u) << offer.name;
        EXPECT_EQ(d.width, 16) << offer.name;
        EXPECT_EQ(d.height, 12) << offer.name;
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(d.frames[i].size(), std::size_t(16 * 12 * 3)) << offer.name << " " << i;
    }
}

TEST(AviStreamRate, ClampsToOneThroughThirty)
{
    EXPECT_EQ(aviStreamRate(0), 1);
    EXPECT_EQ(aviStreamRate(-4), 1);
    EXPECT_EQ(aviStreamRate(5), 5);
    EXPECT_EQ(aviStreamRate(45), 30);
}

TEST(aviFrameDelay, FollowsTheFrameRateTable)
{
    const struct { std::uint32_t fps; int delay; } table[] = {{1, 100}, {3, 33}, {5, 20}, {7, 14},
                                                             {10, 10}, {25, 4}, {30, 3}};
    for (const auto& row : table)
        for (std::int64_t n : {1, 3, 10})
            EXPECT_EQ(aviFrameDelay(0, n, 1, row.fps), row.delay) << row.fps << " fps, " << n << " frames";
    // T truncated to whole milliseconds, then two roundings half to even.
    EXPECT_EQ(aviFrameDelay(0, 10, 1, 8), 12);    // T 1250, t 125, 12.5 -> 12
    EXPECT_EQ(aviFrameDelay(0, 10, 1, 16), 6);    // T 625, t 62.5 -> 62, 6.2 -> 6
    EXPECT_EQ(aviFrameDelay(0, 10, 1, 22), 4);    // T 454, t 45.4 -> 45, 4.5 -> 4
    EXPECT_EQ(aviFrameDelay(0, 10, 1001, 30000), 3);   // NTSC: T 333, t 33
    // The stream's start counts into T, as the platform's sample-to-time call does.
    EXPECT_EQ(aviFrameDelay(10, 10, 1, 5), 40);
    // Nothing to time, and headers that would overflow: 0, or the largest GIF delay.
    EXPECT_EQ(aviFrameDelay(0, 0, 1, 5), 0);
    EXPECT_EQ(aviFrameDelay(0, 10, 1, 0), 0);
    EXPECT_EQ(aviFrameDelay(0, 10, 0xFFFFFFFFu, 1), 65535);
    EXPECT_EQ(aviFrameDelay(0x7FFFFFFF, 1, 0xFFFFFFFFu, 1), 65535);
}

TEST(AviStreamWriter, LosslessCodecsRoundTripEveryFrameExactly)
{
    TempDir dir;
    for (const char* name : {"uncompressed", "ffv1", "huffyuv"}) {
        for (const auto& size : {std::pair{729, 425}, std::pair{33, 17}}) {
            const auto [w, h] = size;
            const auto file = dir / (std::string(name) + ".avi");
            writeAvi(file, {name}, w, h, 10, 5);
            const Decoded d = decode(file);
            ASSERT_EQ(d.frames.size(), 10u) << name;
            EXPECT_EQ(d.width, w);
            EXPECT_EQ(d.height, h);
            EXPECT_EQ(d.timeBase.num, 1) << name;
            EXPECT_EQ(d.timeBase.den, 5) << name;
            for (int i = 0; i < 10; ++i) {
                EXPECT_TRUE(d.key[std::size_t(i)]) << name << " frame " << i;
                ASSERT_EQ(d.frames[std::size_t(i)], topDown(makeFrame(w, h, i))) << name << " " << w << "x" << h << " frame " << i;
            }
        }
    }
}

TEST(AviStreamWriter, LossyCodecsKeepFramesCloseAndKeyFramesAsAsked)
{
    TempDir dir;
    for (const char* name : {"mjpeg", "mpeg4", "h264"}) {
        if (!offered(name))
            continue;
        const auto file = dir / (std::string(name) + ".avi");
        writeAvi(file, {name, 1}, 64, 48, 6, 30);
        const Decoded d = decode(file);
        ASSERT_EQ(d.frames.size(), 6u) << name;
        EXPECT_EQ(d.timeBase.den, 30) << name;
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_TRUE(d.key[i]) << name << " frame " << i;
            const auto want = topDown(makeFrame(64, 48, int(i)));
            double error = 0;
            for (std::size_t k = 0; k < want.size(); ++k)
                error += std::abs(int(want[k]) - int(d.frames[i][k]));
            EXPECT_LT(error / double(want.size()), 6.0) << name << " frame " << i;
        }
    }
    // Unless asked, MPEG-4 and H.264 make a key frame every two seconds of frames.
    for (const char* name : {"mpeg4", "h264"}) {
        if (!offered(name))
            continue;
        const auto twoSeconds = dir / (std::string(name) + "-default.avi");
        writeAvi(twoSeconds, {name}, 64, 48, 9, 2);
        const Decoded d = decode(twoSeconds);
        EXPECT_EQ(d.key, (std::vector<bool>{true, false, false, false, true, false, false, false, true})) << name;
    }
    for (const CompressorOption& o : aviCompressors(5))
        EXPECT_EQ(o.keyFrameEvery, o.supportsKeyFrames ? 10 : 1) << o.name;
    // A key frame every 3 frames where the codec allows it.
    const auto file = dir / "gop.avi";
    writeAvi(file, {"mpeg4", 3}, 64, 48, 7, 5);
    const Decoded d = decode(file);
    ASSERT_EQ(d.key.size(), 7u);
    EXPECT_EQ(d.key, (std::vector<bool>{true, false, false, true, false, false, true}));
}

TEST(AviStreamWriter, CancelledDialogLeavesAValidAviWithoutFrames)
{
    TempDir dir;
    const auto file = dir / "result.avi";
    {
        AviStreamWriter avi;
        ASSERT_EQ(avi.open(file), 0);
        const Frame first = makeFrame(20, 10, 0);
        ASSERT_EQ(avi.createStream(first.header, {}, 5), 0);
        ASSERT_EQ(avi.writeEmpty(), 0);
        ASSERT_EQ(avi.finish(), 0);
    }
    const Decoded d = decode(file);
    EXPECT_EQ(d.frames.size(), 0u);
    EXPECT_EQ(d.width, 20);
}

TEST(AviStreamWriter, UnwritablePathAndUnknownCodecAnswerErrors)
{
    TempDir dir;
    AviStreamWriter avi;
    EXPECT_LT(avi.open(dir / "missing" / "result.avi"), 0);
    AviStreamWriter other;
    ASSERT_EQ(other.open(dir / "x.avi"), 0);
    const Frame first = makeFrame(8, 8, 0);
    ASSERT_EQ(other.createStream(first.header, {}, 5), 0);
    EXPECT_LT(other.makeCompressed({"no-such-codec"}), 0);
    EXPECT_LT(other.writeFrame(first.bits, 0), 0);
    BitmapInfoHeader rle = first.header;
    rle.compression = 1;
    AviStreamWriter third;
    ASSERT_EQ(third.open(dir / "y.avi"), 0);
    EXPECT_LT(third.createStream(rle, {}, 5), 0);
}

TEST(AviStreamWriter, ShortFrameIsPaddedAndPaletteFramesExpand)
{
    TempDir dir;
    const auto file = dir / "pal.avi";
    {
        AviStreamWriter avi;
        ASSERT_EQ(avi.open(file), 0);
        BitmapInfoHeader header{40, 4, 2, 1, 8, 0, 8, 0, 0, 2, 0};
        std::vector<std::uint8_t> info(40 + 8, 0);
        info[40] = 10, info[41] = 20, info[42] = 30;      // entry 0: blue 10, green 20, red 30
        info[44] = 200, info[45] = 100, info[46] = 50;    // entry 1
        ASSERT_EQ(avi.createStream(header, info, 5), 0);
        ASSERT_EQ(avi.makeCompressed({"uncompressed"}), 0);
        const std::vector<std::uint8_t> bits = {0, 1, 0, 1, 1, 1, 1, 1};   // bottom row first
        ASSERT_EQ(avi.writeFrame(bits, 0), 0);
        ASSERT_EQ(avi.writeFrame(std::vector<std::uint8_t>{1}, 1), 0);  // far too short
        ASSERT_EQ(avi.finish(), 0);
    }
    const Decoded d = decode(file);
    ASSERT_EQ(d.frames.size(), 2u);
    const std::vector<std::uint8_t> want0 = {200, 100, 50, 200, 100, 50, 200, 100, 50, 200, 100, 50,
                                             10, 20, 30, 200, 100, 50, 10, 20, 30, 200, 100, 50};
    EXPECT_EQ(d.frames[0], want0);
    EXPECT_EQ(d.frames[1][3 * 4 * 1], 200);           // bottom-left: index 1
    EXPECT_EQ(d.frames[1][0], 10);                     // top row: missing bytes read as index 0
}

// Every writer converts a frame whose last byte ends a page before one that cannot be read
// (swscale reads a little past a row; the writer must not let it fault). Top-down frames for
// the video files, bottom-up ones for the AVI codecs.
TEST(VideoWriters, ReadNothingPastAFramesLastByte)
{
    constexpr int kSide = 256;   // a 24-bit frame of exactly 48 pages
    const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
    const std::size_t bytes = std::size_t(kSide) * kSide * 3;
    const std::size_t pages = (bytes + page - 1) / page;
    void* mapped = ::mmap(nullptr, (pages + 1) * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    std::uint8_t* guard = static_cast<std::uint8_t*>(mapped) + pages * page;
    ASSERT_EQ(::mprotect(guard, page, PROT_NONE), 0);
    const std::span<std::uint8_t> frame(guard - bytes, bytes);
    std::memcpy(frame.data(), makeFrame(kSide, kSide, 3).bits.data(), bytes);
    TempDir dir;
    for (const VideoFormat format : {VideoFormat::Mp4, VideoFormat::Webm, VideoFormat::Webp, VideoFormat::Apng}) {
        if (!videoFormatAvailable(format))
            continue;
        SCOPED_TRACE(videoFormatInfo(format).name);
        VideoFile video;
        ASSERT_EQ(video.open(dir / (std::string("result.") + videoFormatInfo(format).extension), format,
                             FrameLayout{kSide, kSide}, 5, -1),
                  0);
        EXPECT_EQ(video.writeFrame(frame, 0), 0);
        EXPECT_EQ(video.finish(), 0);
    }
    for (const char* codec : {"ffv1", "mjpeg", "h264"}) {
        if (!offered(codec))
            continue;
        SCOPED_TRACE(codec);
        AviStreamWriter avi;
        ASSERT_EQ(avi.open(dir / (std::string(codec) + ".avi")), 0);
        const BitmapInfoHeader header{40, kSide, kSide, 1, 24, 0, std::uint32_t(bytes), 0, 0, 0, 0};
        std::vector<std::uint8_t> info(40);
        ASSERT_EQ(avi.createStream(header, info, aviStreamRate(5)), 0);
        ASSERT_EQ(avi.makeCompressed({codec, 1}), 0);
        EXPECT_EQ(avi.writeFrame(frame, 0), 0);
        EXPECT_EQ(avi.finish(), 0);
    }
    ::munmap(mapped, (pages + 1) * page);
}
