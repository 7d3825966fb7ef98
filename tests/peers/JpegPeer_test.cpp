// libjpeg (the reference decoder) reads what our JPEG writer writes, and decodes the inputs to
// the same pixels our loader gives.
#include "job/JpegOutput.h"
#include "platform/PictureLoader.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace vantorell {
namespace {

struct Decoded {
    int width = 0, height = 0, components = 0;
    bool progressive = false;
    std::vector<std::uint8_t> rgb;
};

Decoded decodeWithLibjpeg(const std::filesystem::path& file)
{
    Decoded out;
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f)
        return out;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    out.progressive = jpeg_has_multiple_scans(&cinfo);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.width = int(cinfo.output_width);
    out.height = int(cinfo.output_height);
    out.components = cinfo.num_components;
    out.rgb.resize(std::size_t(out.width) * out.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.rgb.data() + std::size_t(cinfo.output_scanline) * out.width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return out;
}

TEST(JpegPeer, LibjpegReadsOurJpegCloseToThePicture)
{
    test::TempDir dir;
    Bitmap bitmap(64, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x)
            bitmap.setPixel(x, y, (x * 4) | (y * 6) << 8 | 128 << 16);
    const auto file = dir / "result.jpg";
    savePictureAsJpeg(Picture(bitmap), file.string(), 100);

    const Decoded d = decodeWithLibjpeg(file);
    ASSERT_EQ(d.width, 64);
    ASSERT_EQ(d.height, 40);
    EXPECT_EQ(d.components, 3);
    EXPECT_FALSE(d.progressive);   // baseline, as the platform encoder writes
    int worst = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x) {
            const std::uint8_t* p = &d.rgb[(std::size_t(y) * 64 + x) * 3];
            const std::int32_t c = bitmap.pixel(x, y);
            worst = std::max({worst, std::abs(p[0] - (c & 0xFF)), std::abs(p[1] - ((c >> 8) & 0xFF)),
                              std::abs(p[2] - ((c >> 16) & 0xFF))});
        }
    EXPECT_LE(worst, 6);
}

TEST(JpegPeer, OurLoaderDecodesTheSamplesAsLibjpegDoes)
{
    for (const char* name : {"sample1.jpg", "face2.jpg"}) {
        SCOPED_TRACE(name);
        const auto file = std::filesystem::path(VANTORELL_SAMPLES_DIR) / name;
        const Decoded d = decodeWithLibjpeg(file);
        const Picture picture = loadPicture(file);
        ASSERT_EQ(picture.width(), d.width);
        ASSERT_EQ(picture.height(), d.height);
        int differing = 0;
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x) {
                const std::uint8_t* p = &d.rgb[(std::size_t(y) * d.width + x) * 3];
                if (picture.bitmap().pixel(x, y) != (p[0] | p[1] << 8 | p[2] << 16))
                    ++differing;
            }
        EXPECT_EQ(differing, 0);
    }
}

}  // namespace
}  // namespace vantorell
