// The GIFs a Fade writes, pinned byte for byte: any change to the palette, dither, optimiser or
// LZW path that alters a single byte of these fails here. Regenerate a file only for a change
// that is meant to alter the output (VANTORELL_WRITE_GOLDEN=1 writes them).
#include "job/FadeJob.h"
#include "job/MixJob.h"
#include "platform/WorkSurface.h"
#include "support/FakeUi.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace vantorell;
using vantorell::test::FakeUi;
using vantorell::test::TempDir;

namespace {

const std::filesystem::path kGolden = std::filesystem::path(VANTORELL_SOURCE_DIR) / "tests/data/gif/golden";

std::vector<char> readAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Two 64 x 48 pictures with smooth gradients, hard edges and colours off the halftone cube.
void writeInputs(const TempDir& dir)
{
    WorkSurface first(64, 48), second(64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            first.setPixel(x, y, (x * 4) << 16 | (y * 5) << 8 | ((x ^ y) & 8 ? 200 : 37));
            second.setPixel(x, y, (255 - y * 3) << 16 | ((x * 7 + y) & 255) << 8 | (x > 30 && y > 20 ? 250 : x * 2));
        }
    first.saveAsBitmapFile(dir / "one.bmp");
    second.saveAsBitmapFile(dir / "two.bmp");
}

struct GoldenCase {
    const char* file;
    GifPalette palette;
    GifDither dither;
    bool optimize;
    int lossy;
};

}  // namespace

TEST(GifGolden, TheFadesGifsAreByteForByteThoseOfBefore)
{
    const GoldenCase cases[] = {
        {"halftone-ordered.gif", GifPalette::Halftone, GifDither::Ordered, false, 0},   // the default
        {"optimal-diffusion.gif", GifPalette::Optimal, GifDither::Diffusion, false, 0},
        {"global-ordered-optimised.gif", GifPalette::Global, GifDither::Ordered, true, 0},
        {"perframe-ordered8-lossy.gif", GifPalette::PerFrame, GifDither::Ordered8, false, 40},
        {"halftone-none-optimised.gif", GifPalette::Halftone, GifDither::None, true, 0},
    };
    TempDir inputs;
    writeInputs(inputs);
    for (const GoldenCase& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir out, temp;
        test::ScopedEnv tempVariable("TEMP", temp.path().string());
        FakeUi ui;
        MixJob job(ui, &runFadeSteps);
        MixRequest request;
        request.mixType = MixType::Fade;
        request.fadeOutput = FadeOutput::Gif;
        request.image1Path = (inputs / "one.bmp").string();
        request.image2Path = (inputs / "two.bmp").string();
        request.outputFolder = out.path().string();
        request.frameCountText = "5";
        request.gif.palette = c.palette;
        request.gif.dither = c.dither;
        request.gif.optimize = c.optimize;
        request.gif.lossy = c.lossy;
        const MixOutcome outcome = job.run(request);
        ASSERT_TRUE(outcome.succeeded());
        const std::vector<char> written = readAll(out / "result.gif");
        if (std::getenv("VANTORELL_WRITE_GOLDEN") != nullptr) {
            std::ofstream(kGolden / c.file, std::ios::binary).write(written.data(), std::streamsize(written.size()));
            continue;
        }
        const std::vector<char> golden = readAll(kGolden / c.file);
        ASSERT_FALSE(golden.empty());
        EXPECT_TRUE(written == golden) << written.size() << " bytes against " << golden.size();
    }
}
