// GifAnimation checked with peers: every palette, dither, optimisation and lossy choice decodes
// in giflib and FFmpeg to the same frames; optimised files show exactly the unoptimised
// frames; lossy files stay within their colour bound; the size estimate is within 10 %.
#include "colour/Palette8.h"
#include "dib/Dib.h"
#include "gif/GifEncoder.h"
#include "support/TempDir.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace vantorell {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A small fade with what animations hold: a gradient turning into another, a static corner
// (unchanged pixels), a moving square (a small changed rectangle late on) and grain.
class SyntheticFrames final : public GifFrameProvider {
public:
    SyntheticFrames(int count, int width, int height) : m_count(count), m_width(width), m_height(height) {}
    int frameCount() const override { return m_count; }
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    bool frame(int index, Dib& surface) override
    {
        surface.create(m_width, m_height, 32);
        std::mt19937 grain(7);   // the same grain every frame: static where the picture is
        const double t = m_count > 1 ? double(index) / (m_count - 1) : 0.0;
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x) {
                std::uint8_t* p = surface.scanline(y) + 4 * x;
                const int noise = int(grain() % 9) - 4;
                const bool still = x < m_width / 4 && y < m_height / 4;
                const double a = still ? 0.0 : t;
                const double r = (1 - a) * (255.0 * x / m_width) + a * (255.0 * y / m_height);
                const double g = (1 - a) * 90 + a * (200.0 * (x + y) / (m_width + m_height));
                const double b = (1 - a) * (255.0 - 255.0 * y / m_height) + a * 60;
                p[0] = std::uint8_t(std::clamp(int(b) + noise, 0, 255));
                p[1] = std::uint8_t(std::clamp(int(g) + noise, 0, 255));
                p[2] = std::uint8_t(std::clamp(int(r) + noise, 0, 255));
                const int sx = m_width / 2 + index * 2, sy = m_height / 2;
                if (x >= sx && x < sx + 6 && y >= sy && y < sy + 6)
                    p[0] = p[1] = p[2] = 250;
            }
        return true;
    }

private:
    int m_count, m_width, m_height;
};

// The frames as shown, RGB, composed the way a viewer does (disposal, transparency).
struct Shown {
    int width = 0, height = 0;
    std::vector<Bytes> frames;
};

bool decodeWithGiflib(const std::filesystem::path& path, Shown& shown)
{
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif)
        return false;
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return false;
    }
    shown.width = gif->SWidth;
    shown.height = gif->SHeight;
    Bytes canvas(std::size_t(shown.width) * std::size_t(shown.height) * 3, 0);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& img = gif->SavedImages[i];
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, i, &gcb);
        const ColorMapObject* map = img.ImageDesc.ColorMap ? img.ImageDesc.ColorMap : gif->SColorMap;
        const Bytes before = canvas;
        const GifImageDesc& d = img.ImageDesc;
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const int index = img.RasterBits[y * d.Width + x];
                if (index == gcb.TransparentColor || map == nullptr || index >= map->ColorCount)
                    continue;
                std::uint8_t* p = &canvas[(std::size_t(d.Top + y) * std::size_t(shown.width) + std::size_t(d.Left + x)) * 3];
                p[0] = map->Colors[index].Red;
                p[1] = map->Colors[index].Green;
                p[2] = map->Colors[index].Blue;
            }
        shown.frames.push_back(canvas);
        if (gcb.DisposalMode == DISPOSE_PREVIOUS)
            canvas = before;
        else if (gcb.DisposalMode == DISPOSE_BACKGROUND)
            for (int y = 0; y < d.Height; ++y)
                std::fill_n(&canvas[(std::size_t(d.Top + y) * std::size_t(shown.width) + std::size_t(d.Left)) * 3],
                            std::size_t(d.Width) * 3, 0);
    }
    DGifCloseFile(gif, &error);
    return true;
}

std::filesystem::path writeBytes(const test::TempDir& dir, const std::string& name, const Bytes& bytes)
{
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

const char* const kPaletteNames[] = {"halftone", "optimal", "global", "per-frame"};
const char* const kDitherNames[] = {"none", "ordered", "ordered8", "diffusion"};

struct Encoded {
    std::string name;
    GifOptions options;
    std::filesystem::path path;
    Shown giflib;
};

// Every palette x dither x optimisation x lossy (0, 60), encoded and decoded by giflib.
std::vector<Encoded> encodeEveryChoice(const test::TempDir& dir)
{
    SyntheticFrames frames(6, 48, 36);
    std::vector<Encoded> all;
    for (int p = 0; p < 4; ++p)
        for (int d = 0; d < 4; ++d)
            for (const bool optimize : {false, true})
                for (const int lossy : {0, 60}) {
                    Encoded e;
                    e.options.palette = GifPalette(p);
                    e.options.dither = GifDither(d);
                    e.options.optimize = optimize;
                    e.options.lossy = lossy;
                    e.name = std::string(kPaletteNames[p]) + "-" + kDitherNames[d] + (optimize ? "-opt" : "") +
                             (lossy ? "-lossy" : "");
                    Bytes bytes;
                    EXPECT_EQ(encodeGifAnimation(frames, e.options, bytes), GifEncodeStatus::Done) << e.name;
                    e.path = writeBytes(dir, e.name + ".gif", bytes);
                    EXPECT_TRUE(decodeWithGiflib(e.path, e.giflib)) << e.name;
                    EXPECT_EQ(e.giflib.frames.size(), 6u) << e.name;
                    all.push_back(std::move(e));
                }
    return all;
}

class GifAnimationPeers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new test::TempDir;
        s_all = new std::vector<Encoded>(encodeEveryChoice(*s_dir));
    }
    static void TearDownTestSuite()
    {
        delete s_all;
        delete s_dir;
    }
    static const Encoded& find(const GifOptions& o)
    {
        for (const Encoded& e : *s_all)
            if (e.options == o)
                return e;
        throw std::runtime_error("no such case");
    }
    static test::TempDir* s_dir;
    static std::vector<Encoded>* s_all;
};
test::TempDir* GifAnimationPeers::s_dir = nullptr;
std::vector<Encoded>* GifAnimationPeers::s_all = nullptr;

TEST_F(GifAnimationPeers, OptimisedFilesShowTheUnoptimisedFrames)
{
    for (const Encoded& e : *s_all) {
        if (!e.options.optimize || e.options.lossy > 0)
            continue;
        GifOptions plain = e.options;
        plain.optimize = false;
        const Encoded& reference = find(plain);
        ASSERT_EQ(e.giflib.frames.size(), reference.giflib.frames.size()) << e.name;
        for (std::size_t i = 0; i < e.giflib.frames.size(); ++i)
            EXPECT_TRUE(e.giflib.frames[i] == reference.giflib.frames[i]) << e.name << " frame " << i;
        EXPECT_LE(std::filesystem::file_size(e.path), std::filesystem::file_size(reference.path)) << e.name;
    }
}

// Frames large enough that each optimised frame clears its LZW table several times, with
// codes narrower than the colour table: they still show exactly the unoptimised frames. And
// frames of 1 MP coded in two parts (a clear code between, the second coded on a thread of its
// own): giflib shows them the same.
TEST(GifAnimation, LargeOptimisedFramesShowTheUnoptimisedFrames)
{
    const struct {
        GifPalette palette;
        int width, height;
        bool parts;
    } cases[] = {{GifPalette::Halftone, 640, 360, false}, {GifPalette::Global, 640, 360, false},
                 {GifPalette::Global, 1280, 800, true}};
    for (const auto& [palette, width, height, parts] : cases) {
        test::TempDir dir;
        SyntheticFrames frames(4, width, height);
        GifOptions options;
        options.palette = palette;
        options.lzwInParts = parts;
        Shown shown[2];
        std::uintmax_t sizes[2] = {0, 0};
        for (const bool optimize : {false, true}) {
            options.optimize = optimize;
            Bytes bytes;
            ASSERT_EQ(encodeGifAnimation(frames, options, bytes), GifEncodeStatus::Done);
            const auto path = writeBytes(dir, optimize ? "optimised.gif" : "plain.gif", bytes);
            ASSERT_TRUE(decodeWithGiflib(path, shown[optimize]));
            sizes[optimize] = bytes.size();
        }
        ASSERT_EQ(shown[0].frames.size(), 4u);
        ASSERT_EQ(shown[1].frames.size(), 4u);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_TRUE(shown[0].frames[i] == shown[1].frames[i]) << describeGifOptions(options) << " frame " << i;
        EXPECT_LT(sizes[1], sizes[0]) << describeGifOptions(options);
    }
}

// Ordered dithers depend only on a pixel's place: the still corner never shimmers. (Per-frame
// palettes change the colours themselves, so they are left out.)
TEST_F(GifAnimationPeers, OrderedDithersKeepStillAreasStill)
{
    for (const Encoded& e : *s_all) {
        if (e.options.lossy > 0 || e.options.palette == GifPalette::PerFrame ||
            (e.options.dither != GifDither::Ordered && e.options.dither != GifDither::Ordered8))
            continue;
        const Shown& shown = e.giflib;
        for (std::size_t i = 1; i < shown.frames.size(); ++i)
            for (int y = 0; y < shown.height / 4; ++y)
                EXPECT_EQ(0, std::memcmp(&shown.frames[i][std::size_t(y * shown.width) * 3],
                                         &shown.frames[0][std::size_t(y * shown.width) * 3], std::size_t(shown.width / 4) * 3))
                    << e.name << " frame " << i << " row " << y;
    }
}

TEST_F(GifAnimationPeers, LossyFramesStayWithinTheirBound)
{
    for (const Encoded& e : *s_all) {
        if (e.options.lossy == 0 || e.options.optimize)
            continue;
        GifOptions exact = e.options;
        exact.lossy = 0;
        const Encoded& reference = find(exact);
        const int bound = (e.options.lossy + 1) / 2;
        int worst = 0;
        for (std::size_t i = 0; i < e.giflib.frames.size(); ++i)
            for (std::size_t k = 0; k < e.giflib.frames[i].size(); k += 3) {
                int d2 = 0;
                for (int c = 0; c < 3; ++c) {
                    const int d = int(e.giflib.frames[i][k + std::size_t(c)]) - reference.giflib.frames[i][k + std::size_t(c)];
                    d2 += d * d;
                }
                worst = std::max(worst, d2);
            }
        EXPECT_LE(worst, bound * bound) << e.name;
        EXPECT_LE(std::filesystem::file_size(e.path), std::filesystem::file_size(reference.path)) << e.name;
    }
}

TEST_F(GifAnimationPeers, FfmpegShowsWhatGiflibShows)
{
    std::string command = "ffmpeg -nostdin -loglevel error -y";
    std::string outputs;
    for (std::size_t i = 0; i < s_all->size(); ++i) {
        const Encoded& e = (*s_all)[i];
        command += " -i '" + e.path.string() + "'";
        outputs += " -map " + std::to_string(i) + ":v -fps_mode passthrough -f rawvideo -pix_fmt rgb24 '" +
                   (*s_dir / (e.name + ".rgb")).string() + "'";
    }
    command += outputs;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const Encoded& e : *s_all) {
        std::ifstream in(*s_dir / (e.name + ".rgb"), std::ios::binary);
        const Bytes rgb{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        Bytes joined;
        for (const Bytes& f : e.giflib.frames)
            joined.insert(joined.end(), f.begin(), f.end());
        EXPECT_TRUE(rgb == joined) << e.name;
    }
}

TEST(GifAnimation, EstimateIsWithinTenPercent)
{
    struct Case {
        int frames, width, height;
        GifOptions options;
    };
    GifOptions global;
    global.palette = GifPalette::Global;
    GifOptions optimised = global;
    optimised.optimize = true;
    optimised.dither = GifDither::Diffusion;
    GifOptions lossy = optimised;
    lossy.lossy = 80;
    lossy.scalePercent = 50;
    const Case cases[] = {{12, 160, 120, GifOptions{}}, {20, 320, 240, global}, {20, 320, 240, optimised},
                          {9, 400, 300, lossy}};
    for (const Case& c : cases) {
        SyntheticFrames frames(c.frames, c.width, c.height);
        Bytes bytes;
        ASSERT_EQ(encodeGifAnimation(frames, c.options, bytes), GifEncodeStatus::Done);
        const auto estimate = estimateGifSize(frames, c.options);
        ASSERT_TRUE(estimate.has_value());
        EXPECT_NEAR(double(*estimate), double(bytes.size()), 0.1 * double(bytes.size()))
            << describeGifOptions(c.options) << " " << c.width << "x" << c.height;
    }
}

TEST(GifAnimation, FitsUnderALimitOrSaysItCannot)
{
    SyntheticFrames frames(8, 200, 150);
    const GifFitResult roomy = fitGifToSize(frames, 10'000'000, 10);
    ASSERT_TRUE(roomy.fits);
    EXPECT_EQ(roomy.chosen, gifSizeLadder(10).front());   // the best choice fits
    const GifFitResult tight = fitGifToSize(frames, 30'000, 10);
    ASSERT_TRUE(tight.fits);
    EXPECT_LE(tight.bytes.size(), 30'000u);
    EXPECT_NE(tight.chosen, gifSizeLadder(10).front());
    const GifFitResult impossible = fitGifToSize(frames, 300, 10);
    EXPECT_FALSE(impossible.fits);
    EXPECT_TRUE(impossible.bytes.empty());
    EXPECT_GT(impossible.smallest, 300);
}

TEST(GifAnimation, ByteSizes)
{
    const std::pair<const char*, std::int64_t> good[] = {
        {"5MB", 5'000'000}, {"5 mb", 5'000'000}, {"800KB", 800'000}, {"2MiB", 2 * 1024 * 1024},
        {"1.5KiB", 1536},   {"1000", 1000},      {"12B", 12},        {"1GB", 1'000'000'000}};
    for (const auto& [text, bytes] : good)
        EXPECT_EQ(parseByteSize(text), std::optional<std::int64_t>(bytes)) << text;
    for (const char* bad : {"", "MB", "-5MB", "5 XB", "5MBs", "0", "0.1", ".", "1e9", "99999999999999999999"})
        EXPECT_FALSE(parseByteSize(bad).has_value()) << bad;
}

}  // namespace
}  // namespace vantorell
