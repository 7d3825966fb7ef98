// vantorell-mix end to end: the batch command line runs the Start command and answers through
// its exit status, stdout and stderr.
#include "platform/PictureLoader.h"

#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

const fs::path kMix = test::MixProgram();
const fs::path kSamples = VANTORELL_SAMPLES_DIR;

using CliRun = test::ProgramRun;

CliRun runMix(const std::string& arguments, const fs::path&)
{
    return test::RunProgram(kMix, arguments);
}

std::string pair(const std::string& first, const std::string& second)
{
    return "--image1 '" + (kSamples / first).string() + "' --image2 '" + (kSamples / second).string() + "'";
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kMix))
            GTEST_SKIP() << "vantorell-mix is not built";
    }
    test::TempDir dir;
};

TEST_F(Cli, BlendAndOverlayWriteTheResultAndSayDone)
{
    const CliRun blend = runMix("--type blend --direction top --blend-size 100 --quality 70 " + pair("sample1.jpg", "sample2.jpg") +
                              " --output '" + dir.path().string() + "'",
                          dir.path());
    EXPECT_EQ(blend.status, 0) << blend.err;
    EXPECT_EQ(blend.out, "Done.\n");
    EXPECT_EQ(blend.err, "");
    EXPECT_EQ(loadPicture(dir / "result.jpg").width(), 729);

    const CliRun overlay = runMix("--type=overlay " + pair("face1.jpg", "sample2.jpg") + " --output " + dir.path().string(),
                            dir.path());
    EXPECT_EQ(overlay.status, 0) << overlay.err;
    EXPECT_EQ(loadPicture(dir / "result.jpg").width(), loadPicture(kSamples / "face1.jpg").width());

    // Pictures that are not JPEG go through Qt's readers, loaded on demand.
    const fs::path data = fs::path(VANTORELL_SOURCE_DIR) / "tests/data/picture";
    const CliRun others = runMix("--type overlay --image1 '" + (data / "small.png").string() + "' --image2 '" +
                                     (data / "small-two-frames.gif").string() + "' --output " + dir.path().string(),
                                 dir.path());
    EXPECT_EQ(others.status, 0) << others.err;
    EXPECT_EQ(loadPicture(dir / "result.jpg").width(), 64);
}

TEST_F(Cli, MessagesGoToStderrAndTheStatusSaysWhetherAFileWasWritten)
{
    const CliRun missingFolder = runMix("--type blend " + pair("sample1.jpg", "sample2.jpg") + " --output /no/such/folder",
                                  dir.path());
    EXPECT_EQ(missingFolder.status, 1);
    EXPECT_EQ(missingFolder.out, "");
    EXPECT_EQ(missingFolder.err, "Vantorell: Folder does not exist. Please select another folder.\n");

    const CliRun badPicture = runMix("--type overlay --image1 '" + (kSamples / "missing.jpg").string() + "' --image2 '" +
                                   (kSamples / "sample2.jpg").string() + "' --output " + dir.path().string(),
                               dir.path());
    EXPECT_EQ(badPicture.status, 1);   // an input that cannot be read ends the job
    EXPECT_NE(badPicture.err.find("Application Error: File not found\nin Vantorell2021/08/31.Form1.PushButton2_Click "
                                  "at line 434\n\nPlease email screenshot"),
              std::string::npos)
        << badPicture.err;
    EXPECT_NE(badPicture.err.find("Vantorell: No result was written: Image #1 (" + (kSamples / "missing.jpg").string() +
                                  ") could not be read: no such file.\n"),
              std::string::npos);
    EXPECT_EQ(badPicture.out, "");
}

TEST_F(Cli, BadCommandLinesAreRefusedWithStatus2)
{
    for (const char* args : {"", "--type mosaic", "--type blend --quality 0", "--type blend --blend-size 730",
                                   "--type blend --bogus", "--type blend --image1 a --image2 b",
                                   "--type blend --quality 5 --smart-detect --image1 a --image2 b --output .",
                                   "--type fade --format mpeg", "--type fade --format mp4 --video-quality 101",
                                   "--type fade --format webp --video-quality -1", "--type fade --video-quality high",
                                   "--type fade --video-quality"}) {
        SCOPED_TRACE(args);
        const CliRun r = runMix(args, dir.path());
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("vantorell-mix: "), std::string::npos);
    }
    const CliRun help = runMix("--help", dir.path());
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--type", "--image1", "--image2", "--output", "--direction", "--blend-size", "--canvas",
                               "--blend-fit", "--quality",
                               "--smart-detect", "--frames", "--fps", "--format", "--codec", "--video-quality",
                               "--list-formats", "mp4", "webm", "webp", "apng"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

// The canvas and the fit: bad values are refused by name; Blend Size's range is the canvas's
// extent in the seam's direction (729 on the default canvas in every direction).
TEST_F(Cli, CanvasFitAndBlendSizeRanges)
{
    const std::string job = "--type blend " + pair("sample1.jpg", "sample2.jpg") + " --output '" + dir.path().string() + "' ";
    const struct {
        std::string options;
        int status;
        std::string message;   // in stderr; for status 0 the result's "WxH"
    } cases[] = {
        {"--canvas 0x5", 2, "--canvas takes WxH with each side a whole number from 16 to 8192"},
        {"--canvas 9000x10", 2, "--canvas takes WxH"},
        {"--canvas abc", 2, "--canvas takes WxH"},
        {"--blend-fit zoom", 2, "--blend-fit takes stretch or crop"},
        {"--direction top --blend-size 730", 2, "from 0 to 729 for --direction top on a 729x425 canvas"},
        {"--canvas 400x300 --direction bottom --blend-size 301", 2, "from 0 to 300 for --direction bottom"},
        {"--blend-size 401 --canvas 400x300", 2, "from 0 to 400 for --direction left on a 400x300 canvas"},
        {"--direction top --blend-size 729", 0, "729x425"},
        {"--canvas 400x300 --blend-fit crop --direction bottom --blend-size 300", 0, "400x300"},
        {"--canvas=1920X1080 --direction right --blend-size 1900", 0, "1920x1080"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const CliRun r = runMix(job + c.options, dir.path());
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status != 0) {
            EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
            continue;
        }
        const Picture result = loadPicture(dir / "result.jpg");
        EXPECT_EQ(std::to_string(result.width()) + "x" + std::to_string(result.height()), c.message);
    }
}

}  // namespace
}  // namespace vantorell

namespace vantorell {
namespace {

// Blend and overlay never pay for loading FFmpeg: the plain build does not link it, and a
// video command line is handed to the video build, which answers the same way.
TEST_F(Cli, PlainBuildLeavesTheVideoLibrariesToTheVideoBuild)
{
    const std::string linked = test::RunProgram("ldd", "'" + kMix.string() + "'").out;
    ASSERT_NE(linked.find("libjpeg"), std::string::npos) << linked;
    EXPECT_EQ(linked.find("libavcodec"), std::string::npos) << linked;
    EXPECT_EQ(linked.find("libQt6"), std::string::npos) << linked;

    const CliRun codecs = runMix("--list-codecs", dir.path());
    EXPECT_EQ(codecs.status, 0);
    EXPECT_NE(codecs.out.find("uncompressed"), std::string::npos);
    const CliRun formats = runMix("--list-formats", dir.path());
    EXPECT_EQ(formats.status, 0);
    EXPECT_NE(formats.out.find("avi    result.avi"), std::string::npos) << formats.out;
    const CliRun badQuality = runMix("--type fade --video-quality 200", dir.path());
    EXPECT_EQ(badQuality.status, 2);
    EXPECT_NE(badQuality.err.find("--video-quality takes a whole number from 0 to 100"), std::string::npos) << badQuality.err;
    const CliRun badCodec = runMix("--type fade --codec nonsense", dir.path());
    EXPECT_EQ(badCodec.status, 2);
    EXPECT_NE(badCodec.err.find("is not available here"), std::string::npos) << badCodec.err;
}

}  // namespace
}  // namespace vantorell
