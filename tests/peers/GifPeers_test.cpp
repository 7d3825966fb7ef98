// GIF interoperability with real peers: what GifEncoder writes, for every palette, dither,
// optimisation and lossy choice, giflib (DGifSlurp) decodes to the palette indices, palettes and
// frame fields our reader decodes, and FFmpeg shows the colours our reader gives; what giflib
// (EGifPutLine) and ImageMagick write, our reader loads with the same pixels that giflib reads.
#include "dib/Dib.h"
#include "gif/GifDocument.h"
#include "gif/GifEncoder.h"
#include "support/GifBytes.h"
#include "support/TempDir.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
    bool localTable = false;
    std::vector<std::int32_t> colours;   // the table the frame is shown with, red + 256 green + 65536 blue
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
        f.localTable = img.ImageDesc.ColorMap != nullptr;
        if (const ColorMapObject* map = f.localTable ? img.ImageDesc.ColorMap : gif->SColorMap)
            for (int c = 0; c < map->ColorCount; ++c)
                f.colours.push_back(map->Colors[c].Red + 256 * map->Colors[c].Green + 65536 * map->Colors[c].Blue);
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

// A small fade with what animations hold: a gradient turning into another, a still corner, a
// moving square, and grain that makes most choices' 10240-pixel frames run past code 4095 (a
// table clear).
class FadeFrames final : public GifFrameProvider {
public:
    static constexpr int kCount = 6;
    int frameCount() const override { return kCount; }
    int width() const override { return 128; }
    int height() const override { return 80; }
    bool frame(int index, Dib& surface) override
    {
        if (!surface.create(width(), height(), 32))
            return false;
        std::mt19937 grain(11);
        const double t = double(index) / (kCount - 1);
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x) {
                std::uint8_t* p = surface.scanline(y) + 4 * x;
                const int noise = int(grain() % 41) - 20;
                const double a = x < 32 && y < 20 ? 0.0 : t;
                const double r = (1 - a) * (255.0 * x / width()) + a * (255.0 * y / height());
                const double g = (1 - a) * 90 + a * 180;
                const double b = (1 - a) * (255.0 - 255.0 * y / height()) + a * 60;
                p[0] = std::uint8_t(std::clamp(int(b) + noise, 0, 255));
                p[1] = std::uint8_t(std::clamp(int(g) + noise, 0, 255));
                p[2] = std::uint8_t(std::clamp(int(r) + noise, 0, 255));
                const int sx = 50 + index * 9, sy = 40;
                if (x >= sx && x < sx + 7 && y >= sy && y < sy + 7)
                    p[0] = p[1] = p[2] = 250;
            }
        return true;
    }
};

const char* const kPaletteNames[] = {"halftone", "optimal", "global", "per-frame"};
const char* const kDitherNames[] = {"none", "ordered", "ordered8", "diffusion"};

struct EncodedCase {
    std::string name;
    GifOptions options;
    Bytes bytes;
};

// Every palette x dither, whole frames, optimised, and optimised with lossy LZW.
std::vector<EncodedCase> encodeEveryChoice()
{
    FadeFrames frames;
    std::vector<EncodedCase> all;
    for (int p = 0; p < 4; ++p)
        for (int d = 0; d < 4; ++d)
            for (const int mode : {0, 1, 2}) {
                EncodedCase e;
                e.options.palette = GifPalette(p);
                e.options.dither = GifDither(d);
                e.options.optimize = mode > 0;
                e.options.lossy = mode == 2 ? 60 : 0;
                e.options.delay = 7 + p;
                e.name = std::string(kPaletteNames[p]) + "-" + kDitherNames[d] +
                         (mode == 1 ? "-opt" : mode == 2 ? "-opt-lossy" : "");
                EXPECT_EQ(encodeGifAnimation(frames, e.options, e.bytes), GifEncodeStatus::Done) << e.name;
                all.push_back(std::move(e));
            }
    return all;
}

std::filesystem::path writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// ---- Our encoder, their readers and ours ---------------------------------------------------------

TEST(GifPeers, GiflibDecodesOurEncoderOutputAsOurReaderDoes)
{
    test::TempDir dir;
    for (const EncodedCase& e : encodeEveryChoice()) {
        PeerGif peer;
        ASSERT_TRUE(readWithGiflib(writeFile(dir / (e.name + ".gif"), e.bytes), peer)) << e.name;
        GifDocument doc;
        ASSERT_TRUE(doc.loadFromStream(e.bytes)) << e.name << ": " << gifErrorName(doc.lastError());
        EXPECT_EQ(doc.screenWidth(), 128) << e.name;
        EXPECT_EQ(doc.screenHeight(), 80) << e.name;
        EXPECT_EQ(peer.width, doc.screenWidth()) << e.name;
        EXPECT_EQ(peer.height, doc.screenHeight()) << e.name;
        EXPECT_EQ(peer.loops, doc.animationLoops()) << e.name;
        ASSERT_EQ(doc.framesCount(), FadeFrames::kCount) << e.name;
        ASSERT_EQ(int(peer.frames.size()), doc.framesCount()) << e.name;
        for (int i = 1; i <= doc.framesCount(); ++i) {
            const PeerFrame& f = peer.frames[std::size_t(i - 1)];
            const std::string at = e.name + " frame " + std::to_string(i);
            EXPECT_EQ(doc.frameDecodeResult(i), GifError::None) << at;
            EXPECT_EQ(f.pixels, pixelsOf(doc, i)) << at;
            EXPECT_EQ(f.width, doc.frameImage(i).width()) << at;
            EXPECT_EQ(f.height, doc.frameImage(i).height()) << at;
            EXPECT_EQ(f.left, doc.frameLeft(i)) << at;
            EXPECT_EQ(f.top, doc.frameTop(i)) << at;
            EXPECT_EQ(f.interlaced, doc.frameInterlaced(i)) << at;
            EXPECT_EQ(f.delay, doc.frameDelay(i)) << at;
            EXPECT_EQ(doc.frameDelay(i), e.options.delay) << at;
            EXPECT_EQ(f.disposal, doc.frameDisposalMethod(i)) << at;
            EXPECT_EQ(f.transparent, doc.frameUseTransparentColor(i) ? doc.frameTransparentColorIndex(i) : -1) << at;
            EXPECT_EQ(f.localTable, doc.localPaletteUsed(i)) << at;
            ASSERT_EQ(int(f.colours.size()), doc.localPaletteEntries(i)) << at;
            for (int c = 0; c < doc.localPaletteEntries(i); ++c)
                EXPECT_EQ(f.colours[std::size_t(c)], doc.localPaletteRGBEntry(i, c)) << at << " entry " << c;
            if (!e.options.optimize) {
                EXPECT_EQ(doc.frameImage(i).width(), doc.screenWidth()) << at << ": whole frames";
                EXPECT_EQ(doc.frameImage(i).height(), doc.screenHeight()) << at;
            }
        }
    }
}

// FFmpeg composes frames on the screen and gives RGB. Whole frames cover the screen, so each
// RGB pixel must be the colour our reader's index has in the frame's palette. One ffmpeg run
// decodes every file (each input mapped to its own raw output).
TEST(GifPeers, FfmpegShowsTheColoursOurReaderGives)
{
    test::TempDir dir;
    std::vector<std::pair<std::string, std::unique_ptr<GifDocument>>> docs;
    std::string inputs, outputs;
    for (const EncodedCase& e : encodeEveryChoice()) {
        if (e.options.optimize)
            continue;   // sub-rectangles and holes: the composition is FFmpeg's, not one frame's indices
        auto doc = std::make_unique<GifDocument>();
        ASSERT_TRUE(doc->loadFromStream(e.bytes)) << e.name;
        const auto path = writeFile(dir / (e.name + ".gif"), e.bytes);
        inputs += " -i '" + path.string() + "'";
        outputs += " -map " + std::to_string(docs.size()) + ":v -fps_mode passthrough -f rawvideo -pix_fmt rgb24 '" +
                   (dir / (e.name + ".rgb")).string() + "'";
        docs.emplace_back(e.name, std::move(doc));
    }
    ASSERT_EQ(docs.size(), 16u);
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
            ASSERT_EQ(img.width(), doc.screenWidth()) << name;
            ASSERT_EQ(img.height(), doc.screenHeight()) << name;
            std::size_t mismatches = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    const int index = img.scanline(y)[x];
                    if (doc.frameUseTransparentColor(i) && index == doc.frameTransparentColorIndex(i))
                        continue;
                    const std::uint8_t* p =
                        &rgb[frameBytes * std::size_t(i - 1) + (std::size_t(y) * std::size_t(img.width()) + std::size_t(x)) * 3];
                    const std::int32_t have = std::int32_t(p[0]) | std::int32_t(p[1]) << 8 | std::int32_t(p[2]) << 16;
                    mismatches += have != doc.localPaletteRGBEntry(i, index);
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
