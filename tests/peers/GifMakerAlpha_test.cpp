// The GIF maker on an animated WebP with alpha (made here with libwebp's animation encoder):
// every frame and delay kept, and as giflib decodes the GIF, with its disposal methods, pixels
// under half coverage show nothing and the others their colour, for each palette choice.
#include "job/GifMaker.h"
#include "support/TempDir.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <array>
#include <fstream>

namespace vantorell {
namespace {

constexpr int kWidth = 24, kHeight = 16, kFrames = 4;

// Frame k's pixel (x, y): red, green, blue, alpha. A background of two cube colours, a clear
// square that moves right (it uncovers opaque pixels and covers others), and a half-clear band
// that shows only on frame 2. With `noisy`, the background's levels move by a few from frame to
// frame, as a video's do.
std::array<std::uint8_t, 4> sourcePixel(int k, int x, int y, bool noisy = false)
{
    if (x >= 4 * k && x < 4 * k + 6 && y >= 4 && y < 10)
        return {0, 0, 0, 0};
    if (k == 2 && y >= 13)
        return {255, 255, 255, 100};
    std::array<std::uint8_t, 4> colour =
        x < kWidth / 2 ? std::array<std::uint8_t, 4>{255, 0, 0, 255} : std::array<std::uint8_t, 4>{51, 102, 204, 255};
    const int noise = noisy ? (x * 7 + y * 13 + k * 5) % 7 - 3 : 0;
    for (int c = 0; c < 3; ++c)
        colour[std::size_t(c)] = std::uint8_t(std::clamp(colour[std::size_t(c)] + noise, 0, 255));
    return colour;
}

std::vector<std::uint8_t> sourceFrame(int k, bool noisy = false)
{
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (const std::uint8_t c : sourcePixel(k, x, y, noisy))
                rgba.push_back(c);
    return rgba;
}

// The frames as still WebPs with alpha, for a list of pictures.
std::vector<std::string> writeStillWebps(const test::TempDir& dir)
{
    std::vector<std::string> files;
    for (int k = 0; k < kFrames; ++k) {
        std::uint8_t* data = nullptr;
        const std::vector<std::uint8_t> rgba = sourceFrame(k);
        const std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), kWidth, kHeight, kWidth * 4, &data);
        files.push_back((dir / ("still" + std::to_string(k) + ".webp")).string());
        std::ofstream(files.back(), std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
        WebPFree(data);
    }
    return files;
}

bool writeAnimatedWebp(const std::string& path, const std::vector<int>& delaysMs, bool noisy = false)
{
    WebPAnimEncoderOptions options;
    WebPConfig config;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config))
        return false;
    config.lossless = 1;
    config.exact = 1;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(kWidth, kHeight, &options);
    int time = 0;
    bool ok = encoder != nullptr;
    for (int k = 0; k < kFrames && ok; ++k) {
        const std::vector<std::uint8_t> rgba = sourceFrame(k, noisy);
        WebPPicture picture;
        ok = WebPPictureInit(&picture) != 0;
        picture.use_argb = 1;
        picture.width = kWidth;
        picture.height = kHeight;
        ok = ok && WebPPictureImportRGBA(&picture, rgba.data(), kWidth * 4) &&
             WebPAnimEncoderAdd(encoder, &picture, time, &config);
        WebPPictureFree(&picture);
        time += delaysMs[std::size_t(k)];
    }
    WebPData data;
    WebPDataInit(&data);
    ok = ok && WebPAnimEncoderAdd(encoder, nullptr, time, nullptr) && WebPAnimEncoderAssemble(encoder, &data);
    if (ok)
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.bytes), std::streamsize(data.size));
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return ok;
}

// Each frame as giflib decodes it and a viewer composes it (disposal 2 clears the frame's
// rectangle, 3 restores what was before it): red, green, blue, alpha 0 where nothing shows.
struct Decoded {
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<int> delays;
};

Decoded decodeWithGiflib(const std::string& path)
{
    Decoded decoded;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return decoded;
    }
    std::vector<std::uint8_t> canvas(std::size_t(gif->SWidth) * std::size_t(gif->SHeight) * 4, 0);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const GifImageDesc& d = image.ImageDesc;
        GraphicsControlBlock gcb{};
        DGifSavedExtensionToGCB(gif, i, &gcb);
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        const std::vector<std::uint8_t> before = canvas;
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index == gcb.TransparentColor || index >= map->ColorCount)
                    continue;
                std::uint8_t* p = &canvas[(std::size_t(d.Top + y) * std::size_t(gif->SWidth) + std::size_t(d.Left + x)) * 4];
                p[0] = map->Colors[index].Red, p[1] = map->Colors[index].Green, p[2] = map->Colors[index].Blue, p[3] = 255;
            }
        decoded.frames.push_back(canvas);
        decoded.delays.push_back(gcb.DelayTime);
        if (gcb.DisposalMode == DISPOSE_BACKGROUND)
            for (int y = d.Top; y < d.Top + d.Height; ++y)
                std::fill_n(canvas.begin() + (std::ptrdiff_t(y) * gif->SWidth + d.Left) * 4, d.Width * 4, std::uint8_t(0));
        else if (gcb.DisposalMode == DISPOSE_PREVIOUS)
            canvas = before;
    }
    DGifCloseFile(gif, &error);
    return decoded;
}

TEST(GifMakerAlpha, ClearPixelsStayClearAsTheyMove)
{
    test::TempDir dir;
    const std::string webp = (dir / "moving.webp").string();
    ASSERT_TRUE(writeAnimatedWebp(webp, {100, 300, 50, 200}));
    const struct {
        GifPalette palette;
        GifDither dither;
        bool optimize;
        int lossy;
        int quality = 0;
        std::int64_t maxSize = 0;
        bool list = false;   // the frames as a list of pictures, not one animation
    } cases[] = {
        {GifPalette::Halftone, GifDither::Ordered, false, 0},   // the defaults
        {GifPalette::Halftone, GifDither::Ordered, true, 0},
        {GifPalette::Optimal, GifDither::Diffusion, false, 0},
        {GifPalette::Global, GifDither::None, true, 0},
        {GifPalette::Global, GifDither::Ordered8, true, 40},
        {GifPalette::PerFrame, GifDither::None, true, 0},
        {GifPalette::Halftone, GifDither::Ordered, false, 0, 90},         // the quality knob's choices
        {GifPalette::Halftone, GifDither::Ordered, false, 0, 0, 4000},   // the size search's
        {GifPalette::Halftone, GifDither::Ordered, false, 0, 0, 0, true},
        {GifPalette::Global, GifDither::None, true, 0, 0, 0, true},
    };
    const std::vector<std::string> pictures = writeStillWebps(dir);
    for (const auto& c : cases) {
        GifMakerRequest request;
        request.inputs = c.list ? pictures : std::vector<std::string>{webp};
        request.outputFile = (dir / "out.gif").string();
        request.gif.palette = c.palette;
        request.gif.dither = c.dither;
        request.gif.optimize = c.optimize;
        request.gif.lossy = c.lossy;
        request.gif.quality = c.quality;
        if (c.maxSize > 0)
            request.gif.maxSize = c.maxSize;
        const GifMakerOutcome outcome = makeGif(request);
        ASSERT_TRUE(outcome.written) << outcome.error;
        const Decoded gif = decodeWithGiflib(request.outputFile);
        ASSERT_EQ(gif.frames.size(), std::size_t(kFrames)) << int(c.palette);
        const std::vector<int> delays = c.list ? std::vector<int>(kFrames, 10) : std::vector<int>{10, 30, 5, 20};
        EXPECT_EQ(gif.delays, delays);
        int wrong = 0;
        for (int k = 0; k < kFrames; ++k)
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    const std::array<std::uint8_t, 4> want = sourcePixel(k, x, y);
                    const std::uint8_t* got = &gif.frames[std::size_t(k)][(std::size_t(y) * kWidth + std::size_t(x)) * 4];
                    const bool clear = want[3] < 128;
                    wrong += (got[3] == 0) != clear || (!clear && (std::abs(got[0] - want[0]) > 8 ||
                                                                  std::abs(got[1] - want[1]) > 8 ||
                                                                  std::abs(got[2] - want[2]) > 8));
                }
        EXPECT_EQ(wrong, 0) << "palette " << int(c.palette) << " dither " << int(c.dither) << " optimise "
                            << c.optimize << " lossy " << c.lossy << " quality " << c.quality << " size " << c.maxSize << " list " << c.list;
    }
}

// Nearly still frames under the quality knob, whose lossy coding may leave a shown pixel
// within its bound: a pixel shown clear is never left where the frame has a colour.
TEST(GifMakerAlpha, ClearPixelsStayClearUnderTheKnobOnNearlyStillFrames)
{
    test::TempDir dir;
    const std::string webp = (dir / "noisy.webp").string();
    ASSERT_TRUE(writeAnimatedWebp(webp, {100, 100, 100, 100}, true));
    for (const int quality : {30, 50, 70}) {
        GifMakerRequest request;
        request.inputs = {webp};
        request.outputFile = (dir / "out.gif").string();
        request.gif.quality = quality;
        const GifMakerOutcome outcome = makeGif(request);
        ASSERT_TRUE(outcome.written) << outcome.error;
        const Decoded gif = decodeWithGiflib(request.outputFile);
        ASSERT_EQ(gif.frames.size(), std::size_t(kFrames));
        int wrong = 0;
        for (int k = 0; k < kFrames; ++k)
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x)
                    wrong += (gif.frames[std::size_t(k)][(std::size_t(y) * kWidth + std::size_t(x)) * 4 + 3] == 0) !=
                             (sourcePixel(k, x, y, true)[3] < 128);
        EXPECT_EQ(wrong, 0) << "quality " << quality;
    }
}

}  // namespace
}  // namespace vantorell
