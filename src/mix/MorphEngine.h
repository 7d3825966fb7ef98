// The triangle-mesh morph engine that renders the Fade job's frames. Each picture carries a
// mesh of control points; for frame i the meshes are interpolated, the frame is divided into
// the interpolated triangles by a triangle-number map, and every pixel is mapped back into the
// matching triangle of each picture through barycentric weights and cross-faded with t.
//
// The Fade job lays the same regular 5 x 5 mesh over both pictures, so every sampling position
// is the pixel itself and a frame is the exact per-channel cross-fade; two different meshes
// (true morphing) render through the same code.
//
// Precision: every named quantity of the formulas (slopes, distances, areas, weights, t) is a
// single-precision value; the expression that forms it from integer coordinates is evaluated
// in double precision and rounded once when stored. This keeps a vertical edge's substitute
// slope of 1e20 from overflowing single precision in m * m (which would make every such
// triangle's area 0). The cross-fade itself is single precision step by step:
// out = nearest(float(float(B * t) + float(A * u))), built without fused multiply-add.
#pragma once

#include "mix/PixelBuffer.h"

#include <cstdint>
#include <vector>

namespace vantorell {

class Bitmap;
class WorkSurface;

struct MeshPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const MeshPoint&, const MeshPoint&) = default;
};

struct MorphMesh {
    std::int32_t reserved = 0;
    std::int32_t pointRadius = 0;
    std::int32_t lineColor = 0;     // 0x00BBGGRR
    std::int32_t pointColor = 0;
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    std::vector<MeshPoint> points;  // (columns + 1) x (rows + 1), column fastest
    std::int32_t width = 0;
    std::int32_t height = 0;

    // The point at (column, row), column in 1 ... columns + 1, row in 1 ... rows + 1.
    MeshPoint& point(int column, int row);
    const MeshPoint& point(int column, int row) const;
};

struct MeshTriangle {
    MeshPoint p[3];
    friend bool operator==(const MeshTriangle&, const MeshTriangle&) = default;
};

// A triangle list indexed from 1: triangle k is element k - 1.
using TriangleList = std::vector<MeshTriangle>;

struct BarycentricWeightsResult {
    float w0 = 0, w1 = 0, w2 = 0;
};

// Mesh 1 over the first picture's drawable size, mesh 2 a copy of it, both made regular. No
// preview is drawn: nothing shows the job's surfaces, and drawing on a 12-megapixel picture
// would copy it just to be cleared again.
void setupMorphMeshes(MorphMesh& startMesh, MorphMesh& endMesh, WorkSurface& startPreview, WorkSurface& endPreview);
void makeRegularMesh(MorphMesh& mesh);

// Two triangles per cell, rows outer and columns inner: (TL, BL, BR) then (TL, TR, BR).
TriangleList meshToTriangles(const MorphMesh& mesh);
// The list of frame `frame` of lastFrame + 1 frames: t = frame / lastFrame; lastFrame = 0 gives
// t = 0 (a single frame is the first picture). Raises SubscriptOutOfRange when listB is shorter
// than listA.
TriangleList interpolateTriangles(const TriangleList& listA, const TriangleList& listB, int frame, int lastFrame);
// The same at a given progress t (0 ... 1): every coordinate is nearest(t x (B - A) + A), t taken
// to double precision; the frame form above is this one with t = float(frame / lastFrame).
TriangleList interpolateTriangles(const TriangleList& listA, const TriangleList& listB, float t);

// Paints triangle k of the list with colour k x 10 (red + 256 green + 65536 blue), in list
// order without outline. Pixel (x, y) ends with the last triangle whose closed area contains
// the point (x, y); a triangle of zero area paints nothing.
void drawTriangleMap(Bitmap& image, const TriangleList& list);
void drawTriangleMap(WorkSurface& surface, const TriangleList& list);
// Fills the closed polygon of count points (3; other counts paint nothing) with the colour.
void fillTriangle(Bitmap& image, const MeshPoint* points, std::int32_t colour, int count);
// The columns [lo, hi] of row y inside the closed triangle, within [0, width - 1] (lo > hi when
// none): FillTriangle's exact integer edge tests, for a triangle of non-zero area.
void triangleRowSpan(const MeshPoint* points, std::int64_t y, std::int64_t width, std::int64_t& lo, std::int64_t& hi);

float triangleArea(const MeshPoint& p0, const MeshPoint& p1, const MeshPoint& p2);
BarycentricWeightsResult barycentricWeights(const MeshTriangle& triangle, int x, int y, float area);

// Renders one frame into bufferOut, which holds the triangle map on entry: every pixel of a
// triangle of listOut is sampled in the matching triangles of listA (bufferA) and listB
// (bufferB) and cross-faded with t. Sampling positions are clamped to bufferOut's size;
// a position the picture's buffer does not cover (a smaller second picture) reads white.
// Map pixels that name no triangle of listOut are left as they are.
void renderMorphFrame(const PixelBuffer& bufferA, const TriangleList& listA, const PixelBuffer& bufferB,
                      const TriangleList& listB, PixelBuffer& bufferOut, const TriangleList& listOut, float t);

// The fast path for the Fade job's frames. While listA, listB and listOut are one list (the job's
// identical meshes), each pixel's sampling positions do not depend on the frame. The plan
// remembers, per pixel, the triangle whose positions were found to be the pixel itself; later
// frames cross-fade those pixels through a 64 K lookup table of the exact single-precision
// formula and run the full engine for every other pixel. Every frame is bit-identical to
// renderMorphFrame (tests compare them).
class MorphFramePlan {
public:
    void reset();
    bool ready() const { return !m_triangleOf.empty(); }
    // True when the plan was made for this list on a frame of this size and the list covers
    // every pixel. DrawTriangleMap then paints every pixel, so the map it would draw is known
    // whatever the frame held before (RenderPlannedFrame).
    bool knowsMap(const TriangleList& list, int width, int height) const;

private:
    friend void renderMorphFrame(const PixelBuffer&, const TriangleList&, const PixelBuffer&, const TriangleList&,
                                 PixelBuffer&, const TriangleList&, float, MorphFramePlan*);
    friend void renderPlannedFrame(const PixelBuffer&, const PixelBuffer&, Bitmap&, float, const MorphFramePlan&);
    void learnMap();

    TriangleList m_list;
    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint8_t> m_triangleOf;   // per pixel: n (1 ... 255), 0 when not the identity
    std::vector<std::uint8_t> m_mapTriangle;  // per pixel: the map's triangle; empty unless all covered
};

void renderMorphFrame(const PixelBuffer& bufferA, const TriangleList& listA, const PixelBuffer& bufferB,
                      const TriangleList& listB, PixelBuffer& bufferOut, const TriangleList& listOut, float t,
                      MorphFramePlan* plan);

// A later frame of the plan's geometry, where plan.knowsMap(list, out's size) holds and listA,
// listB and the frame's list are that list: renders straight into `out` (a surface's drawn
// image) and writes every byte of it, exactly what RenderMorphFrame writes into a capture of the
// drawn map (fourth bytes 0), so neither the map, the capture nor the write-back is needed.
void renderPlannedFrame(const PixelBuffer& bufferA, const PixelBuffer& bufferB, Bitmap& out, float t,
                        const MorphFramePlan& plan);

}  // namespace vantorell
