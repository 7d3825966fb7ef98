// The reader: every field of files built byte by byte or coded by the LZW encoder, what other
// writers produce, and every kind of bad input, each with the exact answer.
#include "gif/GifDocument.h"
#include "platform/RuntimeError.h"
#include "support/GifBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

namespace vantorell {
namespace {

using test::Bytes;
using test::FileBuilder;

bool load(GifDocument& doc, const Bytes& b) { return doc.loadFromStream(b); }

Bytes pixelsOf(const GifDocument& doc, int n)
{
    const Dib& img = doc.frameImage(n);
    Bytes out;
    for (int y = 0; y < img.height(); ++y)
        out.insert(out.end(), img.scanline(y), img.scanline(y) + img.width());
    return out;
}

// A small valid two-frame file: 4 x 3 screen, 4-entry global table, loops 3, a comment, a
// second frame with a sorted 2-entry local table.
Bytes smallFile()
{
    FileBuilder f;
    f.header(4, 3, 2).netscapeLoops(3);
    f.graphicControl(0x0D, 25, 2);   // disposal 3, transparent index 2
    f.image(0, 0, 4, 3, 0, 2, test::literalCodes({0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2}, 2));
    f.raw({0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 0});   // comment
    f.graphicControl(0x04, 50, 9);   // disposal 1, no transparency: index ignored
    f.raw({0x2C}).u16(1).u16(1).u16(2).u16(2).raw({0x80 | 0x20, 0xFF, 0, 0, 0, 0, 0xFF, 2});
    f.raw(test::toSubBlocks(test::literalCodes({1, 0, 0, 1}, 2))).raw({0});
    return f.trailer().bytes;
}

TEST(GifReader, ReadsEveryFieldOfASmallFile)
{
    GifDocument doc;
    ASSERT_TRUE(load(doc, smallFile())) << gifErrorName(doc.lastError());
    EXPECT_EQ(doc.signature(), "GIF");
    EXPECT_EQ(doc.version(), "89a");
    EXPECT_EQ(doc.screenWidth(), 4);
    EXPECT_EQ(doc.screenHeight(), 3);
    EXPECT_TRUE(doc.globalPaletteExists());
    EXPECT_EQ(doc.globalPaletteEntries(), 4);
    EXPECT_EQ(doc.globalPaletteRGBEntry(3), 3 + 256 * 3 + 65536 * 3);
    EXPECT_EQ(doc.animationLoops(), 3);
    ASSERT_EQ(doc.framesCount(), 2);

    EXPECT_EQ(doc.frameDelay(1), 25);
    EXPECT_EQ(doc.frameDisposalMethod(1), 3);
    EXPECT_TRUE(doc.frameUseTransparentColor(1));
    EXPECT_EQ(doc.frameTransparentColorIndex(1), 2);
    EXPECT_EQ(pixelsOf(doc, 1), (Bytes{0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2}));
    EXPECT_FALSE(doc.localPaletteUsed(1));
    EXPECT_EQ(doc.localPaletteEntries(1), 4);
    EXPECT_EQ(doc.localPaletteRGBEntry(1, 2), 2 + 256 * 2 + 65536 * 2) << "copy of the global palette";
    EXPECT_EQ(doc.frameImage(1).colourTable()[2 * 4 + 0], 0) << "transparent entry shown black";
    EXPECT_EQ(doc.frameMask(1).scanline(0)[0], 0x20) << "mask bit of pixel 2";
    EXPECT_EQ(doc.frameMask(1).scanline(2)[0], 0x30);

    EXPECT_EQ(doc.frameDelay(2), 50);
    EXPECT_EQ(doc.frameDisposalMethod(2), 1);
    EXPECT_FALSE(doc.frameUseTransparentColor(2));
    EXPECT_EQ(doc.frameTransparentColorIndex(2), 0) << "index byte ignored without the flag";
    EXPECT_EQ(doc.frameLeft(2), 1);
    EXPECT_EQ(doc.frameTop(2), 1);
    EXPECT_TRUE(doc.localPaletteUsed(2));
    EXPECT_TRUE(doc.localPaletteSorted(2));
    EXPECT_EQ(doc.localPaletteEntries(2), 2);
    EXPECT_EQ(doc.localPaletteRGBEntry(2, 0), 0xFF);
    EXPECT_EQ(doc.localPaletteRGBEntry(2, 1), 0xFF0000);
    EXPECT_EQ(pixelsOf(doc, 2), (Bytes{1, 0, 0, 1}));
    EXPECT_EQ(doc.frameDecodeResult(2), GifError::None);
}

// Four 61 x 47 frames on a 256-entry global table (216 used), coded by the LZW encoder: one of
// noise, one interlaced, one transparent and moved; loops 65535, aspect byte 49.
TEST(GifReader, LoadFromFileReadsAWholeAnimation)
{
    std::mt19937 rng(3);
    const int w = 61, h = 47;
    FileBuilder f;
    f.screen(w, h, 0xF7, 0, 49);
    Bytes table(256 * 3, 0);
    for (int k = 0; k < 216 * 3; ++k)
        table[std::size_t(k)] = std::uint8_t(k * 7);
    f.raw(table).netscapeLoops(65535);
    std::vector<Bytes> pixels;
    for (int i = 1; i <= 4; ++i) {
        Bytes px(std::size_t(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                px[std::size_t(y) * w + std::size_t(x)] = std::uint8_t(i == 2 ? rng() % 216 : (x / 4 + y / 3 + i) % 216);
        f.graphicControl((i % 4) * 4 + (i == 4 ? 1 : 0), unsigned(20 + i), i == 4 ? 5 : 0);
        f.encodedImage(i == 4 ? 3 : 0, 0, w, h, (i == 3 ? 0x40 : 0) | 7, 8, px);
        pixels.push_back(std::move(px));
    }
    f.trailer();

    test::TempDir dir;
    const auto path = dir / "r.gif";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.bytes.data()), std::streamsize(f.bytes.size()));
    GifDocument back;
    ASSERT_TRUE(back.loadFromFile(path)) << gifErrorName(back.lastError());
    ASSERT_EQ(back.framesCount(), 4);
    EXPECT_EQ(back.animationLoops(), 65535);
    EXPECT_EQ(back.screenPixelAspectByte(), 49);
    EXPECT_FLOAT_EQ(back.screenPixelAspectRatio(), 1.0f);
    EXPECT_EQ(back.globalPaletteEntries(), 256) << "the table holds 2^8 entries";
    EXPECT_EQ(back.globalPaletteRGBEntry(1), 3 * 7 + 256 * 4 * 7 + 65536 * 5 * 7);
    EXPECT_EQ(back.globalPaletteRGBEntry(216), 0);
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(back.frameDelay(i), 20 + i);
        EXPECT_EQ(back.frameDisposalMethod(i), i % 4);
        EXPECT_EQ(back.frameInterlaced(i), i == 3);
        EXPECT_EQ(pixelsOf(back, i), pixels[std::size_t(i - 1)]) << "frame " << i;
        EXPECT_EQ(back.frameDecodeResult(i), GifError::None);
    }
    EXPECT_TRUE(back.frameUseTransparentColor(4));
    EXPECT_EQ(back.frameTransparentColorIndex(4), 5);
    EXPECT_EQ(back.frameLeft(4), 3);

    // Numbers outside the frames or the palette are refused.
    auto errorOf = [](auto&& call) {
        try {
            call();
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(errorOf([&] { back.frameDelay(0); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { back.frameImage(5); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { back.globalPaletteRGBEntry(256); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { back.localPaletteRGBEntry(1, -1); }), errnum::SubscriptOutOfRange);
}

// The 63 bytes src/gif/README.md walks through: the encoder's data for the 3 x 2 picture are
// the ones shown there, and the reader gives back every field.
TEST(GifReader, ReadsTheReadmeExample)
{
    const Bytes readme{0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x03, 0x00, 0x02, 0x00, 0x80, 0x00, 0x00,
                       0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x21, 0xFF, 0x0B, 0x4E, 0x45, 0x54, 0x53,
                       0x43, 0x41, 0x50, 0x45, 0x32, 0x2E, 0x30, 0x03, 0x01, 0x00, 0x00, 0x00, 0x21,
                       0xF9, 0x04, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x03,
                       0x00, 0x02, 0x00, 0x00, 0x02, 0x03, 0x44, 0x6C, 0x05, 0x00, 0x3B};
    ASSERT_EQ(readme.size(), 63u);
    FileBuilder f;
    f.screen(3, 2, 0x80, 0, 0).raw({0, 0, 0, 0xFF, 0xFF, 0xFF}).netscapeLoops(0).graphicControl(0, 10, 0);
    f.encodedImage(0, 0, 3, 2, 0, 2, {0, 1, 0, 1, 0, 1}).trailer();
    EXPECT_EQ(f.bytes, readme);

    GifDocument doc;
    ASSERT_TRUE(load(doc, readme)) << gifErrorName(doc.lastError());
    EXPECT_EQ(doc.screenWidth(), 3);
    EXPECT_EQ(doc.screenHeight(), 2);
    EXPECT_EQ(doc.globalPaletteEntries(), 2);
    EXPECT_EQ(doc.globalPaletteRGBEntry(1), 0xFFFFFF);
    EXPECT_EQ(doc.animationLoops(), 0);
    ASSERT_EQ(doc.framesCount(), 1);
    EXPECT_EQ(doc.frameDelay(1), 10);
    EXPECT_FALSE(doc.frameUseTransparentColor(1));
    EXPECT_EQ(pixelsOf(doc, 1), (Bytes{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(doc.frameDecodeResult(1), GifError::None);
}

TEST(GifReader, SignatureAndVersion)
{
    GifDocument doc;
    Bytes b = FileBuilder{}.header(1, 1, 1).image(0, 0, 1, 1, 0, 2, test::literalCodes({1}, 2)).trailer().bytes;
    ASSERT_TRUE(load(doc, b));
    b[3] = '9';
    b[4] = '0';   // "90a"
    EXPECT_FALSE(load(doc, b));
    EXPECT_EQ(doc.lastError(), GifError::BadHeader);
    EXPECT_EQ(doc.framesCount(), 0);
    EXPECT_EQ(doc.screenWidth(), 0);
    Bytes b87 = FileBuilder{}.header(1, 1, 1, "87a").trailer().bytes;
    ASSERT_TRUE(load(doc, b87));
    EXPECT_EQ(doc.version(), "87a");
    EXPECT_FALSE(load(doc, Bytes{'G', 'I'}));
    EXPECT_EQ(doc.lastError(), GifError::BadHeader);
    EXPECT_FALSE(load(doc, Bytes{}));
}

TEST(GifReader, TruncatedAtEveryByte)
{
    GifDocument full;
    const Bytes b = smallFile();
    ASSERT_TRUE(load(full, b));
    for (std::size_t n = 0; n < b.size(); ++n) {
        GifDocument doc;
        const Bytes cut(b.begin(), b.begin() + std::ptrdiff_t(n));
        const bool ok = load(doc, cut);
        if (!ok) {
            EXPECT_TRUE(doc.lastError() == GifError::TruncatedInput || doc.lastError() == GifError::BadHeader)
                << n << ": " << gifErrorName(doc.lastError());
            EXPECT_EQ(doc.framesCount(), 0);
            EXPECT_LE(doc.lastErrorOffset(), n);
            continue;
        }
        // Cut between blocks: what was read is whole and equal to the full file's frames.
        ASSERT_LE(doc.framesCount(), full.framesCount());
        for (int i = 1; i <= doc.framesCount(); ++i)
            EXPECT_EQ(pixelsOf(doc, i), pixelsOf(full, i)) << n;
    }
    // A cut inside the first image's sub-blocks fails; a file without its trailer loads.
    GifDocument doc;
    EXPECT_TRUE(load(doc, Bytes(b.begin(), b.end() - 1)));
    EXPECT_EQ(doc.framesCount(), 2);
}

TEST(GifReader, NoTrailerAndStrayBytes)
{
    GifDocument doc;
    FileBuilder f;
    f.header(2, 1, 1).raw({0x00, 0x99}).image(0, 0, 2, 1, 0, 2, test::literalCodes({1, 0}, 2)).raw({0x00, 0x00});
    ASSERT_TRUE(load(doc, f.bytes));
    EXPECT_EQ(doc.framesCount(), 1);
    EXPECT_EQ(pixelsOf(doc, 1), (Bytes{1, 0}));
}

// The first code of an image's data is not the clear code: read as if it were preceded by one.
TEST(GifReader, FirstCodeNotClear)
{
    test::CodeWriter cw;
    cw.put(1, 3);
    cw.put(3, 3);
    cw.put(5, 3);
    GifDocument doc;
    ASSERT_TRUE(load(doc, FileBuilder{}.header(2, 1, 2).image(0, 0, 2, 1, 0, 2, cw.finish()).trailer().bytes));
    EXPECT_EQ(pixelsOf(doc, 1), (Bytes{1, 3}));
    EXPECT_EQ(doc.frameDecodeResult(1), GifError::None);
}

TEST(GifReader, BadLzwDataEndsOnlyThatImage)
{
    test::CodeWriter bad;
    bad.put(4, 3);
    bad.put(2, 3);
    bad.put(7, 3);   // next free code is 6
    FileBuilder f;
    f.header(3, 1, 2);
    f.image(0, 0, 3, 1, 0, 2, bad.finish());
    f.image(0, 0, 3, 1, 0, 9, Bytes{0xFF, 0xFF});                  // literal width 9
    f.image(0, 0, 3, 1, 0, 2, Bytes{0x0C});                          // clear, 1, then the data end
    f.image(0, 0, 3, 1, 0, 2, test::literalCodes({3, 2, 1}, 2));
    GifDocument doc;
    ASSERT_TRUE(load(doc, f.trailer().bytes));
    ASSERT_EQ(doc.framesCount(), 4);
    EXPECT_EQ(doc.frameDecodeResult(1), GifError::BadLzwCode);
    EXPECT_EQ(pixelsOf(doc, 1), (Bytes{2, 0, 0}));
    EXPECT_EQ(doc.frameDecodeResult(2), GifError::BadLiteralWidth);
    EXPECT_EQ(pixelsOf(doc, 2), (Bytes{0, 0, 0}));
    EXPECT_EQ(doc.frameDecodeResult(3), GifError::LzwDataEnded);
    EXPECT_EQ(pixelsOf(doc, 3), (Bytes{1, 0, 0}));
    EXPECT_EQ(doc.frameDecodeResult(4), GifError::None);
    EXPECT_EQ(pixelsOf(doc, 4), (Bytes{3, 2, 1}));
}

TEST(GifReader, UnsignedSixteenBitFields)
{
    // A 65535 x 65535 screen with one 1 x 1 frame at (65535, 40000), loop count 65535, delay 65535.
    FileBuilder f;
    f.header(65535, 65535, 1).netscapeLoops(65535).graphicControl(0, 65535, 0);
    f.image(65535, 40000, 1, 1, 0, 2, test::literalCodes({1}, 2)).trailer();
    GifDocument doc;
    ASSERT_TRUE(load(doc, f.bytes)) << gifErrorName(doc.lastError());
    EXPECT_EQ(doc.screenWidth(), 65535);
    EXPECT_EQ(doc.screenHeight(), 65535);
    EXPECT_EQ(doc.animationLoops(), 65535);
    EXPECT_EQ(doc.frameDelay(1), 65535);
    EXPECT_EQ(doc.frameLeft(1), 65535) << "outside the screen: kept as read";
    EXPECT_EQ(doc.frameTop(1), 40000);
    EXPECT_EQ(pixelsOf(doc, 1), (Bytes{1}));
}

TEST(GifReader, ZeroSizedFramesAreKeptEmpty)
{
    FileBuilder f;
    f.header(4, 4, 1);
    f.graphicControl(0, 7, 0).image(0, 0, 0, 3, 0, 2, test::literalCodes({1, 1}, 2));
    f.image(0, 0, 2, 0, 0, 2, Bytes{});
    f.image(0, 0, 1, 1, 0, 2, test::literalCodes({1}, 2)).trailer();
    GifDocument doc;
    ASSERT_TRUE(load(doc, f.bytes));
    ASSERT_EQ(doc.framesCount(), 3);
    EXPECT_TRUE(doc.frameImage(1).empty());
    EXPECT_EQ(doc.frameDelay(1), 7);
    EXPECT_TRUE(doc.frameImage(2).empty());
    EXPECT_EQ(pixelsOf(doc, 3), (Bytes{1}));
}

TEST(GifReader, SubBlocksRunningPastTheEnd)
{
    FileBuilder f;
    f.header(2, 1, 1).raw({0x2C}).u16(0).u16(0).u16(2).u16(1).raw({0, 2, 200, 1, 2, 3});
    GifDocument doc;
    EXPECT_FALSE(load(doc, f.bytes));
    EXPECT_EQ(doc.lastError(), GifError::TruncatedInput);
    EXPECT_EQ(doc.lastErrorOffset(), f.bytes.size());
    EXPECT_EQ(doc.framesCount(), 0);

    FileBuilder ext;
    ext.header(2, 1, 1).raw({0x21, 0xFE, 10, 'a'});
    EXPECT_FALSE(load(doc, ext.bytes));
    EXPECT_EQ(doc.lastError(), GifError::TruncatedInput);

    FileBuilder app;
    app.header(2, 1, 1).raw({0x21, 0xFF, 11, 'N', 'E', 'T'});
    EXPECT_FALSE(load(doc, app.bytes));
    EXPECT_EQ(doc.lastError(), GifError::TruncatedInput);
}

TEST(GifReader, PaletteFlagsFor256EntriesInATinyFile)
{
    {   // a local table of 768 bytes declared 24 bytes into the file (the smallest file with
        // a whole image descriptor is 23 bytes)
        FileBuilder f;
        f.header(1, 1, 0).raw({0x2C}).u16(0).u16(0).u16(1).u16(1).raw({0x87, 0});
        ASSERT_EQ(f.bytes.size(), 24u);
        GifDocument doc;
        EXPECT_FALSE(load(doc, f.bytes));
        EXPECT_EQ(doc.lastError(), GifError::TruncatedInput);
        EXPECT_EQ(doc.framesCount(), 0);
    }
    {   // a 20-byte file whose screen descriptor declares a 256-entry global table
        FileBuilder f;
        f.header(1, 1, 0).raw({1, 2, 3, 4, 5, 6, 7});
        f.bytes[10] = 0x87;
        ASSERT_EQ(f.bytes.size(), 20u);
        GifDocument doc;
        EXPECT_FALSE(load(doc, f.bytes));
        EXPECT_EQ(doc.lastError(), GifError::TruncatedInput);
    }
}

TEST(GifReader, LimitsOnFramesAndPixels)
{
    {   // a frame side above 32767
        FileBuilder f;
        f.header(1, 1, 1).image(0, 0, 40000, 1, 0, 2, test::literalCodes({1}, 2)).trailer();
        GifDocument doc;
        EXPECT_FALSE(load(doc, f.bytes));
        EXPECT_EQ(doc.lastError(), GifError::FrameTooLarge);
    }
    {   // a frame over the per-frame pixel budget, and frames over the total budget
        FileBuilder f;
        f.header(1, 1, 1).image(0, 0, 300, 300, 0, 2, test::literalCodes({1}, 2)).trailer();
        GifDocument doc;
        DecodeLimits limits;
        limits.maxFramePixels = 300 * 299;
        doc.setDecodeLimits(limits);
        EXPECT_FALSE(load(doc, f.bytes));
        EXPECT_EQ(doc.lastError(), GifError::OverLimit);

        FileBuilder many;
        many.header(1, 1, 1);
        for (int i = 0; i < 5; ++i)
            many.image(0, 0, 10, 10, 0, 2, test::literalCodes({1}, 2));
        limits = DecodeLimits{};
        limits.maxTotalPixels = 450;
        doc.setDecodeLimits(limits);
        EXPECT_FALSE(load(doc, many.bytes));
        EXPECT_EQ(doc.lastError(), GifError::OverLimit);
        limits.maxTotalPixels = 500;
        doc.setDecodeLimits(limits);
        EXPECT_TRUE(load(doc, many.bytes));
        limits.maxFrames = 4;
        doc.setDecodeLimits(limits);
        EXPECT_FALSE(load(doc, many.bytes));
        EXPECT_EQ(doc.lastError(), GifError::OverLimit);
    }
    {   // the default frame limit: 32767, the range of FramesCount
        EXPECT_EQ(DecodeLimits{}.maxFrames, 32767);
        FileBuilder f;
        f.header(1, 1, 1);
        // Zero-sized images: the count is what is tested, not the pixels.
        const Bytes tiny = FileBuilder{}.image(0, 0, 0, 1, 0, 2, Bytes{}).bytes;
        for (int i = 0; i < 32768; ++i)
            f.raw(tiny);
        GifDocument doc;
        EXPECT_FALSE(load(doc, f.bytes));
        EXPECT_EQ(doc.lastError(), GifError::OverLimit);
        f.bytes.resize(f.bytes.size() - tiny.size());
        EXPECT_TRUE(load(doc, f.bytes));
        EXPECT_EQ(doc.framesCount(), 32767);
    }
}

TEST(GifReader, LoopExtensionTooShortFails)
{
    FileBuilder f;
    f.header(1, 1, 1).raw({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").raw({1, 1, 0}).trailer();
    GifDocument doc;
    EXPECT_FALSE(load(doc, f.bytes));
    EXPECT_EQ(doc.lastError(), GifError::BadExtension);
    // Another application's extension is skipped whatever it holds.
    FileBuilder other;
    other.header(1, 1, 1).raw({0x21, 0xFF, 0x0B}).text("XMP DataXMP").raw({1, 7, 0}).trailer();
    EXPECT_TRUE(load(doc, other.bytes));
    EXPECT_EQ(doc.animationLoops(), 0);
}

TEST(GifReader, InterlacedHeight3RowsGo0Then2Then1)
{
    // Stored rows in file order: 0, 2, 1.
    FileBuilder f;
    f.header(2, 3, 2).image(0, 0, 2, 3, 0x40, 2, test::literalCodes({1, 1, 3, 3, 2, 2}, 2)).trailer();
    GifDocument doc;
    ASSERT_TRUE(load(doc, f.bytes));
    EXPECT_TRUE(doc.frameInterlaced(1));
    EXPECT_EQ(pixelsOf(doc, 1), (Bytes{1, 1, 2, 2, 3, 3}));
}

TEST(GifReader, LoadFromFileEmptiesOnFailure)
{
    test::TempDir dir;
    GifDocument doc;
    ASSERT_TRUE(load(doc, smallFile()));
    EXPECT_FALSE(doc.loadFromFile(dir / "missing.gif"));
    EXPECT_EQ(doc.lastError(), GifError::NoFile);
    EXPECT_EQ(doc.framesCount(), 0);
    { std::ofstream(dir / "empty.gif"); }
    EXPECT_FALSE(doc.loadFromFile(dir / "empty.gif"));
    EXPECT_EQ(doc.lastError(), GifError::NoFile);
    {
        std::ofstream out(dir / "bad.gif", std::ios::binary);
        out << "GIF89a\x01";
    }
    EXPECT_FALSE(doc.loadFromFile(dir / "bad.gif"));
    EXPECT_EQ(doc.lastError(), GifError::TruncatedInput);
}

}  // namespace
}  // namespace vantorell
