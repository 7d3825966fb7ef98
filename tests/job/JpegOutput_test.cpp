#include "job/JpegOutput.h"

#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vantorell {
namespace {

RuntimeError saveError(const Picture& picture, const std::string& file, int quality)
{
    try {
        savePictureAsJpeg(picture, file, std::uint8_t(quality));
    } catch (const RuntimeError& e) {
        return e;
    }
    return RuntimeError(0, "");
}

TEST(EstimateJpegQuality, CompressionRatioAgainst24BitPixels)
{
    EXPECT_EQ(estimateJpegQuality(800, 600, 120000), 89);
    EXPECT_EQ(estimateJpegQuality(800, 600, 48000), 71);
    EXPECT_EQ(estimateJpegQuality(800, 600, 14400), 1);
    EXPECT_EQ(estimateJpegQuality(800, 600, 10000), 1);          // -43, clamped
    EXPECT_EQ(estimateJpegQuality(800, 600, 2000000), 100);      // larger than its pixels
    EXPECT_EQ(estimateJpegQuality(800, 600, 576000), 98);        // ratio 2.5: 98.5 -> 98
    EXPECT_EQ(estimateJpegQuality(800, 600, 960000), 100);       // ratio 1.5: 99.5 -> 100
    EXPECT_EQ(estimateJpegQuality(30000, 30000, 1), 1);          // far below -32768: clamped
    EXPECT_THROW(estimateJpegQuality(800, 600, 0), RuntimeError);
}

TEST(EstimateJpegQuality, UsesTheFilesPixelSizeAndLength)
{
    test::TempDir dir;
    WorkSurface surface;
    // A picture decoded at reduced scale still estimates from the file's own size.
    surface.setPicture(Picture(Bitmap(100, 75), 800, 600));
    std::ofstream(dir / "a.jpg", std::ios::binary) << std::string(48000, 'x');
    EXPECT_EQ(estimateJpegQuality(surface, (dir / "a.jpg").string()), 71);

    try {
        estimateJpegQuality(surface, (dir / "missing.jpg").string());
        FAIL() << "no error for a missing file";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), errnum::FileNotFound);
        EXPECT_EQ(e.description(), "File not found");
    }
    std::ofstream(dir / "empty.jpg").flush();
    EXPECT_THROW(estimateJpegQuality(surface, (dir / "empty.jpg").string()), RuntimeError);
}

TEST(SavePictureAsJpeg, WritesThePictureAtItsSize)
{
    test::TempDir dir;
    Bitmap bitmap(40, 30);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            bitmap.setPixel(x, y, x < 20 ? 0x0000FF : 0xFF0000);
    for (int quality : {0, 85, 100}) {
        const std::string file = (dir / ("q" + std::to_string(quality) + ".jpg")).string();
        savePictureAsJpeg(Picture(bitmap), file, std::uint8_t(quality));
        const Picture back = loadPicture(file);
        EXPECT_EQ(back.width(), 40);
        EXPECT_EQ(back.height(), 30);
    }
    EXPECT_LT(std::filesystem::file_size(dir / "q0.jpg"), std::filesystem::file_size(dir / "q100.jpg"));
}

TEST(SavePictureAsJpeg, FailuresRaiseError5WithAStatus)
{
    test::TempDir dir;
    const RuntimeError missingFolder = saveError(Picture(Bitmap(4, 4)), (dir / "no" / "result.jpg").string(), 85);
    EXPECT_EQ(missingFolder.number(), errnum::CannotSaveImage);
    EXPECT_EQ(missingFolder.description(), "Cannot save the image. GDI+ Error:7");
    const RuntimeError noPicture = saveError(Picture(), (dir / "result.jpg").string(), 85);
    EXPECT_EQ(noPicture.description(), "Cannot save the image. GDI+ Error:2");
}

}  // namespace
}  // namespace vantorell
