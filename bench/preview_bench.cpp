// The window's live preview with two 4000 x 3000 JPEG photographs (synthetic, written once to
// the temporary folder): the first preview after the second picture is chosen (both decoded at
// the DCT scale that covers the 729 x 425 canvas, then the Blend rendered), a Blend Size or
// direction change (the canvas rendered again), and one Fade frame for the slider, as AVI
// pixels and after the GIF palette and dither (at the preview's 729 x 547 at most). Goals: 300 ms, 30 ms, 50 ms (medians).
//   ninja -C build bench_preview &&
//   build/bench/bench_preview --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include "job/MixJob.h"
#include "job/PreviewRender.h"
#include "platform/JpegCodec.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>

using namespace vantorell;

namespace {

// A photograph-like 4000 x 3000 picture: smooth gradients with fine detail, as JPEG quality 90.
std::string photo(const char* name, int seed)
{
    const auto file = std::filesystem::temp_directory_path() / name;
    if (std::filesystem::exists(file))
        return file.string();
    Bitmap bits(4000, 3000);
    for (int y = 0; y < bits.height(); ++y) {
        std::uint8_t* row = bits.mutableRow(y);
        for (int x = 0; x < bits.width(); ++x) {
            row[4 * x] = std::uint8_t((x / 16 + seed * 40) & 255);
            row[4 * x + 1] = std::uint8_t(128 + 100 * std::sin((x + y * seed) / 300.0) + ((x * y) & 15));
            row[4 * x + 2] = std::uint8_t((y / 12 + x / 40 + seed * 70) & 255);
        }
    }
    encodeJpeg(bits, file.string(), 90);
    return file.string();
}

const std::string& first() { static const std::string f = photo("vantorell-bench-photo-a.jpg", 1); return f; }
const std::string& second() { static const std::string f = photo("vantorell-bench-photo-b.jpg", 3); return f; }

Picture load(const std::string& file) { return loadPreviewPicture(file, kBlendCanvasWidth, kBlendCanvasHeight); }

void BM_FirstPreview(benchmark::State& state)
{
    const Picture a = load(first());   // chosen earlier
    for (auto _ : state) {
        const Picture b = load(second());
        benchmark::DoNotOptimize(renderBlendPreview(a, b, BlendDirection::Left, 200));
    }
}

void BM_BlendSizeChange(benchmark::State& state)
{
    const Picture a = load(first()), b = load(second());
    int start = 0;
    for (auto _ : state) {
        start = (start + 37) % 729;
        benchmark::DoNotOptimize(renderBlendPreview(a, b, BlendDirection::Top, start));
    }
}

void BM_FadeFrame(benchmark::State& state, bool gif)
{
    const Picture a = reduceToFit(load(first()), 729, 547), b = matchScale(a, load(second()));
    MixRequest request;
    const std::unique_ptr<FadeRenderer> fade = makeFadeRenderer(request, 10, a, b);
    GifFramePreview reduce;
    FadePreviewFrames frames(*fade);
    GifOptions options;
    options.palette = GifPalette::Optimal;
    options.dither = GifDither::Diffusion;
    int i = 0;
    for (auto _ : state) {
        i = (i + 3) % 10;
        if (gif)
            benchmark::DoNotOptimize(reduce.shown(frames, i, options));
        else
            benchmark::DoNotOptimize(fade->render(i));
    }
    state.counters["width"] = frames.width();
    state.counters["height"] = frames.height();
}

}  // namespace

BENCHMARK(BM_FirstPreview)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BlendSizeChange)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FadeFrame, avi, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FadeFrame, gif_optimal_diffusion, true)->Unit(benchmark::kMillisecond)->UseRealTime();
