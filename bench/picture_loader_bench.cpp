// How long the picture loader takes to refuse a decompression bomb: a JPEG that declares
// 65500 x 65500 pixels and a BMP that declares 30000 x 30000 are refused from their headers,
// before any pixel memory is reserved, so each refusal should take well under a millisecond
// (the tests in tests/platform/PictureLoader_test.cpp check the refusal itself).
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"

#include <benchmark/benchmark.h>

#include <filesystem>

using namespace vantorell;

namespace {

const std::filesystem::path kData = std::filesystem::path(__FILE__).parent_path().parent_path() / "tests/data/picture";

void BM_RefuseDecompressionBomb(benchmark::State& state, const char* name)
{
    const std::filesystem::path file = kData / name;
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(loadPicture(file));
            state.SkipWithError("the picture loaded");
            break;
        } catch (const RuntimeError& e) {
            benchmark::DoNotOptimize(e.number());
        }
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_RefuseDecompressionBomb, jpeg_65500x65500, "declares-65500x65500.jpg")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RefuseDecompressionBomb, bmp_30000x30000, "bmp-declares-30000x30000.bmp")
    ->Unit(benchmark::kMicrosecond);
