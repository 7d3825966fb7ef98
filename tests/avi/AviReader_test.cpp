#include "avi/AviReader.h"

#include "support/AviBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace vantorell;
using namespace vantorell::test;

namespace {

// The blue, green and red bytes of a frame's pixels, rows top-down: what any reader must give.
std::vector<std::uint8_t> bgrOf(const RawFrame& f)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < f.bgrx.size(); i += 4)
        out.insert(out.end(), f.bgrx.begin() + std::ptrdiff_t(i), f.bgrx.begin() + std::ptrdiff_t(i + 3));
    return out;
}

// An AVI saved as the fade job's temp.avi, opened and read to its end or its first bad frame.
struct Read {
    TempDir dir;
    AviReader reader;
    AviReadError error = AviReadError::None;
    std::vector<RawFrame> frames;   // the frames read, in order
    bool failed = false;            // a frame could not be read

    AviReadError run(const AviBytes& bytes, const AviReadLimits& limits = {})
    {
        SaveBytes(dir / "temp.avi", bytes);
        error = reader.open(dir / "temp.avi", limits);
        readFrames();
        return error;
    }
    AviReadError runInMemory(const AviBytes& bytes)
    {
        error = reader.open(std::span<const std::uint8_t>(bytes));
        readFrames();
        return error;
    }
    void readFrames()
    {
        frames.clear();
        failed = false;
        const AviStreamInfo& s = reader.stream();
        for (std::int64_t i = 0; error == AviReadError::None && i < s.frames; ++i) {
            RawFrame f{s.width, s.height, std::vector<std::uint8_t>(std::size_t(s.width) * std::size_t(s.height) * 4)};
            const BgrxFrame target{f.width, f.height, f.bgrx};
            if (!reader.readFrame(target) || !reader.drawFrame(target)) {
                failed = true;
                return;
            }
            frames.push_back(std::move(f));
        }
    }
    std::string why() const { return std::string(aviReadErrorName(error)); }
};

}  // namespace

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

TEST(AviReader, GivesTheStreamTimingAndItsFramesTopDown)
{
    const auto frames = patternFrames(4, 13, 7);
    for (bool bottomUp : {false, true})
    for (bool direct : {true, false}) {
        Read r;
        AviReadLimits limits;
        limits.directUncompressed = direct;
        ASSERT_EQ(r.run(WriteRawAvi(r.dir / "a.avi", frames, 7, 1, bottomUp), limits), AviReadError::None) << r.why();
        const AviStreamInfo& s = r.reader.stream();
        EXPECT_EQ(s.direct, direct);
        EXPECT_EQ(s.frames, 4);
        EXPECT_EQ(s.width, 13);
        EXPECT_EQ(s.height, 7);
        EXPECT_EQ(s.rate, 7u);
        EXPECT_EQ(s.scale, 1u);
        EXPECT_EQ(s.delay, aviFrameDelay(0, 4, 1, 7));
        ASSERT_EQ(r.frames.size(), 4u);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(bgrOf(r.frames[i]), bgrOf(frames[i])) << "frame " << i << (bottomUp ? " bottom-up" : "");
        // After the n-th frame, and into a frame of another size: nothing is read.
        std::vector<std::uint8_t> pixels(13 * 7 * 4);
        EXPECT_FALSE(r.reader.readFrame({13, 7, pixels}));
        EXPECT_FALSE(r.reader.drawFrame({6, 7, pixels}));
    }
    {   // a frame buffer too small for W x H is refused before anything is written
        Read r;
        ASSERT_EQ(r.run(WriteRawAvi(r.dir / "a.avi", frames, 5)), AviReadError::None);
        AviReader reader;
        ASSERT_EQ(reader.open(r.dir / "temp.avi"), AviReadError::None);
        std::vector<std::uint8_t> small(13 * 7 * 4 - 1);
        EXPECT_FALSE(reader.readFrame({13, 7, small}));
        std::vector<std::uint8_t> wrong(12 * 7 * 4);
        EXPECT_FALSE(reader.readFrame({12, 7, wrong}));
    }
}

TEST(AviReader, BadFilesGiveTheirAnswer)
{
    TempDir dir;
    const auto frames = patternFrames(3);
    const AviBytes valid = WriteRawAvi(dir / "a.avi", frames, 5);
    auto text = [](const std::string& s) { return AviBytes(s.begin(), s.end()); };
    auto patched = [&](const std::function<void(AviBytes&)>& patch) {
        AviBytes bytes = valid;
        patch(bytes);
        return bytes;
    };
    const long movi = ChunkBody(valid, "movi") - 8;   // the LIST header of the frame data
    ASSERT_GT(movi, 0);
    const struct {
        const char* what;
        AviBytes bytes;
        AviReadError want;
    } cases[] = {
        {"empty file", {}, AviReadError::NoFile},
        {"text", text("this is not a video file at all, just some words"), AviReadError::NotAvi},
        {"a WAVE file's RIFF form", patched([](AviBytes& b) { std::memcpy(b.data() + 8, "WAVE", 4); }),
         AviReadError::NotAvi},
        {"a GIF", text("GIF89a\x01\x00\x01\x00\x00\x00\x00;"), AviReadError::NotAvi},
        {"cut inside the header list", AviBytes(valid.begin(), valid.begin() + 100), AviReadError::NotAvi},
        // FFmpeg finds no frame data
        {"cut before the frame data", AviBytes(valid.begin(), valid.begin() + movi), AviReadError::NotAvi},
        // FFmpeg would make a zero rate 25 fps; there is no timing
        {"zero frame rate", patched([](AviBytes& b) { PatchRate(b, 0); }), AviReadError::BadFrameRate},
        {"no video stream", WriteAudioOnlyAvi(dir / "b.avi"), AviReadError::NoVideoStream},
        // refused before anything of that size is made; the rectangle as a 16-bit writer stores it
        {"40000 x 40000 frames", patched([](AviBytes& b) {
             PatchFrameSize(b, 40000, 40000);
             PatchFrameRect(b, std::int16_t(40000 - 65536), std::int16_t(40000 - 65536));
         }), AviReadError::FrameTooLarge},
        {"a frame rectangle beyond the limits", patched([](AviBytes& b) { PatchFrameRect(b, 32767, 32767); }),
         AviReadError::FrameTooLarge},
    };
    for (const auto& c : cases) {
        Read r;
        EXPECT_EQ(r.run(c.bytes), c.want) << c.what << ": " << r.why();
        EXPECT_TRUE(r.frames.empty()) << c.what;
        std::vector<std::uint8_t> pixels(8 * 6 * 4);
        EXPECT_FALSE(r.reader.readFrame({8, 6, pixels})) << c.what;
    }
    // Missing files and folders are no files.
    AviReader reader;
    EXPECT_EQ(reader.open(dir / "none.avi"), AviReadError::NoFile);
    EXPECT_EQ(reader.open(dir.path()), AviReadError::NoFile);
    EXPECT_EQ(reader.stream().frames, 0);
}

TEST(AviReader, FrameCountsTheFileDoesNotHoldAreBounded)
{
    const auto frames = patternFrames(3);
    {   // zero frames in the header: nothing to read, and that is no failure
        Read r;
        AviBytes bytes = WriteRawAvi(r.dir / "a.avi", frames, 5);
        PatchLength(bytes, 0);
        EXPECT_EQ(r.run(bytes), AviReadError::None) << r.why();
        EXPECT_EQ(r.reader.stream().frames, 0);
        EXPECT_EQ(r.reader.stream().delay, 0);
    }
    {   // a file written without frames (a cancelled compressor dialog)
        Read r;
        EXPECT_EQ(r.run(WriteRawAvi(r.dir / "a.avi", {}, 5)), AviReadError::None);
        EXPECT_EQ(r.reader.stream().frames, 0);
    }
    {   // two billion frames claimed by a file of three: its index tells
        Read r;
        AviBytes bytes = WriteRawAvi(r.dir / "a.avi", frames, 5);
        PatchLength(bytes, 2000000000u);
        EXPECT_EQ(r.run(bytes), AviReadError::None) << r.why();
        EXPECT_EQ(r.reader.stream().frames, 3);
        EXPECT_EQ(r.reader.stream().delay, 20);
        EXPECT_EQ(r.frames.size(), 3u);
    }
    {   // the same without its index (idx1 cut off): the frame chunks are counted
        Read r;
        AviBytes bytes = WriteRawAvi(r.dir / "a.avi", frames, 5);
        PatchLength(bytes, 2000000000u);
        const long idx1 = ChunkBody(bytes, "idx1") - 8;
        ASSERT_GT(idx1, 0);
        bytes.resize(std::size_t(idx1));
        EXPECT_EQ(r.run(bytes), AviReadError::None) << r.why();
        EXPECT_FALSE(r.reader.stream().direct);   // no index: the decoder reads them
        EXPECT_EQ(r.reader.stream().frames, 3);
        EXPECT_EQ(r.frames.size(), 3u);
        // and cut inside the third frame: two whole frames
        bytes.resize(bytes.size() - 10);
        EXPECT_EQ(r.run(bytes), AviReadError::None) << r.why();
        EXPECT_EQ(r.reader.stream().frames, 2);
        ASSERT_EQ(r.frames.size(), 2u);
        EXPECT_EQ(bgrOf(r.frames[1]), bgrOf(frames[1]));
    }
    {   // limits: frames, all frames' pixels; n, W and H are known all the same
        Read r;
        AviReadLimits limits;
        limits.maxFrames = 2;
        EXPECT_EQ(r.run(WriteRawAvi(r.dir / "a.avi", frames, 5), limits), AviReadError::OverLimit);
        EXPECT_EQ(r.reader.stream().frames, 3);
        EXPECT_EQ(r.reader.stream().width, 8);
        limits = {};
        limits.maxTotalPixels = 3 * 8 * 6 - 1;
        EXPECT_EQ(r.run(WriteRawAvi(r.dir / "a.avi", frames, 5), limits), AviReadError::OverLimit);
        EXPECT_TRUE(r.frames.empty());
    }
}

TEST(AviReader, FrameRectangleLargerThanTheFramesStretchesThem)
{
    Read r;
    const std::vector<RawFrame> frames(2, uniformFrame(8, 6, 90, 160, 30));
    AviBytes bytes = WriteRawAvi(r.dir / "a.avi", frames, 5);
    PatchFrameRect(bytes, 16, 12);
    ASSERT_EQ(r.run(bytes), AviReadError::None) << r.why();
    EXPECT_FALSE(r.reader.stream().direct);
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[1].width, 16);
    EXPECT_EQ(r.frames[1].height, 12);
    EXPECT_EQ(bgrOf(r.frames[1]), bgrOf(uniformFrame(16, 12, 90, 160, 30)));
}

TEST(AviReader, AFrameThatFailsHalfWayEndsTheFrames)
{
    const auto frames = patternFrames(5);
    TempDir dir;
    // The third packet holds half a frame: the raw decoder refuses it, and so does the direct read.
    AviBytes bytes = WriteRawAvi(dir / "a.avi", frames, 5);
    CutFramePacket(bytes, 2, 8 * 6 * 2);
    for (bool direct : {true, false}) {
        Read r;
        AviReadLimits limits;
        limits.directUncompressed = direct;
        ASSERT_EQ(r.run(bytes, limits), AviReadError::None) << r.why();
        EXPECT_EQ(r.reader.stream().direct, direct);
        EXPECT_TRUE(r.failed);
        ASSERT_EQ(r.frames.size(), 2u);
        EXPECT_EQ(bgrOf(r.frames[0]), bgrOf(frames[0]));
        EXPECT_EQ(bgrOf(r.frames[1]), bgrOf(frames[1]));
    }
}

TEST(AviReader, MemoryAndFileReadsAgree)
{
    Read a, b;
    const AviBytes bytes = WriteRawAvi(a.dir / "a.avi", patternFrames(3), 7);
    ASSERT_EQ(a.run(bytes), AviReadError::None);
    ASSERT_EQ(b.runInMemory(bytes), AviReadError::None);
    ASSERT_EQ(b.frames.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(a.frames[i].bgrx, b.frames[i].bgrx);
    EXPECT_EQ(b.reader.stream().delay, 14);
}
