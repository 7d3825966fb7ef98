#include "dib/BitmapFile.h"
#include "dib/Dib.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

using namespace vantorell;

namespace {

const std::filesystem::path kCases = std::filesystem::path(VANTORELL_SOURCE_DIR) / "tests/data/bmp";

std::vector<std::uint8_t> bytesOf(const std::string& name)
{
    std::ifstream in(kCases / name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

BmpStatus statusOf(const std::string& name, BmpImage& image)
{
    const std::vector<std::uint8_t> bytes = bytesOf(name);
    return readBitmapFile(bytes, image);
}

}  // namespace

TEST(readBitmapFile, EachHostileFileGetsItsOwnAnswer)
{
    struct Case { const char* file; BmpStatus want; };
    const Case cases[] = {
        {"bad-magic.bmp", BmpStatus::Malformed},
        {"header-cut-short.bmp", BmpStatus::Malformed},
        {"file-shorter-than-file-header.bmp", BmpStatus::Malformed},
        {"zero-width.bmp", BmpStatus::Malformed},
        {"zero-height.bmp", BmpStatus::Malformed},
        {"negative-width.bmp", BmpStatus::Malformed},
        {"height-int32-min.bmp", BmpStatus::Malformed},
        {"planes-2.bmp", BmpStatus::Malformed},
        {"bpp-0.bmp", BmpStatus::Malformed},
        {"colours-used-beyond-depth.bmp", BmpStatus::Malformed},
        {"palette-past-end-of-file.bmp", BmpStatus::Malformed},
        {"offset-into-header.bmp", BmpStatus::Malformed},
        {"offset-into-palette.bmp", BmpStatus::Malformed},
        {"offset-beyond-file.bmp", BmpStatus::Malformed},
        {"bitfields-on-8bpp.bmp", BmpStatus::Malformed},
        {"bitfields-masks-missing.bmp", BmpStatus::Malformed},
        {"info-header-size-8.bmp", BmpStatus::Malformed},
        {"header-size-64-os2.bmp", BmpStatus::Unsupported},
        {"bpp-2.bmp", BmpStatus::Unsupported},
        {"bpp-64.bmp", BmpStatus::Unsupported},
        {"rle8-compression.bmp", BmpStatus::Unsupported},
        {"jpeg-compression.bmp", BmpStatus::Unsupported},
        {"bitfields-565.bmp", BmpStatus::Unsupported},
        {"width-over-limit.bmp", BmpStatus::OverLimit},
        {"pixels-over-limit.bmp", BmpStatus::OverLimit},
    };
    for (const Case& c : cases) {
        BmpImage image;
        image.width = 99;
        EXPECT_EQ(statusOf(c.file, image), c.want) << c.file << ": " << bmpStatusText(statusOf(c.file, image));
        EXPECT_EQ(image.width, 0) << c.file << ": a refused file leaves the image empty";
        EXPECT_TRUE(image.pixels.empty()) << c.file;
    }
    BmpImage image;
    EXPECT_EQ(readBitmapFile({}, image), BmpStatus::Malformed) << "no bytes at all";
}

TEST(readBitmapFile, TruncatedRowsGiveADefinedPartialImage)
{
    BmpImage image;
    ASSERT_EQ(statusOf("rows-truncated.bmp", image), BmpStatus::Truncated);
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.height, 3);
    ASSERT_EQ(image.stride, 8);
    // Bottom-up file: rows 0 and 1 of the file (values 1 and 51) are the bottom rows; the top
    // row is cut off (its last 8 bytes were dropped) and stays zero.
    EXPECT_EQ(image.pixels[0], 0);
    EXPECT_EQ(image.pixels[8], 51);
    EXPECT_EQ(image.pixels[16], 1);

    // Every cut of a valid file answers without reading past the end.
    const std::vector<std::uint8_t> whole = bytesOf("ok-8bpp-bottom-up.bmp");
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + std::ptrdiff_t(n));
        const BmpStatus status = readBitmapFile(cut, image);
        EXPECT_NE(status, BmpStatus::Ok) << n << " bytes";
    }
}

TEST(readBitmapFile, ValidFilesAreStoredTopDownWithTheirColourTables)
{
    BmpImage image;
    ASSERT_EQ(statusOf("ok-8bpp-bottom-up.bmp", image), BmpStatus::Ok);
    EXPECT_EQ(image.bpp, 8);
    EXPECT_TRUE(image.bottomUpInFile);
    EXPECT_EQ(image.stride, 4);
    EXPECT_EQ((std::vector<std::uint8_t>(image.pixels.begin(), image.pixels.begin() + 3)),
              (std::vector<std::uint8_t>{10, 11, 12})) << "the file's last row is the top row";
    ASSERT_EQ(image.colourTable.size(), 1024u);
    EXPECT_EQ(image.colourTable[4 * 5 + 2], 15);

    ASSERT_EQ(statusOf("ok-8bpp-few-colours.bmp", image), BmpStatus::Ok);
    EXPECT_EQ(image.colourTable.size(), 1024u);
    EXPECT_EQ(image.colourTable[4 * 3], 3);
    EXPECT_EQ(image.colourTable[4 * 4], 0) << "entries beyond the file's count are black";

    ASSERT_EQ(statusOf("ok-24bpp-top-down.bmp", image), BmpStatus::Ok);
    EXPECT_FALSE(image.bottomUpInFile);
    EXPECT_EQ(image.stride, 16);
    EXPECT_EQ(image.pixels[16 * 2 + 3 * 4 + 0], 4);
    EXPECT_EQ(image.pixels[16 * 2 + 3 * 4 + 1], 2);

    ASSERT_EQ(statusOf("ok-core-header-4bpp.bmp", image), BmpStatus::Ok);
    EXPECT_EQ(image.colourTable.size(), 64u);
    EXPECT_EQ(image.colourTable[4 * 9], 9);
    EXPECT_EQ(image.colourTable[4 * 9 + 3], 0);
    EXPECT_EQ(image.pixels[0], 0x45) << "top row is the file's second row: 4, 5, 6";

    EXPECT_EQ(statusOf("ok-32bpp-bitfields.bmp", image), BmpStatus::Ok);
    EXPECT_EQ(statusOf("ok-16bpp-555.bmp", image), BmpStatus::Ok);
    EXPECT_EQ(statusOf("ok-1bpp-mask.bmp", image), BmpStatus::Ok);
    EXPECT_EQ(image.pixels[0], 0x92);
    EXPECT_EQ(statusOf("ok-108-byte-header.bmp", image), BmpStatus::Ok);
}

TEST(Dib, CreateFromBitmapFileLoadsTopDownAndAnswersZeroOnFailure)
{
    Dib dib;
    EXPECT_EQ(dib.createFromBitmapFile(kCases / "ok-8bpp-bottom-up.bmp"), 8);
    EXPECT_EQ(dib.width(), 3);
    EXPECT_EQ(dib.height(), 2);
    EXPECT_EQ(dib.bytesPerScanline(), 4);
    EXPECT_EQ(dib.scanline(0)[0], 10);
    EXPECT_EQ(dib.scanline(1)[2], 2);
    EXPECT_EQ(dib.colourTable()[4 * 7 + 1], 14);

    EXPECT_EQ(dib.createFromBitmapFile(kCases / "ok-24bpp-top-down.bmp"), 24);
    EXPECT_EQ(dib.bytesPerScanline(), 16);

    for (const char* bad : {"rows-truncated.bmp", "offset-beyond-file.bmp", "rle8-compression.bmp",
                            "pixels-over-limit.bmp"}) {
        ASSERT_TRUE(dib.create(2, 2, 32));
        EXPECT_EQ(dib.createFromBitmapFile(kCases / bad), 0) << bad;
    }
    EXPECT_TRUE(dib.empty()) << "a failed load leaves the surface empty";

    ASSERT_TRUE(dib.create(2, 2, 32));
    EXPECT_EQ(dib.createFromBitmapFile(kCases / "no-such-file.bmp"), 0);
    EXPECT_FALSE(dib.empty()) << "a missing file is refused before the surface is touched";

    test::TempDir dir;
    std::ofstream(dir / "empty.bmp").close();
    ASSERT_TRUE(dib.create(2, 2, 32));
    EXPECT_EQ(dib.createFromBitmapFile(dir / "empty.bmp"), 0);
    EXPECT_FALSE(dib.empty()) << "an empty file is refused before the surface is touched";
}

TEST(readStoredBitmapHeaders, PlacesThePartsOnlyWithinTheFile)
{
    const std::vector<std::uint8_t> file = bytesOf("ok-8bpp-bottom-up.bmp");   // 3 x 2, 256 colours
    StoredBitmapHeaders headers;
    ASSERT_EQ(readStoredBitmapHeaders(file, file.size(), headers), StoredBitmapStatus::Ok);
    EXPECT_EQ(headers.file.type, kBitmapFileType);
    EXPECT_EQ(headers.file.offBits, 14u + 40 + 1024);
    EXPECT_EQ(headers.info.width, 3);
    EXPECT_EQ(headers.info.bitCount, 8);
    EXPECT_EQ(headers.pixelBytes(), 8u);   // image size 0: two rows of 4 bytes
    EXPECT_EQ(storedBitmapInfo(file, headers).size(), 40u + 1024);
    EXPECT_EQ(storedPixels(file, headers).data(), file.data() + 14 + 40 + 1024);
    std::array<std::uint8_t, kBitmapFileHeaderSize> written;
    writeBitmapFileHeader(headers.file, written);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), file.begin()));

    // Parts that do not lie within the file are empty; sizes that do not fit saturate.
    const struct { const char* what; std::function<void(StoredBitmapHeaders&)> spoil; bool info, pixels; } cases[] = {
        {"offset inside the file header", [](auto& h) { h.file.offBits = 13; }, false, true},
        {"offset past the end", [&](auto& h) { h.file.offBits = std::uint32_t(file.size() + 1); }, false, false},
        {"pixels past the end", [](auto& h) { h.info.sizeImage = 9; }, true, false},
        {"rows of 2^31 x 32767 x 32767 bits", [](auto& h) { h.info.width = 0x7FFFFFFF; h.info.height = INT32_MIN;
                                                            h.info.bitCount = 32767; }, true, false},
    };
    for (const auto& c : cases) {
        StoredBitmapHeaders spoilt = headers;
        c.spoil(spoilt);
        EXPECT_EQ(!storedBitmapInfo(file, spoilt).empty(), c.info) << c.what;
        EXPECT_EQ(!storedPixels(file, spoilt).empty(), c.pixels) << c.what;
    }

    EXPECT_EQ(readStoredBitmapHeaders(std::span(file).first(1), file.size(), headers), StoredBitmapStatus::NotBitmap);
    EXPECT_EQ(readStoredBitmapHeaders(bytesOf("bad-magic.bmp"), file.size(), headers), StoredBitmapStatus::NotBitmap);
    EXPECT_EQ(readStoredBitmapHeaders(std::span(file).first(53), file.size(), headers), StoredBitmapStatus::Truncated);
    EXPECT_EQ(readStoredBitmapHeaders(file, 53, headers), StoredBitmapStatus::Truncated);
    EXPECT_FALSE(readBitmapInfoHeader(std::span(file).subspan(14, 39)));
    EXPECT_EQ(readBitmapInfoHeader(std::span(file).subspan(14))->height, 2);
}
