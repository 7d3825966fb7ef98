// The GIF maker: frames from pictures (in order or sorted by number, fitted to the first one's
// size), from an animated GIF (its delays kept) and from a video (resampled to the rate), and
// the inputs it refuses, in the job and on the command line.
#include "avi/VideoFile.h"
#include "gif/GifDelays.h"
#include "gif/GifDocument.h"
#include "gif/GifEncoder.h"
#include "job/GifMaker.h"
#include "platform/WorkSurface.h"
#include "support/AviDecode.h"
#include "support/GifShown.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

namespace vantorell {
namespace {

std::string solidPicture(const test::TempDir& dir, const std::string& name, int width, int height, std::int32_t colour)
{
    WorkSurface s(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            s.setPixel(x, y, colour);
    s.saveAsBitmapFile(dir / name);
    return (dir / name).string();
}

// Red of pixel (x, y) of each frame as a viewer shows it.
std::vector<int> redsAt(const GifDocument& gif, int x, int y)
{
    std::vector<int> reds;
    for (const std::vector<std::uint8_t>& frame : test::shownFrames(gif))
        reds.push_back(frame[(std::size_t(y) * std::size_t(gif.screenWidth()) + std::size_t(x)) * 3 + 2]);
    return reds;
}

GifMakerRequest exactRequest(std::vector<std::string> inputs, const test::TempDir& dir)
{
    GifMakerRequest request;
    request.inputs = std::move(inputs);
    request.outputFile = (dir / "out.gif").string();
    request.gif.palette = GifPalette::PerFrame;
    request.gif.dither = GifDither::None;
    return request;
}

// `frames` frames of 32 x 16 at 5 a second, red 20, 40, 60 ...
void writeRedVideo(const std::filesystem::path& file, int frames)
{
    const FrameLayout layout{32, 16};
    VideoFile video;
    ASSERT_EQ(video.open(file, VideoFormat::Mp4, layout, 5, 100), 0);
    for (int k = 0; k < frames; ++k) {
        std::vector<std::uint8_t> frame(layout.bytes(), 0);
        for (int y = 0; y < layout.height; ++y)
            for (int x = 0; x < layout.width; ++x)
                frame[std::size_t(y) * layout.stride() + std::size_t(x) * 3 + 2] = std::uint8_t(20 * (k + 1));
        ASSERT_EQ(video.writeFrame(frame, k), 0);
    }
    ASSERT_EQ(video.finish(), 0);
}

TEST(GifMaker, SortsNamesByTheirNumbers)
{
    const struct {
        std::vector<std::string> names, sorted;
    } cases[] = {
        {{"frame10.png", "frame2.png", "frame1.png"}, {"frame1.png", "frame2.png", "frame10.png"}},
        {{"b/x9", "a/x10", "a/x9"}, {"a/x9", "a/x10", "b/x9"}},
        {{"f007", "f7", "f08"}, {"f007", "f7", "f08"}},
        {{"z", "1", ""}, {"", "1", "z"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names = c.names;
        sortNumerically(names);
        EXPECT_EQ(names, c.sorted);
    }
}

TEST(GifMaker, FramesComeInOrderFittedIntoTheFirstFramesSize)
{
    test::TempDir dir;
    // Red tells the pictures apart: 10, 20, 30. The second is square, the third wide.
    const std::string first = solidPicture(dir, "a10.bmp", 40, 20, 10);
    const std::string square = solidPicture(dir, "a2.bmp", 20, 20, 20);
    const std::string wide = solidPicture(dir, "a1.bmp", 80, 20, 30);
    const struct {
        int width;        // --width, 0 for none
        int x, y;         // a pixel of the output
        std::vector<int> reds;
    } cases[] = {
        {0, 20, 10, {10, 20, 30}},   // the centre: every picture
        {0, 5, 10, {10, 0, 30}},     // left of the square one: black
        {0, 20, 2, {10, 20, 0}},     // above the wide one (40 x 10, centred): black
        {20, 10, 5, {10, 20, 30}},   // half the size: the same frames
        {20, 2, 5, {10, 0, 30}},
    };
    for (const auto& c : cases) {
        GifMakerRequest request = exactRequest({first, square, wide}, dir);
        request.width = c.width;
        const GifMakerOutcome outcome = makeGif(request);
        ASSERT_TRUE(outcome.written) << outcome.error;
        GifDocument gif;
        ASSERT_TRUE(gif.loadFromFile(request.outputFile));
        EXPECT_EQ(gif.screenWidth(), c.width ? c.width : 40);
        EXPECT_EQ(gif.screenHeight(), c.width ? c.width / 2 : 20);
        EXPECT_EQ(redsAt(gif, c.x, c.y), c.reds) << c.width << " " << c.x << "," << c.y;
        EXPECT_EQ(gif.frameDelay(1), 10);   // 10 frames a second
    }
}

TEST(GifMaker, AnAnimatedGifKeepsItsFramesAndDelays)
{
    test::TempDir dir;
    const std::vector<int> delays = {7, 30, 150, 0};
    GifMakerRequest request = exactRequest({}, dir);
    for (int k = 0; k < 4; ++k)
        request.inputs.push_back(solidPicture(dir, "p" + std::to_string(k) + ".bmp", 8, 6, 51 * (k + 1)));   // levels of the halftone cube
    request.outputFile = (dir / "source.gif").string();
    ASSERT_TRUE(makeGif(request).written);
    std::ifstream in(request.outputFile, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_TRUE(setGifFrameDelays(bytes, delays));
    std::ofstream(request.outputFile, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                              std::streamsize(bytes.size()));

    request.inputs = {request.outputFile};
    request.outputFile = (dir / "again.gif").string();
    request.gif = {};   // the default palette and dither, optimised
    request.gif.optimize = true;
    const GifMakerOutcome outcome = makeGif(request);
    ASSERT_TRUE(outcome.written) << outcome.error;
    GifDocument gif;
    ASSERT_TRUE(gif.loadFromFile(request.outputFile));
    ASSERT_EQ(gif.framesCount(), 4);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(gif.frameDelay(k + 1), delays[std::size_t(k)]);
    const std::vector<int> reds = redsAt(gif, 4, 3);
    for (int k = 1; k < 4; ++k)
        EXPECT_GT(reds[std::size_t(k)], reds[std::size_t(k - 1)]);
}

TEST(GifMaker, AVideoIsResampledToTheRate)
{
    test::TempDir dir;
    writeRedVideo(dir / "clip.mp4", 10);

    const struct {
        double fps;
        int width, frames, delay;
    } cases[] = {{10, 0, 20, 10}, {5, 16, 10, 20}, {2.5, 0, 5, 40}};
    for (const auto& c : cases) {
        GifMakerRequest request = exactRequest({(dir / "clip.mp4").string()}, dir);
        request.fps = c.fps;
        request.width = c.width;
        const GifMakerOutcome outcome = makeGif(request);
        ASSERT_TRUE(outcome.written) << outcome.error;
        GifDocument gif;
        ASSERT_TRUE(gif.loadFromFile(request.outputFile));
        EXPECT_EQ(gif.framesCount(), c.frames);
        EXPECT_EQ(gif.screenWidth(), c.width ? c.width : 32);
        EXPECT_EQ(gif.frameDelay(2), c.delay);
        const std::vector<int> reds = redsAt(gif, gif.screenWidth() / 2, gif.screenHeight() / 2);
        for (int k = 0; k < c.frames; ++k)   // frame k shows the picture of time k / fps
            EXPECT_NEAR(reds[std::size_t(k)], 20 * (int(k * 5 / c.fps) + 1), 6) << c.fps << " frame " << k;
    }
}

TEST(GifMaker, BadInputsAreNamedAndWriteNothing)
{
    test::TempDir dir;
    const std::string good = solidPicture(dir, "good.bmp", 8, 8, 50);
    std::ofstream(dir / "garbage.png") << "\x89PNG\r\n\x1a\n not really";
    std::ofstream(dir / "notes.txt") << "no pictures in here";
    {   // a WAV file: one stream, of sound
        std::ofstream wav(dir / "sound.wav", std::ios::binary);
        const unsigned char header[44] = {'R', 'I', 'F', 'F', 36 + 64, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                          16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1f, 0, 0, 0x80, 0x3e, 0, 0, 2, 0, 16, 0,
                                          'd', 'a', 't', 'a', 64, 0, 0, 0};
        wav.write(reinterpret_cast<const char*>(header), 44);
        wav.write(std::string(64, '\0').data(), 64);
    }
    std::ofstream(dir / "cut.gif") << "GIF89a\x10";
    std::ofstream(dir / "junk.webp") << std::string(300, '\x5a');   // a name to guess from, nothing behind it
    {   // an animated WebP of 300 bytes whose canvas claims 16000 x 16000 for each of its 20 frames
        std::string chunks = std::string("VP8X\x0a\0\0\0\x02\0\0\0", 12) + std::string("\x7f\x3e\0\x7f\x3e\0", 6) +
                             std::string("ANIM\x06\0\0\0\0\0\0\0\0\0", 14);
        for (int k = 0; k < 20; ++k)
            chunks += std::string("ANMF\x10\0\0\0", 8) + std::string(16, '\0');
        const std::uint32_t riff = std::uint32_t(chunks.size() + 4);
        std::ofstream(dir / "claims.webp", std::ios::binary)
            << "RIFF" << char(riff & 0xFF) << char(riff >> 8 & 0xFF) << char(riff >> 16) << char(riff >> 24) << "WEBP" << chunks;
    }
    const struct {
        std::vector<std::string> inputs;
        int width;
        std::string error;
    } cases[] = {
        {{good, (dir / "missing.png").string()}, 0, "Frame 2 (" + (dir / "missing.png").string() + ") could not be read: no such file."},
        {{good, (dir / "garbage.png").string()}, 0, "Frame 2 (" + (dir / "garbage.png").string() + ")"},
        {{(dir / "sound.wav").string()}, 0, "(" + (dir / "sound.wav").string() + ") has no video stream."},
        {{(dir / "notes.txt").string()}, 0, "(" + (dir / "notes.txt").string() + ") is not a picture, a GIF or a video"},
        {{(dir / "cut.gif").string()}, 0, "(" + (dir / "cut.gif").string() + ") is not a GIF that can be read"},
        {{(dir / "junk.webp").string()}, 0, "(" + (dir / "junk.webp").string() + ") is not a picture, a GIF or a video"},
        {{(dir / "claims.webp").string()}, 0, ") is too large: 20 frames of 16000 x 16000 pixels"},
        {{good}, kGifMakerMaxWidth, "of memory for its frames, more than the limit"},
        {{dir.path().string()}, 0, "could not be read: it is a folder."},
    };
    for (const auto& c : cases) {
        GifMakerRequest request = exactRequest(c.inputs, dir);
        request.width = c.width;
        const GifMakerOutcome outcome = makeGif(request);
        EXPECT_FALSE(outcome.written);
        EXPECT_NE(outcome.error.find(c.error), std::string::npos) << outcome.error;
        EXPECT_FALSE(std::filesystem::exists(request.outputFile));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 7);   // no temporary left
}

TEST(GifMaker, CommandLineExitStatuses)
{
    if (!std::filesystem::exists(test::MixProgram()))
        GTEST_SKIP() << "vantorell-mix is not built";
    test::TempDir dir;
    const std::string picture = solidPicture(dir, "p.bmp", 8, 8, 90);
    const std::string out = " --output-file '" + (dir / "o.gif").string() + "'";
    const struct {
        std::string arguments;
        int status;
        std::string err;
    } cases[] = {
        {"gif '" + picture + "'" + out + " --fps 12.5 --width 4 --gif-palette global --gif-optimize", 0, ""},
        {"gif" + out, 2, "gif needs at least one input"},
        {"gif '" + picture + "'", 2, "gif needs --output-file"},
        {"gif '" + picture + "'" + out + " --fps 0", 2, "--fps takes a number of frames per second above 0"},
        {"gif '" + picture + "'" + out + " --width 99999", 2, "--width takes a whole number from 1 to 32767"},
        {"gif '" + picture + "'" + out + " --frames 3", 2, "unknown option \"--frames\" for gif"},
        {"gif '" + picture + "' --output-file '" + picture + "'", 2, "is the input"},
        {"gif '" + (dir / "none.png").string() + "'" + out, 1, "could not be read: no such file"},
    };
    for (const auto& c : cases) {
        const test::ProgramRun run = test::RunProgram(test::MixProgram(), c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

// vantorell-mix batch --type gif: a GIF of each video and animation of a folder, one broken input
// among them, a second run that skips what is done, and a result that would replace an input.
TEST(GifMaker, ABatchMakesAGifOfEachInput)
{
    if (!std::filesystem::exists(test::MixProgram()))
        GTEST_SKIP() << "vantorell-mix is not built";
    test::TempDir dir;
    const std::filesystem::path in = dir / "in", out = dir / "out";
    std::filesystem::create_directories(in);
    GifMakerRequest request = exactRequest({}, dir);
    for (int k = 0; k < 3; ++k)
        request.inputs.push_back(solidPicture(dir, "p" + std::to_string(k) + ".bmp", 8, 6, 60 * k));
    request.outputFile = (in / "loop.gif").string();
    ASSERT_TRUE(makeGif(request).written);
    writeRedVideo(in / "clip.mp4", 5);
    std::ofstream(in / "broken.gif") << "GIF89a\x10";
    std::ofstream(in / "notes.txt") << "neither a video nor an animation";
    std::ofstream(in / "list.csv") << "input\nclip.mp4\nloop.gif\n";   // loop.gif's result is loop.gif

    const std::string folder = " --dir '" + in.string() + "' --output '" + out.string() + "' --fps 5";
    const struct {
        std::string arguments;
        int status;
        std::vector<std::string> statuses;   // of the report's lines, in input order
        std::string err;
    } cases[] = {
        {folder, 1, {"failed", "ok", "ok"}, "broken.gif: The GIF (" + (in / "broken.gif").string() + ") is not a GIF"},
        {folder + " --skip-existing", 1, {"failed", "skipped", "skipped"}, "3 inputs: 0 written, 2 skipped, 1 failed"},
        {" --inputs '" + (in / "list.csv").string() + "' --output '" + in.string() + "'", 2, {}, "is the input"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::filesystem::path report = dir / ("report" + std::to_string(i) + ".jsonl");
        const test::ProgramRun run = test::RunProgram(
            test::MixProgram(), "batch --type gif --jobs 2 --report '" + report.string() + "'" + cases[i].arguments);
        EXPECT_EQ(run.status, cases[i].status) << run.err;
        EXPECT_NE(run.err.find(cases[i].err), std::string::npos) << run.err;
        std::vector<nlohmann::json> lines;
        std::ifstream reportIn(report);
        for (std::string line; std::getline(reportIn, line);)
            lines.push_back(nlohmann::json::parse(line));
        std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a["index"] < b["index"]; });
        std::vector<std::string> statuses;
        for (const nlohmann::json& line : lines)
            statuses.push_back(line["status"]);
        EXPECT_EQ(statuses, cases[i].statuses);
        if (!lines.empty()) {
            EXPECT_EQ(lines[0]["input"], (in / "broken.gif").string());
        }
    }
    for (const auto& [name, frames] : {std::pair{"loop.gif", 3}, std::pair{"clip.gif", 5}})
        EXPECT_EQ(test::DecodeAvi(out / name).frames.size(), std::size_t(frames)) << name;
    EXPECT_FALSE(std::filesystem::exists(out / "broken.gif"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(in), {}), 5);   // nothing written among the inputs
}

}  // namespace
}  // namespace vantorell
