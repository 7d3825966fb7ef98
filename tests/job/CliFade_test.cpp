// vantorell-mix with the Fade job: the AVI it writes, the codecs it lists and the ones it refuses.
#include "support/AviDecode.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

const fs::path kMixProgram = test::MixProgram();
const fs::path kSampleFolder = VANTORELL_SAMPLES_DIR;

using MixRun = test::ProgramRun;

// Runs vantorell-mix with the arguments and TEMP pointing at temp.
MixRun mix(const std::string& arguments, const fs::path& temp)
{
    return test::RunProgram(kMixProgram, arguments, "TEMP='" + temp.string() + "'");
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
