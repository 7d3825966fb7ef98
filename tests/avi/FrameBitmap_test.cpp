#include "avi/FrameBitmap.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace vantorell;
using vantorell::test::FakeUi;
using vantorell::test::TempDir;

namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) { b[at] = std::uint8_t(v), b[at + 1] = std::uint8_t(v >> 8); }
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (8 * i));
}

// A bottom-up 24-bit bitmap file of width x height with pixel (x, y) = (x, y, x + y).
std::vector<std::uint8_t> bmp24(int width, int height)
{
    const std::size_t row = (std::size_t(width) * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> b(54 + row * height, 0);
    b[0] = 'B', b[1] = 'M';
    put32(b, 2, std::uint32_t(b.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, std::uint32_t(width));
    put32(b, 22, std::uint32_t(height));
    put16(b, 26, 1);
    put16(b, 28, 24);
    put32(b, 34, std::uint32_t(row * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &b[54 + row * (height - 1 - y) + 3 * x];
            p[0] = std::uint8_t(x), p[1] = std::uint8_t(y), p[2] = std::uint8_t(x + y);
        }
    return b;
}

std::filesystem::path writeFile(const TempDir& dir, const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

}  // namespace

TEST(FrameBitmap, ReadsA24BitFrameWithFortyBitmapInfoBytes)
{
    TempDir dir;
    const auto file = writeFile(dir, "temp.bmp", bmp24(5, 3));
    FakeUi ui;
    FrameBitmap dib(&ui, "Vantorell");
    ASSERT_TRUE(dib.createFromFile(file));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(dib.fileType(), 19778);
    EXPECT_EQ(dib.pixelOffset(), 54u);
    EXPECT_EQ(dib.fileSize(), 54u + 16 * 3);
    EXPECT_EQ(dib.bitmapInfo().size(), 40u);
    EXPECT_EQ(dib.infoHeaderSize(), 40);
    EXPECT_EQ(dib.width(), 5);
    EXPECT_EQ(dib.height(), 3);
    EXPECT_EQ(dib.bitCount(), 24);
    EXPECT_EQ(dib.planes(), 1);
    EXPECT_EQ(dib.imageSize(), 48u);
    EXPECT_EQ(std::memcmp(dib.bitmapInfo().data(), bmp24(5, 3).data() + 14, 40), 0);
    // Pixel (4, 0) is in the last stored row (bottom-up): blue 4, green 0, red 4.
    EXPECT_EQ(dib.bits()[32 + 12], 4);
    EXPECT_EQ(dib.bits()[32 + 14], 4);

    // Written back, the file is the same bytes.
    const auto copy = dir / "copy.bmp";
    ASSERT_TRUE(dib.writeToFile(copy));
    std::ifstream in(copy, std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}), bmp24(5, 3));
    EXPECT_FALSE(dib.writeToFile(dir / "no-such-folder" / "x.bmp"));
}

TEST(FrameBitmap, MissingLockedAndForeignFilesGiveTheirMessages)
{
    TempDir dir;
    FakeUi ui;
    FrameBitmap dib(&ui, "Vantorell");
    EXPECT_FALSE(dib.createFromFile(dir / "temp.bmp"));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "File does not exist:\r\n" + (dir / "temp.bmp").string());
    EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(ui.boxes[0].title, "Vantorell");

    auto foreign = bmp24(2, 2);
    foreign[0] = 'P', foreign[1] = 'K';
    const auto zip = writeFile(dir, "zip.bmp", foreign);
    EXPECT_FALSE(dib.createFromFile(zip));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, "File is not a supported bitmap format:\r\n" + zip.string());
    EXPECT_EQ(ui.boxes[1].icon, MsgIcon::Information);
    EXPECT_EQ(dib.lastError(), FrameBitmapError::NotBitmap);

    if (::geteuid() != 0) {   // root reads any file
        const auto locked = writeFile(dir, "locked.bmp", bmp24(2, 2));
        ::chmod(locked.c_str(), 0);
        EXPECT_FALSE(dib.createFromFile(locked));
        ASSERT_EQ(ui.boxes.size(), 3u);
        EXPECT_EQ(ui.boxes[2].text, "File is locked - cannot access:\r\n" + locked.string());
        EXPECT_EQ(ui.boxes[2].icon, MsgIcon::Critical);
    }
}

TEST(FrameBitmap, HostileHeadersAreRefusedWithinTheFileSize)
{
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> spoil;
        FrameBitmapError want;
    };
    const Case cases[] = {
        {"image size 2 GB in a 100-byte file", [](auto& b) { b.resize(100); put32(b, 34, 0x80000000u); }, FrameBitmapError::BadImageSize},
        {"image size beyond the file", [](auto& b) { put32(b, 34, std::uint32_t(b.size())); }, FrameBitmapError::BadImageSize},
        {"offset inside the header", [](auto& b) { put32(b, 10, 20); }, FrameBitmapError::BadOffset},
        {"offset beyond the end", [](auto& b) { put32(b, 10, std::uint32_t(b.size() + 1)); }, FrameBitmapError::BadOffset},
        {"negative width", [](auto& b) { put32(b, 18, std::uint32_t(-5)); }, FrameBitmapError::BadDimensions},
        {"INT_MIN width", [](auto& b) { put32(b, 18, 0x80000000u); }, FrameBitmapError::BadDimensions},
        {"INT_MIN height", [](auto& b) { put32(b, 22, 0x80000000u); }, FrameBitmapError::BadDimensions},
        {"zero height", [](auto& b) { put32(b, 22, 0); }, FrameBitmapError::BadDimensions},
        {"huge width", [](auto& b) { put32(b, 18, 100000); }, FrameBitmapError::BadDimensions},
        {"unknown bit count", [](auto& b) { put16(b, 28, 7); }, FrameBitmapError::BadBitCount},
        {"OS/2 core header", [](auto& b) { put32(b, 14, 12); }, FrameBitmapError::UnsupportedHeader},
        {"truncated information header", [](auto& b) { b.resize(30); }, FrameBitmapError::TruncatedHeader},
        {"only the signature", [](auto& b) { b.resize(2); }, FrameBitmapError::TruncatedHeader},
        {"compressed with image size 0", [](auto& b) { put32(b, 30, 1); put32(b, 34, 0); }, FrameBitmapError::BadImageSize},
    };
    TempDir dir;
    for (const Case& c : cases) {
        auto bytes = bmp24(8, 4);
        c.spoil(bytes);
        FakeUi ui;
        FrameBitmap dib(&ui);
        const auto file = writeFile(dir, "temp.bmp", bytes);
        EXPECT_FALSE(dib.createFromFile(file)) << c.what;
        EXPECT_EQ(dib.lastError(), c.want) << c.what << ": " << frameBitmapErrorText(dib.lastError());
        ASSERT_EQ(ui.boxes.size(), 1u) << c.what;
        EXPECT_EQ(ui.boxes[0].text, "File is not a supported bitmap format:\r\n" + file.string()) << c.what;
        FrameBitmap memory;
        EXPECT_FALSE(memory.createFromBytes(bytes)) << c.what;
        EXPECT_EQ(memory.lastError(), c.want) << c.what;
    }
}

TEST(FrameBitmap, ImageSizeZeroOfAnUncompressedBitmapIsTheRowsSize)
{
    auto bytes = bmp24(5, 3);
    put32(bytes, 34, 0);
    FrameBitmap dib;
    ASSERT_TRUE(dib.createFromBytes(bytes));
    EXPECT_EQ(dib.imageSize(), 48u);
    // A top-down bitmap (negative height) is taken as it is.
    put32(bytes, 22, std::uint32_t(-3));
    ASSERT_TRUE(dib.createFromBytes(bytes));
    EXPECT_EQ(dib.height(), -3);
}

TEST(FrameBitmap, FailedReadKeepsThePreviousFrame)
{
    FrameBitmap dib;
    ASSERT_TRUE(dib.createFromBytes(bmp24(4, 2)));
    const std::vector<std::uint8_t> before(dib.bits().begin(), dib.bits().end());
    std::vector<std::uint8_t> bad = {'B', 'M', 1, 2};
    EXPECT_FALSE(dib.createFromBytes(bad));
    EXPECT_EQ(std::vector<std::uint8_t>(dib.bits().begin(), dib.bits().end()), before);
}

TEST(FrameBitmap, PackedDibTakesOnlyDeepBitmapsWithAnImageSize)
{
    const auto file = bmp24(4, 2);
    std::vector<std::uint8_t> packed(file.begin() + 14, file.end());
    FrameBitmap dib;
    ASSERT_TRUE(dib.createFromPackedDib(packed));
    EXPECT_EQ(dib.pixelOffset(), 54u);
    EXPECT_EQ(dib.fileSize(), 54u + 24);
    EXPECT_EQ(dib.bitmapInfo().size(), 40u);
    EXPECT_EQ(dib.fileType(), 19778);
    // Image size beyond the block, 8 bits per pixel, image size 0: not taken.
    EXPECT_FALSE(dib.createFromPackedDib(std::span(packed).first(packed.size() - 1)));
    auto eight = packed;
    eight[14] = 8;
    EXPECT_FALSE(dib.createFromPackedDib(eight));
    auto empty = packed;
    std::memset(&empty[20], 0, 4);
    EXPECT_FALSE(dib.createFromPackedDib(empty));
    EXPECT_FALSE(dib.createFromPackedDib(std::span(packed).first(39)));
}
