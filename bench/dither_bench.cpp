// Colour reduction kernels: DitherTo8bpp on a 1920 x 1080 32-bit frame for each palette and
// dither pair (pixels per second), and the octree palette of a 50 x 50 surface.
#include "colour/Palette8.h"
#include "colour/Ditherer.h"
#include "dib/Dib.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace vantorell;

namespace {

// A smooth picture with noise: gradients exercise every level, noise defeats branch prediction.
Dib testFrame(int width, int height)
{
    Dib dib;
    dib.create(width, height, 32);
    std::mt19937 random(1);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = dib.scanline(y);
        for (int x = 0; x < width; ++x, p += 4) {
            const int noise = int(random() % 33) - 16;
            p[0] = std::uint8_t(std::clamp(x * 255 / width + noise, 0, 255));
            p[1] = std::uint8_t(std::clamp(y * 255 / height + noise, 0, 255));
            p[2] = std::uint8_t(std::clamp((x + y) * 255 / (width + height) - noise, 0, 255));
        }
    }
    return dib;
}

void BM_DitherTo8bpp(benchmark::State& state)
{
    const Dib frame = testFrame(1920, 1080);
    Ditherer dither;
    dither.setPaletteMode(PaletteMode(state.range(0)));
    dither.setDitherMode(DitherMode(state.range(1)));
    Palette8 palette;
    Dib dst;
    dither.ditherTo8bpp(frame, dst, palette, false);   // make the palette once, as a GIF import does
    for (auto _ : state) {
        dither.ditherTo8bpp(frame, dst, palette, true);
        benchmark::DoNotOptimize(dst.bits());
    }
    state.SetItemsProcessed(state.iterations() * 1920 * 1080);
}

void BM_CreateOptimal50x50(benchmark::State& state)
{
    const Dib small = testFrame(50, 50);
    Palette8 palette;
    for (auto _ : state) {
        palette.createOptimal(small, 256, 6, 1.0f, 1.0f, 1.0f);
        benchmark::DoNotOptimize(palette.entryData());
    }
}

}  // namespace

// Arguments: palette mode (0 halftone, 1 optimal), dither mode (0 none, 1 ordered, 2 diffusion).
BENCHMARK(BM_DitherTo8bpp)
    ->ArgNames({"palette", "dither"})
    ->Args({0, 0})->Args({0, 1})->Args({0, 2})
    ->Args({1, 0})->Args({1, 1})->Args({1, 2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateOptimal50x50)->Unit(benchmark::kMicrosecond);
