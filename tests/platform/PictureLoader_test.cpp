#include "platform/PictureLimits.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"

#include "support/TempDir.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace vantorell {
namespace {

const std::filesystem::path kData = std::filesystem::path(VANTORELL_SOURCE_DIR) / "tests/data/picture";

std::vector<std::uint8_t> readAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The RuntimeError a load raises, or number 0 when it loads.
RuntimeError loadError(const std::filesystem::path& file)
{
    try {
        loadPicture(file);
    } catch (const RuntimeError& e) {
        return e;
    }
    return RuntimeError(0, "");
}

std::vector<std::uint8_t> jpegBytes(const QImage& image, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image));
    return {bytes.begin(), bytes.end()};
}

TEST(PictureLoader, ReadsEveryFormatQtReads)
{
    for (const char* name : {"small.jpg", "small.bmp", "small.png", "small.webp", "small-two-frames.gif",
                             "progressive.jpg", "jpeg-named.bmp", "grey.jpg", "cmyk.jpg"}) {
        SCOPED_TRACE(name);
        const Picture picture = loadPicture(kData / name);
        EXPECT_EQ(picture.width(), 64);
        EXPECT_EQ(picture.height(), 48);
        EXPECT_EQ(picture.sourceWidth(), 64);
        EXPECT_EQ(picture.sourceHeight(), 48);
    }
    // The BMP holds exact colours: compare one pixel with Qt's own reading of the file.
    const QImage reference(QString::fromStdString((kData / "small.bmp").string()));
    const Picture bmp = loadPicture(kData / "small.bmp");
    const QRgb rgb = reference.pixel(10, 20);
    EXPECT_EQ(bmp.bitmap().pixel(10, 20), std::int32_t(qRed(rgb) | qGreen(rgb) << 8 | qBlue(rgb) << 16));
}

TEST(PictureLoader, GreyAndCmykJpegsComeOutAsColour)
{
    // Grey decodes through libjpeg straight to blue = green = red; CMYK, which libjpeg cannot
    // turn into blue, green, red, through Qt's reader.
    const Picture grey = loadPicture(kData / "grey.jpg");
    const std::int32_t g = grey.bitmap().pixel(30, 30);
    EXPECT_EQ(g & 0xFF, (g >> 8) & 0xFF);
    EXPECT_EQ(g & 0xFF, (g >> 16) & 0xFF);
    const Picture colour = loadPicture(kData / "small.jpg");
    const Picture cmyk = loadPicture(kData / "cmyk.jpg");
    for (int shift : {0, 8, 16})
        EXPECT_NEAR((cmyk.bitmap().pixel(30, 30) >> shift) & 0xFF, (colour.bitmap().pixel(30, 30) >> shift) & 0xFF, 40);
}

TEST(PictureLoader, BadFilesGetTheirOwnErrors)
{
    EXPECT_EQ(loadError(kData / "no-such-file.jpg").number(), errnum::FileNotFound);
    EXPECT_EQ(loadError(kData / "no-such-file.jpg").description(), "File not found");
    EXPECT_EQ(loadError(kData).number(), errnum::FileAccessError);   // a folder

    for (const char* name : {"empty.jpg", "text-named.jpg", "broken-huffman.jpg"}) {
        SCOPED_TRACE(name);
        const RuntimeError e = loadError(kData / name);
        EXPECT_EQ(e.number(), errnum::InvalidPicture);
        EXPECT_EQ(e.description(), "Invalid picture");
    }
}

TEST(PictureLoader, TruncatedJpegIsDamagedNotGreyed)
{
    // The report stays the undecodable picture's; the closing message says what is wrong.
    const RuntimeError e = loadError(kData / "truncated.jpg");
    EXPECT_EQ(e.number(), errnum::InvalidPicture);
    EXPECT_EQ(e.description(), "Invalid picture");
    EXPECT_EQ(e.inputProblem(), "is damaged: its data ends early");
}

TEST(PictureLoader, DecompressionBombsAreRefusedFromTheHeader)
{
    for (const char* name : {"declares-65500x65500.jpg", "bmp-declares-30000x30000.bmp"}) {
        SCOPED_TRACE(name);
        const RuntimeError e = loadError(kData / name);
        EXPECT_EQ(e.number(), errnum::InvalidPicture);
        EXPECT_NE(e.description().find("too large"), std::string::npos) << e.description();
    }
    EXPECT_EQ(loadError(kData / "bmp-declares-30000x30000.bmp").description(),
              "Picture too large: 30000 x 30000 pixels (the limit is 32767 pixels a side and 256 megapixels)");
    EXPECT_EQ(loadError(kData / "declares-65500x65500.jpg").description(),
              "Picture too large: 65500 x 65500 pixels (the limit is 32767 pixels a side and 256 megapixels)");
}

TEST(PictureLoader, ProgressiveJpegWithThousandsOfScansIsRefusedBeforeDecoding)
{
    const auto bytes = readAll(kData / "thousands-of-scans.jpg");
    EXPECT_GT(countJpegScans(bytes, 1 << 30), 2000);
    EXPECT_EQ(countJpegScans(bytes, limits::kMaxJpegScans), limits::kMaxJpegScans + 1);
    EXPECT_EQ(countJpegScans(readAll(kData / "small.jpg"), 10), 1);
    EXPECT_EQ(countJpegScans(readAll(kData / "progressive.jpg"), 100), 10);

    const RuntimeError e = loadError(kData / "thousands-of-scans.jpg");
    EXPECT_EQ(e.number(), errnum::InvalidPicture);
    EXPECT_EQ(e.description(), "Invalid picture: more than 256 scans in a progressive JPEG");
}

TEST(PictureLoader, HeaderIsReadWithoutDecoding)
{
    const PictureHeader header = readPictureHeader(readAll(kData / "progressive.jpg"));
    EXPECT_EQ(header.format, "jpeg");
    EXPECT_EQ(header.width, 64);
    EXPECT_EQ(header.height, 48);
    EXPECT_EQ(header.jpegScans, 10);
    EXPECT_EQ(readPictureHeader(readAll(kData / "small.png")).format, "png");
}

TEST(PictureLoader, BigJpegDecodesAtTheLargestScaleThatCoversTheRequest)
{
    QImage image(2000, 1000, QImage::Format_RGB32);
    image.fill(qRgb(200, 100, 50));
    const auto bytes = jpegBytes(image);
    {
        const Picture picture = loadPictureFromBytes(bytes, DecodeRequest{729, 425});
        EXPECT_EQ(picture.width(), 1000);   // 1/2: 1/4 would give 500 x 250, too small
        EXPECT_EQ(picture.height(), 500);
        EXPECT_EQ(picture.sourceWidth(), 2000);
        EXPECT_EQ(picture.sourceHeight(), 1000);
        const std::int32_t c = picture.bitmap().pixel(500, 250);
        EXPECT_NEAR(c & 0xFF, 200, 3);
        EXPECT_NEAR((c >> 8) & 0xFF, 100, 3);
        EXPECT_NEAR((c >> 16) & 0xFF, 50, 3);
    }
    {
        const Picture picture = loadPictureFromBytes(bytes, DecodeRequest{200, 100});
        EXPECT_EQ(picture.width(), 250);    // 1/8, rounded up
        EXPECT_EQ(picture.height(), 125);
    }
    EXPECT_EQ(loadPictureFromBytes(bytes).width(), 2000);
    EXPECT_EQ(loadPictureFromBytes(bytes, DecodeRequest{1999, 10}).width(), 2000);
}

TEST(PictureLoader, LargePhotographsAboveQtsDefaultAllocationLimitLoad)
{
    // 6000 x 5600 = 33.6 megapixels, 134 MB decoded: above Qt's default limit of 128 MB. A
    // flat grey picture compresses to almost nothing, so the test stays small.
    QImage image(6000, 5600, QImage::Format_Grayscale8);
    image.fill(128);
    const auto bytes = jpegBytes(image, 50);
    const Picture picture = loadPictureFromBytes(bytes, DecodeRequest{729, 425});
    EXPECT_EQ(picture.sourceWidth(), 6000);
    EXPECT_EQ(picture.width(), 750);
    const Picture full = loadPictureFromBytes(bytes);
    EXPECT_EQ(full.width(), 6000);
    EXPECT_EQ(full.height(), 5600);
    EXPECT_EQ(full.bitmap().pixel(5999, 5599), 0x808080);
}

}  // namespace
}  // namespace vantorell
