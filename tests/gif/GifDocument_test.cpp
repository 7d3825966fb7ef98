// GifDocument: the document's operations and properties, and the exact bytes Save writes.
#include "gif/GifDocument.h"
#include "platform/RuntimeError.h"
#include "support/FakeUi.h"
#include "support/GifBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace vantorell {
namespace {

using test::Bytes;

Bytes readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes saveBytes(GifDocument& doc)
{
    test::TempDir dir;
    const auto path = dir / "out.gif";
    EXPECT_TRUE(doc.save(path));
    return readAll(path);
}

// A 216-entry halftone-like palette, entry i = (i, 2i, 3i) as red, green, blue.
void setGlobal216(GifDocument& doc)
{
    doc.setGlobalPaletteExists(true);
    doc.setGlobalPaletteEntries(216);
    for (int i = 0; i < 216; ++i) {
        doc.globalPaletteData()[i * 4 + 0] = std::uint8_t(3 * i);   // blue
        doc.globalPaletteData()[i * 4 + 1] = std::uint8_t(2 * i);   // green
        doc.globalPaletteData()[i * 4 + 2] = std::uint8_t(i);       // red
    }
}

// The document the fade job saves: N frames of W x H on the global halftone palette,
// disposal 3, aspect 1.0, loop for ever.
void makeFadeDocument(GifDocument& doc, int n, int w, int h, int delay)
{
    for (int i = 1; i <= n; ++i) {
        doc.frameInsert(i, w, h);
        Dib& img = doc.frameImage(i);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                img.scanline(y)[x] = std::uint8_t((x * 7 + y * 3 + i * 11) % 216);
        doc.setFrameDisposalMethod(i, 3);
        doc.setFrameDelay(i, delay);
    }
    doc.setScreenPixelAspectRatio(1.0f);
    setGlobal216(doc);
}

// Skips a sub-block chain starting at `pos`; answers the offset after its zero byte.
std::size_t skipChain(const Bytes& b, std::size_t pos)
{
    while (pos < b.size() && b[pos] != 0)
        pos += std::size_t(b[pos]) + 1;
    return pos + 1;
}

Bytes slice(const Bytes& b, std::size_t pos, std::size_t n) { return Bytes(b.begin() + std::ptrdiff_t(pos), b.begin() + std::ptrdiff_t(pos + n)); }

TEST(GifDocumentSave, FadeOutputLayout)
{
    const int w = 37, h = 23, n = 3;
    GifDocument doc;
    makeFadeDocument(doc, n, w, h, 20);
    const Bytes b = saveBytes(doc);

    EXPECT_EQ(slice(b, 0, 13), (Bytes{'G', 'I', 'F', '8', '9', 'a', w, 0, h, 0, 0xF7, 0x00, 0x31}));
    const Bytes table = slice(b, 13, 768);
    EXPECT_EQ(table[0 * 3 + 0], 0);
    EXPECT_EQ(table[5 * 3 + 0], 5);     // red of entry 5
    EXPECT_EQ(table[5 * 3 + 1], 10);    // green
    EXPECT_EQ(table[5 * 3 + 2], 15);    // blue
    EXPECT_EQ(slice(b, 13 + 648, 120), Bytes(120, 0)) << "entries 216..255 are zero";
    std::size_t pos = 13 + 768;
    Bytes loop{0x21, 0xFF, 0x0B};
    for (char c : std::string("NETSCAPE2.0"))
        loop.push_back(std::uint8_t(c));
    loop.insert(loop.end(), {0x03, 0x01, 0x00, 0x00, 0x00});
    EXPECT_EQ(slice(b, pos, 19), loop);
    pos += 19;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(slice(b, pos, 20), (Bytes{0x21, 0xF9, 0x04, 0x0C, 20, 0, 0, 0, 0x2C, 0, 0, 0, 0, w, 0, h, 0, 0x07, 0x08,
                                            slice(b, pos + 19, 1)[0]}))
            << "frame " << i + 1;
        EXPECT_GT(b[pos + 19], 0) << "a first sub-block";
        pos = skipChain(b, pos + 19);
    }
    ASSERT_EQ(pos + 1, b.size());
    EXPECT_EQ(b.back(), 0x3B);
}

// The walk-through in src/gif/README.md.
TEST(GifDocumentSave, ReadmeExampleBytes)
{
    GifDocument doc;
    doc.frameInsert(1, 3, 2);
    const std::uint8_t px[2][3] = {{0, 1, 0}, {1, 0, 1}};
    for (int y = 0; y < 2; ++y)
        std::memcpy(doc.frameImage(1).scanline(y), px[y], 3);
    doc.setFrameDelay(1, 10);
    doc.setGlobalPaletteExists(true);
    doc.setGlobalPaletteEntries(2);
    std::memset(doc.globalPaletteData() + 4, 0xFF, 3);
    const Bytes expect{0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x03, 0x00, 0x02, 0x00, 0x80, 0x00, 0x00,
                       0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
                       0x21, 0xFF, 0x0B, 0x4E, 0x45, 0x54, 0x53, 0x43, 0x41, 0x50, 0x45, 0x32, 0x2E, 0x30,
                       0x03, 0x01, 0x00, 0x00, 0x00,
                       0x21, 0xF9, 0x04, 0x00, 0x0A, 0x00, 0x00, 0x00,
                       0x2C, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00,
                       0x02, 0x03, 0x44, 0x6C, 0x05, 0x00, 0x3B};
    ASSERT_EQ(expect.size(), 63u);
    EXPECT_EQ(saveBytes(doc), expect);
}

TEST(GifDocumentSave, GlobalTableSizesFollowTheEntryCount)
{
    {   // 2 entries: gBits 1, 6-byte table, minimum code size 2
        GifDocument doc;
        doc.frameInsert(1, 4, 1);
        doc.setGlobalPaletteExists(true);
        doc.setGlobalPaletteEntries(2);
        doc.globalPaletteData()[4 + 2] = 0xFF;   // entry 1 red
        const Bytes b = saveBytes(doc);
        EXPECT_EQ(b[10], 0x80);                 // 0x80 + 0 * 16 + 0
        EXPECT_EQ(slice(b, 13, 6), (Bytes{0, 0, 0, 0xFF, 0, 0}));
        const std::size_t image = 13 + 6 + 19 + 8;
        EXPECT_EQ(b[image], 0x2C);
        EXPECT_EQ(b[image + 9], 0x00) << "image flags: gBits - 1";
        EXPECT_EQ(b[image + 10], 2) << "minimum code size raised to 2";
    }
    {   // 3 entries: gBits 2, 12-byte table with the last entry zero
        GifDocument doc;
        doc.frameInsert(1, 4, 1);
        doc.setGlobalPaletteExists(true);
        doc.setGlobalPaletteSorted(true);
        doc.setGlobalPaletteEntries(3);
        for (int i = 0; i < 3 * 4; ++i)
            doc.globalPaletteData()[i] = 0x11;
        doc.globalPaletteData()[3 * 4] = 0x22;   // entry 3 is not written
        const Bytes b = saveBytes(doc);
        EXPECT_EQ(b[10], 0x80 + 16 + 8 + 1);
        EXPECT_EQ(slice(b, 13, 12), (Bytes{0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0, 0, 0}));
        EXPECT_EQ(b[13 + 12 + 19 + 8 + 10], 2);
    }
    {   // 129 entries: gBits 8
        GifDocument doc;
        doc.frameInsert(1, 1, 1);
        doc.setGlobalPaletteExists(true);
        doc.setGlobalPaletteEntries(129);
        const Bytes b = saveBytes(doc);
        EXPECT_EQ(b[10], 0xF7);
        EXPECT_EQ(b[13 + 768 + 19 + 8 + 10], 8);
    }
}

TEST(GifDocumentSave, TransparentFlagAndIndex)
{
    GifDocument doc;
    makeFadeDocument(doc, 2, 3, 3, 7);
    doc.setFrameDisposalMethod(1, 0);
    doc.setFrameDisposalMethod(2, 0);
    doc.setFrameUseTransparentColor(1, true);
    doc.setFrameTransparentColorIndex(1, 7);
    doc.setFrameTransparentColorIndex(2, 9);   // not in force: written as 0
    doc.setFrameUserInput(2, true);
    const Bytes b = saveBytes(doc);
    std::size_t pos = 13 + 768 + 19;
    EXPECT_EQ(slice(b, pos, 8), (Bytes{0x21, 0xF9, 0x04, 0x01, 7, 0, 7, 0}));
    pos = skipChain(b, pos + 19);
    EXPECT_EQ(slice(b, pos, 8), (Bytes{0x21, 0xF9, 0x04, 0x02, 7, 0, 0, 0}));
}

TEST(GifDocumentSave, LocalTableInterlaceAndPosition)
{
    GifDocument doc;
    doc.frameInsert(1, 2, 2);
    doc.setGlobalPaletteExists(false);
    doc.setLocalPaletteUsed(1, true);
    doc.setLocalPaletteSorted(1, true);
    doc.setLocalPaletteEntries(1, 5);
    doc.localPaletteData(1)[4 * 4 + 0] = 0x33;   // entry 4 blue
    doc.setFrameInterlaced(1, true);
    doc.setFrameLeft(1, 40000);
    doc.setFrameTop(1, 2);
    const Bytes b = saveBytes(doc);
    EXPECT_EQ(b[10], 0x00) << "no global table";
    const std::size_t image = 13 + 19 + 8;
    EXPECT_EQ(slice(b, image, 10), (Bytes{0x2C, 0x40, 0x9C, 2, 0, 2, 0, 2, 0, 0x80 + 0x40 + 0x20 + 2}));
    const Bytes table = slice(b, image + 10, 24);
    EXPECT_EQ(table[4 * 3 + 2], 0x33);
    EXPECT_EQ(slice(table, 15, 9), Bytes(9, 0));
    EXPECT_EQ(b[image + 10 + 24], 3);
}

TEST(GifDocumentSave, EmptyDocumentIs87aWithoutLoopExtension)
{
    GifDocument doc;
    makeFadeDocument(doc, 2, 5, 5, 10);
    doc.destroy();
    EXPECT_TRUE(doc.globalPaletteExists()) << "Destroy keeps the flag";
    EXPECT_EQ(doc.globalPaletteEntries(), 0);
    const Bytes b = saveBytes(doc);
    // Header, zeroed screen descriptor, a 2-entry table of zeros (entries 0 -> gBits 1), trailer.
    Bytes expect{'G', 'I', 'F', '8', '7', 'a', 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0x3B};
    EXPECT_EQ(b, expect);

    GifDocument bare;
    EXPECT_EQ(saveBytes(bare), (Bytes{'G', 'I', 'F', '8', '7', 'a', 0, 0, 0, 0, 0, 0, 0, 0x3B}));
}

TEST(GifDocumentSave, ReportsEachFrameAndStopsWhenAsked)
{
    GifDocument doc;
    makeFadeDocument(doc, 4, 8, 8, 20);
    test::TempDir dir;
    std::vector<std::int64_t> reported;
    ASSERT_TRUE(doc.save(dir / "a.gif", [&](std::int64_t done, std::int64_t total) {
        EXPECT_EQ(total, 4);
        reported.push_back(done);
        return true;
    }));
    EXPECT_EQ(reported, (std::vector<std::int64_t>{1, 2, 3, 4}));
    EXPECT_FALSE(doc.save(dir / "b.gif", [](std::int64_t done, std::int64_t) { return done < 3; }));
    EXPECT_FALSE(std::filesystem::exists(dir / "b.gif"));
}

TEST(GifDocumentSave, FailuresAnswerFalseAndLeaveNoFile)
{
    test::TempDir dir;
    {   // a frame without a local palette in a document without a global one
        GifDocument doc;
        doc.frameInsert(1, 4, 4);
        doc.frameInsert(2, 4, 4);
        doc.setLocalPaletteUsed(1, true);
        doc.setLocalPaletteEntries(1, 4);
        const auto path = dir / "nopalette.gif";
        { std::ofstream(path) << "old result"; }
        EXPECT_FALSE(doc.save(path));
        EXPECT_FALSE(std::filesystem::exists(path)) << "partial file removed (the old one was replaced)";
    }
    {   // a pixel index the code size cannot hold: the data would not decode
        GifDocument doc;
        doc.frameInsert(1, 4, 1);
        doc.setGlobalPaletteExists(true);
        doc.setGlobalPaletteEntries(4);
        doc.frameImage(1).scanline(0)[2] = 9;
        EXPECT_FALSE(doc.save(dir / "index.gif"));
        EXPECT_FALSE(std::filesystem::exists(dir / "index.gif"));
    }
    {   // a folder that does not exist, and a path that is a folder (never removed)
        GifDocument doc;
        makeFadeDocument(doc, 1, 2, 2, 0);
        EXPECT_FALSE(doc.save(dir / "missing" / "x.gif"));
        std::filesystem::create_directory(dir / "folder.gif");
        EXPECT_FALSE(doc.save(dir / "folder.gif"));
        EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.gif"));
    }
    {   // a run-time error raised by the progress report
        GifDocument doc;
        makeFadeDocument(doc, 2, 2, 2, 0);
        EXPECT_FALSE(doc.save(dir / "thrown.gif", [](std::int64_t, std::int64_t) -> bool {
            throw RuntimeError(errnum::OutOfMemory, "Out of memory");
        }));
        EXPECT_FALSE(std::filesystem::exists(dir / "thrown.gif"));
    }
    {   // a surface of another depth gives no data sub-blocks at all
        GifDocument doc;
        makeFadeDocument(doc, 1, 2, 2, 0);
        ASSERT_TRUE(doc.frameImage(1).create(2, 2, 24));
        const Bytes b = saveBytes(doc);
        const std::size_t codeSize = 13 + 768 + 19 + 8 + 10;
        EXPECT_EQ(slice(b, codeSize, 3), (Bytes{8, 0x00, 0x3B}));
    }
}

TEST(GifDocumentFrames, InsertRemoveAndMove)
{
    GifDocument doc;
    for (int i = 1; i <= 3; ++i) {
        doc.frameInsert(i, 2, 2);
        doc.setFrameDelay(i, i * 10);   // a tag per frame
    }
    EXPECT_EQ(doc.screenWidth(), 2) << "the first frame sets the screen";
    doc.frameInsert(1, 5, 4);
    ASSERT_EQ(doc.framesCount(), 4);
    EXPECT_EQ(doc.frameDelay(1), 0);
    EXPECT_EQ(doc.frameImage(1).width(), 5);
    EXPECT_EQ(doc.frameMask(1).BPP(), 1);
    EXPECT_EQ(doc.frameMask(1).colourTable(), (std::vector<std::uint8_t>{0, 0, 0, 0, 255, 255, 255, 0}));
    EXPECT_EQ(doc.frameDelay(2), 10);
    EXPECT_EQ(doc.frameDelay(3), 20);
    EXPECT_EQ(doc.frameDelay(4), 30);
    EXPECT_EQ(doc.screenWidth(), 2) << "only the first frame sets the screen";
    doc.frameInsert(99, 1, 1);
    EXPECT_EQ(doc.framesCount(), 5);

    GifDocument three;
    for (int i = 1; i <= 3; ++i) {
        three.frameInsert(i, 1, 1);
        three.setFrameDelay(i, i);
    }
    three.frameRemove(2);
    ASSERT_EQ(three.framesCount(), 2);
    EXPECT_EQ(three.frameDelay(1), 1);
    EXPECT_EQ(three.frameDelay(2), 3);
    three.frameMoveUp(2);
    EXPECT_EQ(three.frameDelay(1), 3);
    three.frameMoveDown(1);
    EXPECT_EQ(three.frameDelay(1), 1);

    auto subscript = [](auto&& f) {
        try {
            f();
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(subscript([&] { three.frameDelay(0); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(subscript([&] { three.frameDelay(3); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(subscript([&] { three.frameMoveUp(1); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(subscript([&] { three.frameMoveDown(2); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(subscript([&] { three.frameRemove(5); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(subscript([&] { three.frameInsert(0, 1, 1); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(subscript([&] { three.frameInsert(1, 40000, 1); }), errnum::Overflow);
    EXPECT_EQ(subscript([&] { three.setFrameDelay(1, 65536); }), errnum::Overflow);
    EXPECT_EQ(subscript([&] { three.setFrameDisposalMethod(1, 8); }), errnum::Overflow);
    EXPECT_EQ(subscript([&] { three.setFrameTransparentColorIndex(1, 256); }), errnum::Overflow);
    EXPECT_EQ(subscript([&] { three.setGlobalPaletteEntries(257); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(subscript([&] { three.globalPaletteRGBEntry(256); }), errnum::SubscriptOutOfRange);
    EXPECT_EQ(three.framesCount(), 2) << "failed calls change nothing";

    three.frameRemove(1);
    three.frameRemove(1);
    EXPECT_EQ(three.framesCount(), 0);
}

TEST(GifDocumentFrames, AtMost32767Frames)
{
    GifDocument doc;
    for (int i = 1; i <= 32767; ++i)
        doc.frameInsert(i, 0, 0);   // empty surfaces: nothing to allocate
    EXPECT_EQ(doc.framesCount(), 32767);
    EXPECT_TRUE(doc.frameImage(1).empty());
    try {
        doc.frameInsert(1, 1, 1);
        ADD_FAILURE() << "no error for frame 32768";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), errnum::Overflow);
    }
    EXPECT_EQ(doc.framesCount(), 32767);
}

TEST(GifDocumentProperties, AspectPaletteEntriesAndLoops)
{
    GifDocument doc;
    doc.setScreenPixelAspectRatio(1.0f);
    EXPECT_EQ(doc.screenPixelAspectByte(), 49);
    EXPECT_FLOAT_EQ(doc.screenPixelAspectRatio(), 1.0f);
    doc.setScreenPixelAspectRatio((15.5f + 15.0f) / 64.0f);   // 15.5 rounds to the even 16
    EXPECT_EQ(doc.screenPixelAspectByte(), 16);
    EXPECT_THROW(doc.setScreenPixelAspectRatio(5.0f), RuntimeError);

    doc.globalPaletteData()[4 * 3 + 0] = 0x30;   // entry 3: blue
    doc.globalPaletteData()[4 * 3 + 1] = 0x20;   // green
    doc.globalPaletteData()[4 * 3 + 2] = 0x10;   // red
    EXPECT_EQ(doc.globalPaletteRGBEntry(3), 0x10 + 256 * 0x20 + 65536 * 0x30);

    doc.setAnimationLoops(65535);
    EXPECT_EQ(doc.animationLoops(), 65535);
    EXPECT_THROW(doc.setAnimationLoops(65536), RuntimeError);
    doc.setScreenWidth(40000);
    EXPECT_EQ(doc.screenWidth(), 40000);

    doc.setGlobalPaletteEntries(7);   // the count only: bytes untouched
    EXPECT_EQ(doc.globalPaletteData()[12], 0x30);
}

TEST(GifDocumentFrames, MaskMarksTheTransparentIndex)
{
    GifDocument doc;
    doc.frameInsert(1, 10, 2);
    for (int i = 0; i < 256; ++i)
        doc.localPaletteData(1)[i * 4 + 2] = std::uint8_t(i);   // red = index
    Dib& img = doc.frameImage(1);
    for (int x = 0; x < 10; ++x)
        img.scanline(0)[x] = std::uint8_t(x % 3 == 0 ? 7 : 1);
    img.scanline(1)[9] = 7;
    doc.setFrameUseTransparentColor(1, true);
    doc.frameBuildMask(1, 7);
    const Dib& mask = doc.frameMask(1);
    // Pixels 0, 3, 6, 9 of row 0: bits 0x80, 0x10, 0x02 of byte 0 and 0x40 of byte 1.
    EXPECT_EQ(mask.scanline(0)[0], 0x92);
    EXPECT_EQ(mask.scanline(0)[1], 0x40);
    EXPECT_EQ(mask.scanline(1)[0], 0x00);
    EXPECT_EQ(mask.scanline(1)[1], 0x40);
    EXPECT_EQ(img.colourTable()[7 * 4 + 2], 0) << "transparent entry shown black";
    EXPECT_EQ(img.colourTable()[1 * 4 + 2], 1);

    doc.setFrameUseTransparentColor(1, false);
    doc.frameBuildMask(1, 7);
    EXPECT_EQ(mask.scanline(0)[0], 0);
    EXPECT_EQ(img.colourTable()[7 * 4 + 2], 7);
}

TEST(GifDocumentFrames, DrawPlacesScalesAndMasks)
{
    GifDocument doc;
    doc.frameInsert(1, 4, 2);
    doc.setScreenWidth(6);
    doc.setScreenHeight(6);
    doc.setFrameLeft(1, 4);
    doc.setFrameTop(1, 1);
    std::uint8_t* pal = doc.localPaletteData(1);
    pal[1 * 4 + 2] = 255;   // index 1: red
    pal[2 * 4 + 1] = 255;   // index 2: green
    Dib& img = doc.frameImage(1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            img.scanline(y)[x] = std::uint8_t(x == 0 ? 2 : 1);
    doc.setFrameUseTransparentColor(1, true);
    doc.frameBuildMask(1, 1);

    Bitmap canvas(10, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            canvas.setPixel(x, y, 0x00FF0000);   // blue background
    doc.frameDraw(DibDC::ofBitmap(canvas), 1, 1, 0, 1.0f, FrameClip::Screen);
    // Placed at (1 + 4, 0 + 1); FrameClip::Screen keeps 6 - 4 = 2 columns; index 1 is transparent.
    EXPECT_EQ(canvas.pixel(5, 1), 0x0000FF00);
    EXPECT_EQ(canvas.pixel(6, 1), 0x00FF0000);
    EXPECT_EQ(canvas.pixel(7, 1), 0x00FF0000) << "cropped";
    EXPECT_EQ(canvas.pixel(5, 3), 0x00FF0000);

    Bitmap scaled(20, 20);
    doc.setFrameUseTransparentColor(1, false);
    doc.frameBuildMask(1, 1);
    doc.frameDraw(DibDC::ofBitmap(scaled), 1, 0, 0, 2.0f, FrameClip::None);
    EXPECT_EQ(scaled.pixel(8, 2), 0x0000FF00);
    EXPECT_EQ(scaled.pixel(9, 3), 0x0000FF00);
    EXPECT_EQ(scaled.pixel(10, 2), 0x000000FF);
    EXPECT_EQ(scaled.pixel(15, 5), 0x000000FF);
    EXPECT_EQ(scaled.pixel(16, 6), 0);

    Bitmap untouched(4, 4);
    doc.setFrameLeft(1, 50);   // wholly off the screen: nothing drawn
    doc.frameDraw(DibDC::ofBitmap(untouched), 1, -50, 0, 1.0f, FrameClip::Screen);
    EXPECT_EQ(untouched.pixel(0, 1), 0);
}

}  // namespace
}  // namespace vantorell
