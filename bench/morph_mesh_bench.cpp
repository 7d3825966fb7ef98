// A moved-mesh morph frame at 1920 x 1080 as the Fade job renders each frame of a true morph:
// the in-between triangle list and the frame rendered straight onto the frame surface's image
// (RenderWarpedFrame), beside the full engine (RenderMorphFrame) for the same frame, which needs
// the triangle map drawn and captured first.
#include "mix/MeshFile.h"
#include "mix/MorphEngine.h"
#include "mix/MorphWarp.h"

#include "platform/Bitmap.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace vantorell;

namespace {

Bitmap noise(int width, int height, unsigned seed)
{
    Bitmap image(width, height);
    std::mt19937 rng(seed);
    std::uint8_t* bits = image.mutableBits();
    for (std::size_t i = 0; i < image.byteCount(); ++i)
        bits[i] = (i % 4 == 3) ? 0 : std::uint8_t(rng());
    return image;
}

// Every inner point of both meshes moved by up to a fifth of a cell, without folds.
MorphMeshPair movedMeshes(int width, int height, int cells)
{
    MorphMeshPair pair = regularMeshPair(cells, cells, width, height, width, height);
    std::mt19937 rng(11);
    const int dx = width / cells / 5, dy = height / cells / 5;
    for (MorphMesh* mesh : {&pair.mesh1, &pair.mesh2})
        for (int r = 2; r <= cells; ++r)
            for (int c = 2; c <= cells; ++c) {
                MeshPoint& p = mesh->point(c, r);
                p.x += int(rng() % unsigned(2 * dx + 1)) - dx;
                p.y += int(rng() % unsigned(2 * dy + 1)) - dy;
            }
    return pair;
}

void movedMeshFrame(benchmark::State& state, bool warped)
{
    const int width = 1920, height = 1080, cells = int(state.range(0));
    const MorphMeshPair pair = movedMeshes(width, height, cells);
    if (checkMeshPair(pair))
        state.SkipWithError("the meshes fold");
    const TriangleList listA = meshToTriangles(pair.mesh1), listB = meshToTriangles(pair.mesh2);
    PixelBuffer a, b, out;
    a.capture(noise(width, height, 1));
    b.capture(noise(width, height, 2));
    Bitmap frame(width, height);
    for (auto _ : state) {
        const TriangleList listOut = interpolateTriangles(listA, listB, 0.4f);
        if (warped) {
            renderWarpedFrame(a, listA, b, listB, frame, listOut, 0.4f);
        } else {
            drawTriangleMap(frame, listOut);
            out.capture(frame);
            renderMorphFrame(a, listA, b, listB, out, listOut, 0.4f);
        }
        benchmark::DoNotOptimize(frame.bits());
    }
}

}  // namespace

// The Fade job's path for two different meshes, and the full engine it replaces there.
BENCHMARK_CAPTURE(movedMeshFrame, warped, true)->Arg(5)->Arg(16)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(movedMeshFrame, fullEngine, false)->Arg(5)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
