// The streamed Overlay (job/OverlayStream) against the whole-picture steps: the same result bytes,
// boxes, reports, quality and progress for every kind of input pair, including those the
// stream hands back to the whole-picture steps.
#include "job/MixJob.h"

#include "platform/JpegCodec.h"

#include "support/FakeUi.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A photograph-like JPEG: a gradient with a little texture.
std::string writeJpeg(const test::TempDir& dir, const std::string& name, int width, int height, int seed)
{
    Bitmap bitmap = Bitmap::uninitialized(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.mutableBits() + bitmap.stride() * std::size_t(y);
        for (int x = 0; x < width; ++x) {
            row[x * 4 + 0] = std::uint8_t(x * 3 + seed);
            row[x * 4 + 1] = std::uint8_t(y * 2 + ((x * y + seed) % 7) * 9);
            row[x * 4 + 2] = std::uint8_t(seed * 40 + (x ^ y));
            row[x * 4 + 3] = 0;
        }
    }
    const std::string file = (dir / name).string();
    EXPECT_TRUE(encodeJpeg(bitmap, file, 80 + seed));
    return file;
}

struct Result {
    std::string bytes;
    std::vector<std::string> boxes;
    std::vector<double> progress;
    std::size_t errors = 0;
    int quality = 0;
    bool written = false;
};

Result runOverlay(bool streamed, const std::string& image1, const std::string& image2, std::optional<int> quality)
{
    test::TempDir out;
    test::FakeUi ui;
    MixJob job(ui);
    job.setStreamOverlays(streamed);
    MixRequest request;
    request.mixType = MixType::Overlay;
    request.image1Path = image1;
    request.image2Path = image2;
    request.outputFolder = out.path().string();
    if (quality) {
        request.qualityChoice = JpegQualityChoice::Fixed;
        request.fixedQuality = *quality;
    }
    const MixOutcome outcome = job.run(request);
    Result result{bytesOf(out / "result.jpg"), ui.texts(), ui.progressValues, outcome.errors.size(), outcome.jpegQuality,
                  outcome.wroteResult()};
    // Nothing but the result is left in the folder.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out.path()))
        ++files;
    EXPECT_EQ(files, outcome.wroteResult() ? 1u : 0u);
    return result;
}

TEST(OverlayStream, SameResultAsTheWholePictureSteps)
{
    test::TempDir dir;
    const std::string a = writeJpeg(dir, "a.jpg", 333, 217, 1);
    const std::string b = writeJpeg(dir, "b.jpg", 333, 217, 2);
    const std::string small = writeJpeg(dir, "small.jpg", 120, 90, 3);
    const std::string big = writeJpeg(dir, "big.jpg", 400, 301, 4);
    const std::string bmp = test::writePicture(dir, "c.bmp", 333, 217, 5);
    // A JPEG cut in half: libjpeg decodes what is there and fills the rest.
    const std::string whole = bytesOf(b);
    std::ofstream(dir / "cut.jpg", std::ios::binary) << whole.substr(0, whole.size() / 2);
    const std::string cut = (dir / "cut.jpg").string();
    // Grey and progressive JPEGs from libjpeg's own tools, where they are installed.
    const std::string grey = (dir / "grey.jpg").string(), progressive = (dir / "progressive.jpg").string();
    test::RunScript("cjpeg -grayscale '" + bmp + "' > '" + grey + "' && jpegtran -progressive '" + a + "' > '" +
                    progressive + "'");

    struct Case {
        std::string name, image1, image2;
        std::optional<int> quality;
    };
    const Case cases[] = {
        {"same size", a, b, std::nullopt},
        {"fixed quality", a, b, 37},
        {"second smaller", a, small, std::nullopt},
        {"second larger", small, big, std::nullopt},
        {"first larger", big, a, 90},
        {"truncated second", a, cut, std::nullopt},
        {"truncated first", cut, a, std::nullopt},
        {"not a JPEG", a, bmp, std::nullopt},
        {"grey", grey, a, std::nullopt},
        {"progressive", progressive, b, std::nullopt},
        {"missing second", a, (dir / "missing.jpg").string(), std::nullopt},
        {"missing first", (dir / "missing.jpg").string(), a, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!fs::exists(c.image1) && c.name == "grey")
            continue;
        const Result whole = runOverlay(false, c.image1, c.image2, c.quality);
        const Result streamed = runOverlay(true, c.image1, c.image2, c.quality);
        EXPECT_EQ(streamed.bytes, whole.bytes);
        EXPECT_EQ(streamed.boxes, whole.boxes);
        EXPECT_EQ(streamed.progress, whole.progress);
        EXPECT_EQ(streamed.errors, whole.errors);
        EXPECT_EQ(streamed.quality, whole.quality);
        EXPECT_EQ(streamed.written, whole.written);
    }
}

}  // namespace
}  // namespace vantorell
