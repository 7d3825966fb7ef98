// vantorell-mix with GIF output: the fade written as result.gif, and the two options that choose
// the GIF palette and dither.
#include "gif/GifDocument.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

const fs::path kMix = test::MixProgram();
const fs::path kSamples = VANTORELL_SAMPLES_DIR;

using MixRun = test::ProgramRun;

MixRun mix(const std::string& arguments, const fs::path&)
{
    return test::RunProgram(kMix, arguments);
}

std::string fadeArgs(const test::TempDir& out)
{
    return "--type fade --image1 '" + (kSamples / "face1.jpg").string() + "' --image2 '" +
           (kSamples / "face2.jpg").string() + "' --output '" + out.path().string() + "' --frames 3 --format gif";
}

class CliGif : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kMix))
            GTEST_SKIP() << "vantorell-mix is not built";
    }
    test::TempDir out, scratch;
};

TEST_F(CliGif, WritesTheGifWithTheWindowsPaletteAndDitherByDefault)
{
    const MixRun r = mix(fadeArgs(out), scratch.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Done.\n");
    GifDocument gif;
    ASSERT_TRUE(gif.loadFromFile(out / "result.gif"));
    EXPECT_EQ(gif.framesCount(), 3);
    EXPECT_GE(gif.globalPaletteEntries(), 216);
    EXPECT_EQ(gif.globalPaletteRGBEntry(215), 0xFFFFFF);
    EXPECT_EQ(gif.frameDelay(1), 20);
}

TEST_F(CliGif, PaletteAndDitherOptions)
{
    const MixRun r = mix(fadeArgs(out) + " --gif-palette optimal --gif-dither diffusion", scratch.path());
    EXPECT_EQ(r.status, 0);
    GifDocument gif;
    ASSERT_TRUE(gif.loadFromFile(out / "result.gif"));
    EXPECT_EQ(gif.framesCount(), 3);
    // An adaptive palette: colours off the halftone cube's multiples of 51.
    bool offCube = false;
    for (int i = 0; i < gif.globalPaletteEntries(); ++i)
        for (int shift : {0, 8, 16})
            offCube = offCube || (gif.globalPaletteRGBEntry(i) >> shift & 0xFF) % 51 != 0;
    EXPECT_TRUE(offCube);
    for (const char* bad : {" --gif-palette web", " --gif-dither bayer", " --gif-palette"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(mix(fadeArgs(out) + bad, scratch.path()).status, 2);
    }
    const MixRun help = mix("--help", scratch.path());
    EXPECT_NE(help.out.find("--gif-palette halftone|optimal"), std::string::npos);
    EXPECT_NE(help.out.find("--gif-dither none|ordered|ordered8|diffusion"), std::string::npos);
}

// The smaller-GIF options: each writes a GIF that loads; bad values are a bad command line.
TEST_F(CliGif, SmallerGifOptions)
{
    for (const char* good : {" --gif-palette global --gif-dither ordered8", " --gif-palette per-frame --gif-optimize",
                             " --gif-optimize --gif-lossy 80", " --gif-lossy=200 --gif-dither none"}) {
        SCOPED_TRACE(good);
        const MixRun r = mix(fadeArgs(out) + good, scratch.path());
        EXPECT_EQ(r.status, 0) << r.err;
        GifDocument gif;
        ASSERT_TRUE(gif.loadFromFile(out / "result.gif"));
        EXPECT_EQ(gif.framesCount(), 3);
    }
    for (const char* bad : {" --gif-lossy -1", " --gif-lossy 201", " --gif-lossy x", " --gif-lossy", " --gif-optimize=1",
                            " --gif-max-size 5XB", " --gif-max-size -5MB", " --gif-max-size 10", " --gif-max-size"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(mix(fadeArgs(out) + bad, scratch.path()).status, 2);
    }
}

TEST_F(CliGif, MaxSizeTellsItsChoiceOrWritesNothing)
{
    const MixRun fits = mix(fadeArgs(out) + " --gif-max-size 2MiB", scratch.path());
    EXPECT_EQ(fits.status, 0) << fits.err;
    EXPECT_NE(fits.err.find("result.gif fits in 2.10 MB with global palette"), std::string::npos) << fits.err;
    EXPECT_LE(fs::file_size(out / "result.gif"), 2u * 1024 * 1024);
    fs::remove(out / "result.gif");
    const MixRun tooSmall = mix(fadeArgs(out) + " --gif-max-size 200B", scratch.path());
    EXPECT_EQ(tooSmall.status, 1);
    EXPECT_NE(tooSmall.err.find("result.gif cannot be made to fit in 200 bytes"), std::string::npos) << tooSmall.err;
    EXPECT_FALSE(fs::exists(out / "result.gif"));
}

}  // namespace
}  // namespace vantorell
