// GIF interoperability with real peers: what GifDocument writes, giflib (DGifSlurp) and FFmpeg decode
// to exactly our palette indices; what giflib (EGifPutLine) and ImageMagick write, our reader
// loads with the same pixels that giflib reads from those files.
#include "gif/GifDocument.h"
#include "support/FakeUi.h"
#include "support/GifBytes.h"
#include "support/TempDir.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>

namespace vantorell {
namespace {

using test::Bytes;

// ---- Helpers ------------------------------------------------------------------------------------

struct PeerFrame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int delay = 0, disposal = 0, transparent = -1;
    Bytes pixels;   // top-down rows, as the picture is shown
};

struct PeerGif {
    int width = 0, height = 0;
    int loops = -1;   // -1: no NETSCAPE2.0 block
    std::vector<PeerFrame> frames;
};

// Reads a GIF with giflib's DGifSlurp (which puts interlaced rows in their places).
bool readWithGiflib(const std::filesystem::path& path, PeerGif& out)
{
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif)
        return false;
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return false;
    }
    out.width = gif->SWidth;
    out.height = gif->SHeight;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& img = gif->SavedImages[i];
        PeerFrame f;
        f.left = img.ImageDesc.Left;
        f.top = img.ImageDesc.Top;
        f.width = img.ImageDesc.Width;
        f.height = img.ImageDesc.Height;
        f.interlaced = img.ImageDesc.Interlace;
        f.pixels.assign(img.RasterBits, img.RasterBits + std::size_t(f.width) * std::size_t(f.height));
        GraphicsControlBlock gcb;
        if (DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK) {
            f.delay = gcb.DelayTime;
            f.disposal = gcb.DisposalMode;
            f.transparent = gcb.TransparentColor;
        }
        for (int k = 0; k + 1 < img.ExtensionBlockCount; ++k) {
            const ExtensionBlock& b = img.ExtensionBlocks[k];
            if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
                std::memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0 && img.ExtensionBlocks[k + 1].ByteCount >= 3)
                out.loops = img.ExtensionBlocks[k + 1].Bytes[1] | (img.ExtensionBlocks[k + 1].Bytes[2] << 8);
        }
        out.frames.push_back(std::move(f));
    }
    DGifCloseFile(gif, &error);
    return true;
}

Bytes pixelsOf(const GifDocument& doc, int n)
{
    const Dib& img = doc.frameImage(n);
    Bytes out;
    for (int y = 0; y < img.height(); ++y)
        out.insert(out.end(), img.scanline(y), img.scanline(y) + img.width());
    return out;
}

// Distinct colours for up to 256 indices, so RGB output maps back to one index.
std::uint32_t colourOf(int i) { return std::uint32_t(i * 37 % 256) | std::uint32_t(i) << 8 | std::uint32_t(255 - i) << 16; }

void setGlobalPalette(GifDocument& doc, int entries)
{
    doc.setGlobalPaletteExists(true);
    doc.setGlobalPaletteEntries(entries);
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t rgb = colourOf(i);
        doc.globalPaletteData()[i * 4 + 0] = std::uint8_t(rgb >> 16);   // blue
        doc.globalPaletteData()[i * 4 + 1] = std::uint8_t(rgb >> 8);    // green
        doc.globalPaletteData()[i * 4 + 2] = std::uint8_t(rgb);         // red
    }
}

// Documents that exercise the writer: the fade layout, noise that clears the table,
// interlacing, two-colour and 16-colour code sizes, local palettes, one pixel.
std::vector<std::pair<std::string, std::function<void(GifDocument&)>>> writerCases()
{
    auto fill = [](GifDocument& doc, int n, auto&& value) {
        Dib& img = doc.frameImage(n);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                img.scanline(y)[x] = std::uint8_t(value(x, y));
    };
    return {
        {"fade", [fill](GifDocument& doc) {
             for (int i = 1; i <= 5; ++i) {
                 doc.frameInsert(i, 97, 61);
                 fill(doc, i, [i](int x, int y) { return (x * 3 + y * 5 + i * 40) % 216; });
                 doc.setFrameDisposalMethod(i, 3);
                 doc.setFrameDelay(i, 20);
             }
             doc.setScreenPixelAspectRatio(1.0f);
             setGlobalPalette(doc, 216);
         }},
        {"noise-clears-table", [fill](GifDocument& doc) {
             std::mt19937 rng(17);
             doc.frameInsert(1, 300, 200);
             fill(doc, 1, [&](int, int) { return int(rng() % 256); });
             doc.frameInsert(2, 300, 200);
             fill(doc, 2, [&](int x, int y) { return (x / 7 + y / 5) % 256; });
             doc.setAnimationLoops(7);
             setGlobalPalette(doc, 256);
         }},
        {"interlaced", [fill](GifDocument& doc) {
             for (int i = 1; i <= 3; ++i) {
                 doc.frameInsert(i, 33, 10 + i * 3);
                 fill(doc, i, [](int x, int y) { return (x + 11 * y) % 200; });
                 doc.setFrameInterlaced(i, true);
                 doc.setFrameDelay(i, 65535);
             }
             doc.setScreenHeight(19);
             doc.setAnimationLoops(65535);
             setGlobalPalette(doc, 200);
         }},
        {"two-and-sixteen-colours-local", [fill](GifDocument& doc) {
             doc.frameInsert(1, 50, 40);
             fill(doc, 1, [](int x, int y) { return (x ^ y) & 1; });
             doc.frameInsert(2, 20, 10);
             fill(doc, 2, [](int x, int y) { return (x * y) % 16; });
             doc.setLocalPaletteUsed(2, true);
             doc.setLocalPaletteEntries(2, 16);
             doc.setFrameLeft(2, 5);
             doc.setFrameTop(2, 7);
             doc.setFrameUseTransparentColor(2, true);
             doc.setFrameTransparentColorIndex(2, 3);
             setGlobalPalette(doc, 2);
             std::memcpy(doc.localPaletteData(2), doc.globalPaletteData(), 1024);
         }},
        {"one-pixel", [](GifDocument& doc) {
             doc.frameInsert(1, 1, 1);
             setGlobalPalette(doc, 256);
         }},
    };
}

std::filesystem::path saveCase(const std::string& name, const std::function<void(GifDocument&)>& make,
                               const test::TempDir& dir, GifDocument& doc)
{
    make(doc);
    const auto path = dir / (name + ".gif");
    EXPECT_TRUE(doc.save(path)) << name;
    return path;
}

// ---- Our writer, their readers ------------------------------------------------------------------

TEST(GifPeers, GiflibDecodesOurGifsToOurIndices)
{
    test::TempDir dir;
    for (const auto& [name, make] : writerCases()) {
        GifDocument doc;
        const auto path = saveCase(name, make, dir, doc);
        PeerGif peer;
        ASSERT_TRUE(readWithGiflib(path, peer)) << name;
        EXPECT_EQ(peer.width, doc.screenWidth()) << name;
        EXPECT_EQ(peer.height, doc.screenHeight()) << name;
        EXPECT_EQ(peer.loops, doc.animationLoops()) << name;
        ASSERT_EQ(int(peer.frames.size()), doc.framesCount()) << name;
        for (int i = 1; i <= doc.framesCount(); ++i) {
            const PeerFrame& f = peer.frames[std::size_t(i - 1)];
            EXPECT_EQ(f.pixels, pixelsOf(doc, i)) << name << " frame " << i;
            EXPECT_EQ(f.delay, doc.frameDelay(i)) << name;
            EXPECT_EQ(f.disposal, doc.frameDisposalMethod(i)) << name;
            EXPECT_EQ(f.left, doc.frameLeft(i));
            EXPECT_EQ(f.top, doc.frameTop(i));
            EXPECT_EQ(f.interlaced, doc.frameInterlaced(i));
            EXPECT_EQ(f.transparent, doc.frameUseTransparentColor(i) ? doc.frameTransparentColorIndex(i) : -1);
        }
    }
}

// FFmpeg composes frames on the screen and gives RGB; frames here cover the whole screen and
// carry distinct palette colours, so every RGB pixel names exactly one index. One ffmpeg run
// decodes every file (each input mapped to its own raw output).
TEST(GifPeers, FfmpegDecodesOurGifsToOurIndices)
{
    test::TempDir dir;
    std::vector<std::pair<std::string, std::unique_ptr<GifDocument>>> docs;
    std::string inputs, outputs;
    for (const auto& [name, make] : writerCases()) {
        if (name == "two-and-sixteen-colours-local")
            continue;   // a transparent sub-rectangle: the composition is FFmpeg's, not our indices
        auto doc = std::make_unique<GifDocument>();
        const auto path = saveCase(name, make, dir, *doc);
        inputs += " -i '" + path.string() + "'";
        outputs += " -map " + std::to_string(docs.size()) + ":v -fps_mode passthrough -f rawvideo -pix_fmt rgb24 '" +
                   (dir / (name + ".rgb")).string() + "'";
        docs.emplace_back(name, std::move(doc));
    }
    const std::string command = "ffmpeg -nostdin -loglevel error -y" + inputs + outputs;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const auto& [name, docPtr] : docs) {
        const GifDocument& doc = *docPtr;
        std::ifstream in(dir / (name + ".rgb"), std::ios::binary);
        const Bytes rgb{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const std::size_t frameBytes = std::size_t(doc.screenWidth()) * std::size_t(doc.screenHeight()) * 3;
        ASSERT_EQ(rgb.size(), frameBytes * std::size_t(doc.framesCount())) << name;
        for (int i = 1; i <= doc.framesCount(); ++i) {
            const Dib& img = doc.frameImage(i);
            if (img.width() != doc.screenWidth() || img.height() != doc.screenHeight())
                continue;
            std::size_t mismatches = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    const std::uint32_t want = colourOf(img.scanline(y)[x]);
                    const std::uint8_t* p =
                        &rgb[frameBytes * std::size_t(i - 1) + (std::size_t(y) * std::size_t(img.width()) + std::size_t(x)) * 3];
                    const std::uint32_t have = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
                    mismatches += have != want;
                }
            EXPECT_EQ(mismatches, 0u) << name << " frame " << i;
        }
    }
}

// ---- Their writers, our reader ------------------------------------------------------------------

struct GiflibImage {
    int left, top, width, height;
    bool interlaced;
    int colours;         // local table size, 0: none
    int delay, disposal, transparent;
    Bytes pixels;
};

// Writes a GIF89a through giflib's EGifPutLine, rows in the order the format stores them.
bool writeWithGiflib(const std::filesystem::path& path, int width, int height, int globalColours, int loops,
                     const std::vector<GiflibImage>& images)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif)
        return false;
    EGifSetGifVersion(gif, true);
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t rgb = colourOf(i);
        colours[std::size_t(i)] = {GifByteType(rgb), GifByteType(rgb >> 8), GifByteType(rgb >> 16)};
    }
    ColorMapObject* global = globalColours ? GifMakeMapObject(globalColours, colours.data()) : nullptr;
    bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, global) == GIF_OK;
    if (loops >= 0) {
        const unsigned char block[3] = {1, GifByteType(loops & 0xFF), GifByteType(loops >> 8)};
        ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
             EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK && EGifPutExtensionBlock(gif, 3, block) == GIF_OK &&
             EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    for (const GiflibImage& im : images) {
        GraphicsControlBlock gcb{im.disposal, false, im.delay, im.transparent};
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK;
        ColorMapObject* local = im.colours ? GifMakeMapObject(im.colours, colours.data()) : nullptr;
        ok = ok && EGifPutImageDesc(gif, im.left, im.top, im.width, im.height, im.interlaced, local) == GIF_OK;
        if (local)
            GifFreeMapObject(local);
        for (int y : gifRowOrder(im.height, im.interlaced)) {
            Bytes row(im.pixels.begin() + std::ptrdiff_t(y) * im.width, im.pixels.begin() + std::ptrdiff_t(y + 1) * im.width);
            ok = ok && EGifPutLine(gif, row.data(), im.width) == GIF_OK;
        }
    }
    if (global)
        GifFreeMapObject(global);
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    return ok;
}

void expectSameAsGiflib(const std::filesystem::path& path, const std::string& what)
{
    PeerGif peer;
    ASSERT_TRUE(readWithGiflib(path, peer)) << what;
    GifDocument doc;
    ASSERT_TRUE(doc.loadFromFile(path)) << what << ": " << gifErrorName(doc.lastError());
    EXPECT_EQ(doc.screenWidth(), peer.width) << what;
    EXPECT_EQ(doc.screenHeight(), peer.height) << what;
    if (peer.loops >= 0) {
        EXPECT_EQ(doc.animationLoops(), peer.loops) << what;
    }
    ASSERT_EQ(doc.framesCount(), int(peer.frames.size())) << what;
    for (int i = 1; i <= doc.framesCount(); ++i) {
        const PeerFrame& f = peer.frames[std::size_t(i - 1)];
        EXPECT_EQ(doc.frameDecodeResult(i), GifError::None) << what << " frame " << i;
        EXPECT_EQ(pixelsOf(doc, i), f.pixels) << what << " frame " << i;
        EXPECT_EQ(doc.frameLeft(i), f.left) << what;
        EXPECT_EQ(doc.frameTop(i), f.top) << what;
        EXPECT_EQ(doc.frameInterlaced(i), f.interlaced) << what;
        EXPECT_EQ(doc.frameDelay(i), f.delay) << what;
        EXPECT_EQ(doc.frameDisposalMethod(i), f.disposal) << what;
        EXPECT_EQ(doc.frameUseTransparentColor(i) ? doc.frameTransparentColorIndex(i) : -1, f.transparent) << what;
    }
}

TEST(GifPeers, OurReaderLoadsWhatGiflibWrites)
{
    test::TempDir dir;
    std::mt19937 rng(23);
    auto picture = [&](int w, int h, int colours, bool noisy) {
        Bytes px(std::size_t(w) * std::size_t(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                px[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                    std::uint8_t(noisy ? rng() % unsigned(colours) : unsigned((x / 3 + y / 2) % colours));
        return px;
    };
    std::vector<GiflibImage> images = {
        {0, 0, 120, 80, false, 0, 10, 2, -1, picture(120, 80, 256, false)},
        {0, 0, 120, 80, false, 0, 12, 1, 9, picture(120, 80, 256, true)},
        {10, 5, 37, 29, true, 0, 0, 0, -1, picture(37, 29, 256, false)},
        {3, 3, 40, 20, false, 2, 5, 3, 1, picture(40, 20, 2, true)},
        {0, 0, 64, 3, true, 16, 7, 0, -1, picture(64, 3, 16, true)},
    };
    const auto path = dir / "giflib.gif";
    ASSERT_TRUE(writeWithGiflib(path, 120, 80, 256, 0, images));
    expectSameAsGiflib(path, "giflib animation");

    // The test's own pixels, not only giflib's reading of them.
    GifDocument doc;
    ASSERT_TRUE(doc.loadFromFile(path));
    for (std::size_t i = 0; i < images.size(); ++i)
        EXPECT_EQ(pixelsOf(doc, int(i) + 1), images[i].pixels) << "frame " << i + 1;
    EXPECT_TRUE(doc.localPaletteUsed(4));
    EXPECT_EQ(doc.localPaletteEntries(4), 2);
    EXPECT_EQ(doc.localPaletteRGBEntry(5, 15), std::int32_t(colourOf(15)));

    const auto small = dir / "giflib-4-colours.gif";
    ASSERT_TRUE(writeWithGiflib(small, 9, 9, 4, 65535, {{0, 0, 9, 9, false, 0, 3, 0, -1, picture(9, 9, 4, true)}}));
    expectSameAsGiflib(small, "giflib 4 colours");
}

// Files made by ImageMagick 6.9's convert (tests/data/gif/imagemagick-*.gif and the seed files;
// convert takes seconds to start here, too slow to run in every test pass). Their commands:
//   convert -size 64x48 gradient:red-blue -colors 32 imagemagick-gradient-32-colours.gif
//   convert -size 90x70 plasma:fractal -colors 256 -interlace GIF imagemagick-plasma-interlaced.gif
//   convert -delay 15 -size 30x20 xc:red -size 30x20 gradient:yellow-green -size 30x20 xc:blue -loop 3
//           imagemagick-animation-loop-3.gif
//   convert -size 40x40 pattern:checkerboard -monochrome imagemagick-checkerboard-two-colours.gif
//   convert -size 80x60 xc: +noise Random -colors 200 imagemagick-noise-200-colours.gif
//   convert -dispose previous -delay 7 -size 20x20 xc:white \( -size 8x8 xc:red -repage +4+6 \)
//           \( -size 5x9 xc:blue -repage +11+2 \) -transparent white -loop 0 imagemagick-subframes-transparent.gif
TEST(GifPeers, OurReaderLoadsWhatImageMagickWrites)
{
    const std::filesystem::path data = std::filesystem::path(VANTORELL_SOURCE_DIR) / "tests/data/gif";
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("imagemagick-", 0) == 0) {
            expectSameAsGiflib(entry.path(), name);
            ++seen;
        }
    }
    EXPECT_GE(seen, 6);
    const std::filesystem::path corpus = std::filesystem::path(VANTORELL_SOURCE_DIR) / "fuzz/corpus/gif_reader";
    for (const char* name : {"imagemagick-gradient-16-colours.gif", "imagemagick-three-frames-loop-2.gif",
                             "imagemagick-interlaced-plasma.gif"})
        expectSameAsGiflib(corpus / name, name);

}

// A stream that opens without the clear code: giflib reads it as we do.
TEST(GifPeers, FirstCodeNotClearAgreesWithGiflib)
{
    test::TempDir dir;
    test::CodeWriter cw;
    cw.put(1, 3);
    cw.put(3, 3);
    cw.put(2, 3);
    cw.put(5, 3);
    const Bytes file = test::FileBuilder{}.header(3, 1, 2).image(0, 0, 3, 1, 0, 2, cw.finish()).trailer().bytes;
    const auto path = dir / "first-code.gif";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    expectSameAsGiflib(path, "first code not clear");
    GifDocument doc;
    ASSERT_TRUE(doc.loadFromFile(path));
    EXPECT_EQ(pixelsOf(doc, 1), (Bytes{1, 3, 2}));
}

}  // namespace
}  // namespace vantorell
