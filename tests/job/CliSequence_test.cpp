// vantorell-mix --sequence-files: one fade through several pictures, its joint frames, its
// length, and the command lines and pictures it refuses.
#include "mix/MeshFile.h"
#include "support/AviDecode.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 24, kHeight = 16;

// writePicture's pixels as the AVI's top-down packed BGR24 (24 * 3 bytes a row: no padding).
std::vector<std::uint8_t> expectedFrame(int seed)
{
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            bytes.insert(bytes.end(), {std::uint8_t(x * 7 + seed), std::uint8_t(y * 5), std::uint8_t(seed * 3)});
    return bytes;
}

class CliSequence : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(test::MixProgram()))
            GTEST_SKIP() << "vantorell-mix is not built";
        for (int seed : {10, 40, 70})
            pictures += "'" + test::writePicture(in, "p" + std::to_string(seed) + ".bmp", kWidth, kHeight, seed) + "' ";
    }
    test::ProgramRun mix(const std::string& arguments)
    {
        return test::RunProgram(test::MixProgram(), "--type fade --output '" + out.path().string() + "' " + arguments,
                                "TEMP='" + temp.path().string() + "'");
    }
    std::string file(const std::string& name, const std::string& text)
    {
        std::ofstream(in / name, std::ios::binary) << text;
        return "'" + (in / name).string() + "'";
    }
    test::TempDir in, out, temp;
    std::string pictures;   // three pictures of one size, seeds 10, 40, 70
};

TEST_F(CliSequence, WritesEveryStepWithTheJointFramesOnce)
{
    const struct {
        std::string options;
        std::size_t frames;
        std::vector<std::pair<std::size_t, int>> exact;   // frame index, picture seed
        std::size_t moving;                               // a frame unlike the one before it
    } cases[] = {
        {"--frames 5", 9, {{0, 10}, {4, 40}, {8, 70}}, 5},
        {"--frames 2", 3, {{0, 10}, {1, 40}, {2, 70}}, 2},
        {"--frames 5 --hold-start 2 --hold-end 1 --ease in-out", 12, {{0, 10}, {2, 10}, {6, 40}, {10, 70}, {11, 70}}, 7},
    };
    for (const auto& c : cases) {
        const test::ProgramRun run = mix("--codec uncompressed " + c.options + " --sequence-files " + pictures);
        ASSERT_EQ(run.status, 0) << c.options << run.err;
        EXPECT_EQ(run.out, "Done.\n");
        const test::DecodedAvi avi = test::DecodeAvi(out / "result.avi");
        ASSERT_EQ(avi.frames.size(), c.frames) << c.options;
        for (const auto& [index, seed] : c.exact)
            EXPECT_EQ(avi.frames[index], expectedFrame(seed)) << c.options << " frame " << index;
        EXPECT_NE(avi.frames[c.moving], avi.frames[c.moving - 1]) << c.options;
    }
    EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST_F(CliSequence, KeepsTheFirstPicturesSizeAndWritesAGif)
{
    const std::string larger = "'" + test::writePicture(in, "large.bmp", 40, 30, 5) + "'";
    ASSERT_EQ(mix("--frames 3 --sequence-files " + pictures + larger).status, 0);
    const test::DecodedAvi avi = test::DecodeAvi(out / "result.avi");
    EXPECT_EQ(avi.frames.size(), 7u);
    EXPECT_EQ(avi.width, kWidth);
    EXPECT_EQ(avi.height, kHeight);

    ASSERT_EQ(mix("--format gif --frames 3 --sequence-files " + pictures).status, 0);
    EXPECT_TRUE(fs::is_regular_file(out / "result.gif"));
}

TEST_F(CliSequence, RefusesBadCommandLinesWithExitStatusTwo)
{
    const std::string mesh = file("mesh.json", meshJson(regularMeshPair(5, 5, 24, 16, 24, 16)));
    const struct {
        std::string arguments, message;
    } cases[] = {
        {"--sequence-files", "--sequence-files needs FILE..."},
        {"--sequence-files --frames 3", "--sequence-files needs FILE..."},
        {"--sequence-files a.jpg", "--sequence-files needs at least 2 pictures"},
        {"--image1 a.jpg --sequence-files " + pictures, "--sequence-files and --image1/--image2 exclude each other"},
        {"--sequence-files " + pictures + "--image2 a.jpg", "--sequence-files and --image1/--image2 exclude each other"},
        {"--type blend --sequence-files " + pictures, "--sequence-files needs --type fade"},
        {"--mesh " + mesh + " --sequence-files " + pictures, "--mesh morphs one pair of pictures"},
        {"--ping-pong --sequence-files " + pictures, "--ping-pong cannot be used with --sequence-files"},
    };
    for (const auto& c : cases) {
        const test::ProgramRun run = mix(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_NE(run.err.find("vantorell-mix: " + c.message), std::string::npos) << c.arguments << "\n" << run.err;
    }
    EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST_F(CliSequence, APictureThatCannotBeReadWritesNothing)
{
    const std::string garbage = file("garbage.jpg", "not a picture");
    const struct {
        std::string arguments, message;
    } cases[] = {
        {"--sequence-files " + pictures + "'" + (in / "missing.jpg").string() + "'",
         "No result was written: picture 4 of the sequence (" + (in / "missing.jpg").string() + ") cannot be read: no such file."},
        {"--sequence-files " + pictures + garbage, "No result was written: picture 4 of the sequence ("},
        {"--format gif --sequence-files " + pictures + garbage, "No result was written: picture 4 of the sequence ("},
        {"--frames 1 --sequence-files " + pictures, "needs at least 2 frames per step."},
    };
    for (const auto& c : cases) {
        const test::ProgramRun run = mix(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
        EXPECT_TRUE(fs::is_empty(out.path())) << c.arguments;
        EXPECT_TRUE(fs::is_empty(temp.path())) << c.arguments;
    }
}

}  // namespace
}  // namespace vantorell
