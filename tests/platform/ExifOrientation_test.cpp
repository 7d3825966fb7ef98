// EXIF orientation: a JPEG stored turned is read upright (all eight orientations, in big- and
// little-endian TIFF, through the header, the full decode and the DCT-scaled decode), and a
// hostile or malformed Exif segment reads exactly as a picture without one.
#include "platform/ExifOrientation.h"
#include "platform/JpegCodec.h"
#include "platform/PictureLoader.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace vantorell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A 48 x 32 JPEG of a picture with no symmetry.
Bytes storedJpeg(const TempDir& dir)
{
    Bitmap bits(48, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            bits.setPixel(x, y, (x * 5) | (y * 7) << 8 | ((x * y) & 255) << 16);
    const std::string file = (dir.path() / "stored.jpg").string();
    EXPECT_TRUE(encodeJpeg(bits, file, 95));
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The JPEG with an APP1 segment of `payload` right after its SOI.
Bytes withApp1(const Bytes& jpeg, const Bytes& payload, int declaredLength = -1)
{
    const int length = declaredLength >= 0 ? declaredLength : int(payload.size()) + 2;
    Bytes out{0xFF, 0xD8, 0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length & 255)};
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// "Exif\0\0" and a TIFF whose first IFD holds one entry (tag, type, count, value).
Bytes exif(bool bigEndian, std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint16_t value,
           std::uint32_t ifdOffset = 8, std::uint16_t entries = 1)
{
    Bytes b{'E', 'x', 'i', 'f', 0, 0};
    const auto u16 = [&](std::uint32_t v) {
        if (bigEndian) b.insert(b.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
        else b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    };
    const auto u32 = [&](std::uint32_t v) {
        if (bigEndian) { u16(v >> 16); u16(v & 0xFFFF); } else { u16(v & 0xFFFF); u16(v >> 16); }
    };
    b.push_back(bigEndian ? 'M' : 'I');
    b.push_back(bigEndian ? 'M' : 'I');
    u16(42);
    u32(ifdOffset);
    u16(entries);
    u16(tag);
    u16(type);
    u32(count);
    u16(value);
    u16(0);
    u32(0);   // no next IFD
    return b;
}

Picture load(const Bytes& bytes, DecodeRequest request = {}) { return loadPictureFromBytes(bytes, request); }

// Where pixel (x, y) of the upright picture comes from in the stored one (w x h).
std::pair<int, int> storedPixel(int orientation, int x, int y, int w, int h)
{
    switch (orientation) {
    case 2: return {w - 1 - x, y};
    case 3: return {w - 1 - x, h - 1 - y};
    case 4: return {x, h - 1 - y};
    case 5: return {y, x};
    case 6: return {y, h - 1 - x};
    case 7: return {w - 1 - y, h - 1 - x};
    case 8: return {w - 1 - y, x};
    default: return {x, y};
    }
}

TEST(ExifOrientation, EveryOrientationIsReadUpright)
{
    TempDir dir;
    const Bytes jpeg = storedJpeg(dir);
    const Picture stored = load(jpeg);
    for (bool bigEndian : {true, false})
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(orientation + (bigEndian ? 0 : 100));
            const Bytes turned = withApp1(jpeg, exif(bigEndian, 0x0112, 3, 1, std::uint16_t(orientation)));
            EXPECT_EQ(jpegExifOrientation(turned), orientation);
            const Picture upright = load(turned);
            const bool swap = orientation >= 5;
            ASSERT_EQ(upright.width(), swap ? 32 : 48);
            ASSERT_EQ(upright.height(), swap ? 48 : 32);
            EXPECT_EQ(upright.sourceWidth(), upright.width());
            const PictureHeader header = readPictureHeader(turned);
            EXPECT_EQ(header.width, upright.width());
            EXPECT_EQ(header.height, upright.height());
            for (int y = 0; y < upright.height(); ++y)
                for (int x = 0; x < upright.width(); ++x) {
                    const auto [sx, sy] = storedPixel(orientation, x, y, 48, 32);
                    ASSERT_EQ(upright.bitmap().pixel(x, y), stored.bitmap().pixel(sx, sy)) << x << "," << y;
                }
        }
}

TEST(ExifOrientation, ScaledDecodeCoversTheRequestUpright)
{
    TempDir dir;
    const Bytes turned = withApp1(storedJpeg(dir), exif(true, 0x0112, 3, 1, 6));
    const Picture half = load(turned, DecodeRequest{16, 24});   // upright 32 x 48 covers it at 1/2
    EXPECT_EQ(half.width(), 16);
    EXPECT_EQ(half.height(), 24);
    EXPECT_EQ(half.sourceWidth(), 32);
    EXPECT_EQ(half.sourceHeight(), 48);
}

TEST(ExifOrientation, HostileOrMalformedSegmentsReadAsNoOrientation)
{
    TempDir dir;
    const Bytes jpeg = storedJpeg(dir);
    const Picture plain = load(jpeg);
    Bytes truncatedTiff = exif(true, 0x0112, 3, 1, 6);
    truncatedTiff.resize(20);
    Bytes badOrder = exif(true, 0x0112, 3, 1, 6);
    badOrder[6] = 'X';
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"IFD offset beyond the segment", withApp1(jpeg, exif(true, 0x0112, 3, 1, 6, 0xFFFFFFF0))},
        {"IFD offset at the segment's end", withApp1(jpeg, exif(false, 0x0112, 3, 1, 6, 26))},
        {"entries beyond the segment", withApp1(jpeg, exif(true, 0x010F, 3, 1, 6, 8, 900))},
        {"entry count beyond the limit", withApp1(jpeg, exif(true, 0x0112, 3, 1, 6, 8, 60000))},
        {"entries cut short", withApp1(jpeg, truncatedTiff)},
        {"orientation 0", withApp1(jpeg, exif(true, 0x0112, 3, 1, 0))},
        {"orientation 9", withApp1(jpeg, exif(true, 0x0112, 3, 1, 9))},
        {"orientation as a LONG", withApp1(jpeg, exif(true, 0x0112, 4, 1, 6))},
        {"two orientation values", withApp1(jpeg, exif(true, 0x0112, 3, 2, 6))},
        {"another tag only", withApp1(jpeg, exif(true, 0x010F, 3, 1, 6))},
        {"neither II nor MM", withApp1(jpeg, badOrder)},
        {"segment length below 2", withApp1(jpeg, exif(true, 0x0112, 3, 1, 6), 1)},
        {"not Exif", withApp1(jpeg, Bytes{'J', 'F', 'I', 'F', 0, 1, 2})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(jpegExifOrientation(c.bytes), 1);
        const Picture picture = load(c.bytes);
        EXPECT_EQ(picture.width(), 48);
        EXPECT_EQ(picture.height(), 32);
        EXPECT_EQ(Bytes(picture.bitmap().bits(), picture.bitmap().bits() + picture.bitmap().byteCount()),
                  Bytes(plain.bitmap().bits(), plain.bitmap().bits() + plain.bitmap().byteCount()));
    }
    // A segment whose length runs past the end of the file, and every prefix of a turned file.
    const Bytes turned = withApp1(jpeg, exif(true, 0x0112, 3, 1, 6));
    EXPECT_EQ(jpegExifOrientation(withApp1(Bytes{0xFF, 0xD8}, exif(true, 0x0112, 3, 1, 6), 60000)), 1);
    for (std::size_t n = 0; n < 60; ++n)
        jpegExifOrientation(std::span(turned).first(n));   // never reads past the bytes it has
}

}  // namespace
}  // namespace vantorell::test
