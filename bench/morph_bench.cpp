// The morph engine's frames: the full engine (barycentric weights for every pixel), the plan's
// first frame (the same, noting the identity pixels) and the plan's later frames (the exact
// cross-fade through a lookup table), at the Blend canvas size and at 4000 x 3000.
#include "mix/MorphEngine.h"

#include "platform/Bitmap.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace vantorell;

namespace {

struct Scene {
    int width, height;
    TriangleList list;
    PixelBuffer a, b;
    Bitmap map;

    Scene(int w, int h) : width(w), height(h), map(w, h)
    {
        MorphMesh mesh;
        mesh.columns = mesh.rows = 5;
        mesh.width = w;
        mesh.height = h;
        makeRegularMesh(mesh);
        list = meshToTriangles(mesh);
        std::mt19937 rng(7);
        Bitmap pa(w, h), pb(w, h);
        for (Bitmap* p : {&pa, &pb}) {
            std::uint8_t* bits = p->mutableBits();
            for (std::size_t i = 0; i < p->byteCount(); ++i)
                bits[i] = (i % 4 == 3) ? 0 : std::uint8_t(rng());
        }
        a.capture(pa);
        b.capture(pb);
        drawTriangleMap(map, list);
    }
};

void renderFrames(benchmark::State& state, bool usePlan, bool warmPlan)
{
    Scene scene(int(state.range(0)), int(state.range(1)));
    MorphFramePlan plan;
    PixelBuffer out;
    if (warmPlan) {
        out.capture(scene.map);
        renderMorphFrame(scene.a, scene.list, scene.b, scene.list, out, scene.list, 0.0f, &plan);
    }
    for (auto _ : state) {
        state.PauseTiming();
        out.capture(scene.map);
        out.mutableData();
        if (usePlan && !warmPlan)
            plan.reset();
        state.ResumeTiming();
        renderMorphFrame(scene.a, scene.list, scene.b, scene.list, out, scene.list, 0.25f, usePlan ? &plan : nullptr);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * scene.width * scene.height);
}

void BM_FullEngineFrame(benchmark::State& state) { renderFrames(state, false, false); }
void BM_PlanFirstFrame(benchmark::State& state) { renderFrames(state, true, false); }
void BM_PlanLaterFrame(benchmark::State& state) { renderFrames(state, true, true); }

void BM_DrawTriangleMap(benchmark::State& state)
{
    Scene scene(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        drawTriangleMap(scene.map, scene.list);
        benchmark::DoNotOptimize(scene.map.bits());
    }
    state.SetItemsProcessed(state.iterations() * scene.width * scene.height);
}

}  // namespace

BENCHMARK(BM_FullEngineFrame)->Args({729, 425})->Args({4000, 3000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlanFirstFrame)->Args({729, 425})->Args({4000, 3000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlanLaterFrame)->Args({729, 425})->Args({4000, 3000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawTriangleMap)->Args({729, 425})->Args({4000, 3000})->Unit(benchmark::kMillisecond);
