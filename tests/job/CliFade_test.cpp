// vantorell-mix with the Fade job: the AVI it writes, the codecs it lists and the ones it refuses.
#include "support/AviDecode.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

const fs::path kMixProgram = fs::path(VANTORELL_BINARY_DIR) / "vantorell-mix";
const fs::path kSampleFolder = VANTORELL_SAMPLES_DIR;

struct MixRun {
    int status = -1;
    std::string out;
};

// Runs vantorell-mix with the arguments and TEMP pointing at temp; stderr is dropped.
MixRun mix(const std::string& arguments, const fs::path& temp)
{
    const std::string command =
        "TEMP='" + temp.string() + "' '" + kMixProgram.string() + "' " + arguments + " 2>/dev/null";
    MixRun result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        result.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class CliFade : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kMixProgram))
            GTEST_SKIP() << "vantorell-mix is not built";
    }
    test::TempDir out, temp;
    std::string pictures = "--image1 '" + (kSampleFolder / "sample1.jpg").string() + "' --image2 '" +
                           (kSampleFolder / "sample2.jpg").string() + "'";
};

TEST_F(CliFade, ListsTheCodecsOfThisBuild)
{
    const MixRun list = mix("--list-codecs", temp.path());
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out.rfind("uncompressed  Full Frames (Uncompressed)\n", 0), 0u) << list.out;
    for (const char* name : {"mjpeg", "mpeg4", "ffv1", "huffyuv"})
        EXPECT_NE(list.out.find(std::string("\n") + name + " "), std::string::npos) << name;
}

TEST_F(CliFade, WritesTheAviWithTheChosenCodecAndRefusesUnknownOnes)
{
    const MixRun fade = mix("--type fade " + pictures + " --output '" + out.path().string() +
                             "' --frames 4 --fps 8 --codec ffv1",
                         temp.path());
    EXPECT_EQ(fade.status, 0);
    EXPECT_EQ(fade.out, "Done.\n");
    const test::DecodedAvi avi = test::DecodeAvi(out / "result.avi");
    EXPECT_EQ(avi.codec, "ffv1");
    EXPECT_EQ(avi.frames.size(), 4u);
    EXPECT_EQ(avi.timeBaseDen, 8);
    EXPECT_TRUE(fs::is_empty(temp.path()));

    const MixRun bad = mix("--type fade " + pictures + " --output '" + out.path().string() + "' --codec cinepak2000",
                        temp.path());
    EXPECT_EQ(bad.status, 2);
}

}  // namespace
}  // namespace vantorell
