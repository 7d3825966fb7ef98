// GIF LZW speed against giflib on what the fade job writes: ten 1920 x 1080 frames of a
// photograph cross-fade, reduced to the 216-colour halftone cube with a 4 x 4 ordered dither.
//   encode: LzwEncoder::encodeFrame vs giflib EGifPutLine (both into memory)
//   decode: GifDocument::loadFromStream vs giflib DGifSlurp on the same GIF bytes (both from memory),
//           and LzwDecoder::decodeFrame alone
// Bytes processed are pixels (one byte each), so bytes_per_second reads as pixel MB/s.
#include "gif/GifDocument.h"
#include "gif/LzwDecoder.h"
#include "gif/LzwEncoder.h"
#include "job/SilentUi.h"

#include <QImage>
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

using namespace vantorell;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 10;

using Bytes = std::vector<std::uint8_t>;

QImage loadSample(const char* name)
{
    const auto samples = std::filesystem::path(__FILE__).parent_path().parent_path() / "assets/samples";
    QImage image(QString::fromStdString((samples / name).string()));
    if (image.isNull()) {
        std::fprintf(stderr, "cannot load sample %s\n", name);
        std::abort();
    }
    return image.convertToFormat(QImage::Format_RGB32)
        .scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Ten frames, each a cross-fade step dithered to the 6 x 6 x 6 cube (index 36r + 6g + b).
const std::vector<Bytes>& frames()
{
    static const std::vector<Bytes> result = [] {
        const QImage a = loadSample("sample1.jpg");
        const QImage b = loadSample("sample2.jpg");
        static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
        std::vector<Bytes> out;
        for (int f = 0; f < kFrames; ++f) {
            const double t = f / double(kFrames - 1);
            Bytes px(std::size_t(kWidth) * kHeight);
            for (int y = 0; y < kHeight; ++y) {
                const QRgb* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
                const QRgb* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
                for (int x = 0; x < kWidth; ++x) {
                    const double d = (bayer[y & 3][x & 3] + 0.5) / 16.0;
                    auto level = [&](int ca, int cb) {
                        const double v = (ca * (1 - t) + cb * t) / 51.0 + d - 0.5;
                        return v < 0 ? 0 : v > 5 ? 5 : int(v + 0.5);
                    };
                    const int r = level(qRed(ra[x]), qRed(rb[x]));
                    const int g = level(qGreen(ra[x]), qGreen(rb[x]));
                    const int bl = level(qBlue(ra[x]), qBlue(rb[x]));
                    px[std::size_t(y) * kWidth + x] = std::uint8_t(36 * r + 6 * g + bl);
                }
            }
            out.push_back(std::move(px));
        }
        return out;
    }();
    return result;
}

int writeToVector(GifFileType* gif, const GifByteType* data, int length)
{
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

struct MemoryInput {
    const Bytes* bytes;
    std::size_t pos = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* data, int length)
{
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    const std::size_t n = std::min<std::size_t>(std::size_t(length), in->bytes->size() - in->pos);
    std::memcpy(data, in->bytes->data() + in->pos, n);
    in->pos += n;
    return int(n);
}

Bytes encodeWithGiflib()
{
    Bytes out;
    out.reserve(40u << 20);
    int error = 0;
    GifFileType* gif = EGifOpen(&out, writeToVector, &error);
    EGifSetGifVersion(gif, true);
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 216; ++i)
        colours[std::size_t(i)] = {GifByteType(i / 36 * 51), GifByteType(i / 6 % 6 * 51), GifByteType(i % 6 * 51)};
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map);
    for (const Bytes& px : frames()) {
        EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
        for (int y = 0; y < kHeight; ++y)
            EGifPutLine(gif, const_cast<GifPixelType*>(px.data() + std::size_t(y) * kWidth), kWidth);
    }
    GifFreeMapObject(map);
    EGifCloseFile(gif, &error);
    return out;
}

Bytes encodeWithOurs(LzwEncoder& enc)
{
    Bytes out;
    out.reserve(40u << 20);
    for (const Bytes& px : frames()) {
        out.push_back(8);
        enc.encodeFrame({px.data(), kWidth, kWidth, kHeight}, false, 9, out);
        out.push_back(0);
    }
    return out;
}

// The whole animation in memory for the decoders: a 256-entry global table, loop for ever, and
// per frame a graphic control extension (disposal 3, delay 20), the image descriptor and the
// frame's LZW data from encodeWithOurs.
const Bytes& ourGifFile()
{
    static const Bytes file = [] {
        auto put16 = [](Bytes& out, int v) {
            out.push_back(std::uint8_t(v & 0xFF));
            out.push_back(std::uint8_t(v >> 8));
        };
        Bytes out{'G', 'I', 'F', '8', '9', 'a'};
        put16(out, kWidth);
        put16(out, kHeight);
        out.insert(out.end(), {0xF7, 0, 0});
        out.insert(out.end(), 256 * 3, 0);
        out.insert(out.end(), {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
        LzwEncoder enc;
        for (const Bytes& px : frames()) {
            out.insert(out.end(), {0x21, 0xF9, 0x04, 3 * 4, 20, 0, 0, 0, 0x2C, 0, 0, 0, 0});
            put16(out, kWidth);
            put16(out, kHeight);
            out.push_back(0x07);
            out.push_back(8);
            enc.encodeFrame({px.data(), kWidth, kWidth, kHeight}, false, 9, out);
            out.push_back(0);
        }
        out.push_back(0x3B);
        return out;
    }();
    return file;
}

constexpr std::int64_t kPixels = std::int64_t(kWidth) * kHeight * kFrames;

void BM_EncodeVantorell(benchmark::State& state)
{
    frames();
    LzwEncoder enc;
    std::size_t size = 0;
    for (auto _ : state) {
        const Bytes out = encodeWithOurs(enc);
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kPixels);
    state.counters["compressed_MB"] = double(size) / 1e6;
}
BENCHMARK(BM_EncodeVantorell)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_EncodeGiflibEGifPutLine(benchmark::State& state)
{
    frames();
    std::size_t size = 0;
    for (auto _ : state) {
        const Bytes out = encodeWithGiflib();
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kPixels);
    state.counters["compressed_MB"] = double(size) / 1e6;
}
BENCHMARK(BM_EncodeGiflibEGifPutLine)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_DecodeVantorellLoadFromStream(benchmark::State& state)
{
    const Bytes& file = ourGifFile();
    GifDocument doc;
    for (auto _ : state) {
        if (!doc.loadFromStream(file) || doc.framesCount() != kFrames)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(doc.frameImage(kFrames).bits());
    }
    state.SetBytesProcessed(state.iterations() * kPixels);
}
BENCHMARK(BM_DecodeVantorellLoadFromStream)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_DecodeGiflibDGifSlurp(benchmark::State& state)
{
    const Bytes& file = ourGifFile();
    for (auto _ : state) {
        MemoryInput input{&file};
        int error = 0;
        GifFileType* gif = DGifOpen(&input, readFromMemory, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK || gif->ImageCount != kFrames)
            state.SkipWithError("DGifSlurp failed");
        benchmark::DoNotOptimize(gif->SavedImages[kFrames - 1].RasterBits);
        DGifCloseFile(gif, &error);
    }
    state.SetBytesProcessed(state.iterations() * kPixels);
}
BENCHMARK(BM_DecodeGiflibDGifSlurp)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The decoder alone, into one reused buffer.
void BM_DecodeVantorellLzwOnly(benchmark::State& state)
{
    LzwEncoder enc;
    std::vector<Bytes> data;
    for (const Bytes& px : frames()) {
        Bytes blocks;
        enc.encodeFrame({px.data(), kWidth, kWidth, kHeight}, false, 9, blocks);
        Bytes joined;
        for (std::size_t i = 0; i < blocks.size();) {
            const std::size_t n = blocks[i++];
            joined.insert(joined.end(), blocks.begin() + std::ptrdiff_t(i), blocks.begin() + std::ptrdiff_t(i + n));
            i += n;
        }
        data.push_back(std::move(joined));
    }
    LzwDecoder dec;
    Bytes out(std::size_t(kWidth) * kHeight);
    for (auto _ : state) {
        for (const Bytes& d : data)
            dec.decodeFrame(d, 8, {out.data(), kWidth, kWidth, kHeight}, false);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kPixels);
}
BENCHMARK(BM_DecodeVantorellLzwOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
