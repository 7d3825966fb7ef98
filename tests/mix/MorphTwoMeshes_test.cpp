// Two different meshes through the morph engine, against a straightforward backward mapping
// written here: for each pixel the last triangle of the frame's list that holds it, exact
// barycentric weights in double precision, the positions rounded and clamped to the frame, the
// colours mixed in double precision.
#include "mix/MeshFile.h"
#include "mix/MorphEngine.h"
#include "mix/MorphWarp.h"

#include "platform/Bitmap.h"
#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace vantorell;

namespace {

// Smooth pictures: neighbouring pixels differ by at most a level or two per channel, so a
// position that rounds the other way at a tie moves a colour by little.
Bitmap gradient(int width, int height, int phase)
{
    Bitmap image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = image.mutableRow(y) + 4 * x;
            p[0] = std::uint8_t((x + phase) / 2 % 256);
            p[1] = std::uint8_t((y + 2 * phase) / 2 % 256);
            p[2] = std::uint8_t((x + y + phase) / 4 % 256);
            p[3] = 0;
        }
    return image;
}

PixelBuffer bufferOf(const Bitmap& image)
{
    PixelBuffer buffer;
    buffer.capture(image);
    return buffer;
}

// The frame of the full engine, or of the triangle-by-triangle warp the Fade job uses.
PixelBuffer engineFrame(const PixelBuffer& a, const TriangleList& listA, const PixelBuffer& b, const TriangleList& listB,
                        int width, int height, float shapeT, float colourT, bool warped = false)
{
    const TriangleList listOut = interpolateTriangles(listA, listB, shapeT);
    Bitmap map(width, height);
    drawTriangleMap(map, listOut);
    PixelBuffer out;
    out.capture(map);
    if (warped)
        renderWarpedFrame(a, listA, b, listB, out, listOut, colourT);
    else
        renderMorphFrame(a, listA, b, listB, out, listOut, colourT);
    return out;
}

std::uint8_t sample(const Bitmap& picture, int channel, int x, int y)
{
    if (x >= picture.width() || y >= picture.height())
        return 255;
    return picture.row(y)[4 * x + channel];
}

// The reference frame; false at pixels that no triangle holds.
Bitmap referenceFrame(const Bitmap& a, const TriangleList& listA, const Bitmap& b, const TriangleList& listB,
                      int width, int height, float shapeT, float colourT, std::vector<char>& covered)
{
    const TriangleList listOut = interpolateTriangles(listA, listB, shapeT);
    Bitmap frame(width, height);
    covered.assign(std::size_t(width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            for (std::size_t k = listOut.size(); k-- > 0;) {
                const MeshPoint* p = listOut[k].p;
                const double det = double(p[1].y - p[2].y) * (p[0].x - p[2].x) + double(p[2].x - p[1].x) * (p[0].y - p[2].y);
                if (det == 0)
                    continue;
                const double w0 = (double(p[1].y - p[2].y) * (x - p[2].x) + double(p[2].x - p[1].x) * (y - p[2].y)) / det;
                const double w1 = (double(p[2].y - p[0].y) * (x - p[2].x) + double(p[0].x - p[2].x) * (y - p[2].y)) / det;
                const double w2 = 1 - w0 - w1;
                if (w0 < -1e-9 || w1 < -1e-9 || w2 < -1e-9)
                    continue;
                const auto position = [&](const MeshTriangle& t, bool isX, int limit) {
                    const double v = isX ? w0 * t.p[0].x + w1 * t.p[1].x + w2 * t.p[2].x
                                         : w0 * t.p[0].y + w1 * t.p[1].y + w2 * t.p[2].y;
                    return std::clamp(int(std::lrint(v)), 0, limit - 1);
                };
                const int ax = position(listA[k], true, width), ay = position(listA[k], false, height);
                const int bx = position(listB[k], true, width), by = position(listB[k], false, height);
                std::uint8_t* out = frame.mutableRow(y) + 4 * x;
                for (int c = 0; c < 3; ++c)
                    out[c] = std::uint8_t(std::lrint(sample(b, c, bx, by) * double(colourT) +
                                                     sample(a, c, ax, ay) * (1.0 - double(colourT))));
                covered[std::size_t(y) * width + x] = 1;
                break;
            }
        }
    return frame;
}

MorphMeshPair movedPair(int width, int height)
{
    MorphMeshPair pair = regularMeshPair(4, 3, width, height, width, height);
    pair.mesh1.point(2, 2) = {pair.mesh1.point(2, 2).x + 9, pair.mesh1.point(2, 2).y + 5};
    pair.mesh2.point(2, 2) = {pair.mesh2.point(2, 2).x - 8, pair.mesh2.point(2, 2).y - 6};
    pair.mesh2.point(4, 3) = {pair.mesh2.point(4, 3).x + 11, pair.mesh2.point(4, 3).y - 4};
    pair.mesh1.point(3, 1) = {pair.mesh1.point(3, 1).x + 7, 0};   // a point moved along the top edge
    EXPECT_FALSE(checkMeshPair(pair)) << *checkMeshPair(pair);
    return pair;
}

}  // namespace

TEST(MorphTwoMeshes, MatchesABackwardMappingReferenceWithinOneLevel)
{
    const int width = 120, height = 90;
    const Bitmap a = gradient(width, height, 0), b = gradient(width, height, 90);
    const MorphMeshPair pair = movedPair(width, height);
    const TriangleList listA = meshToTriangles(pair.mesh1), listB = meshToTriangles(pair.mesh2);
    const PixelBuffer bufferA = bufferOf(a), bufferB = bufferOf(b);
    for (bool warped : {false, true})
    for (const auto& [shapeT, colourT] : {std::pair{0.0f, 0.0f}, {0.25f, 0.25f}, {0.5f, 0.3f}, {0.8f, 0.9f}, {1.0f, 1.0f}}) {
        SCOPED_TRACE(warped ? "warped" : "full engine");
        const PixelBuffer engine = engineFrame(bufferA, listA, bufferB, listB, width, height, shapeT, colourT, warped);
        std::vector<char> covered;
        const Bitmap reference = referenceFrame(a, listA, b, listB, width, height, shapeT, colourT, covered);
        int worst = 0, compared = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                if (!covered[std::size_t(y) * width + x])
                    continue;
                ++compared;
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(int(engine.at(c, x, y)) - int(reference.row(y)[4 * x + c])));
            }
        EXPECT_EQ(compared, width * height) << "t " << shapeT;
        EXPECT_LE(worst, 1) << "shape t " << shapeT << ", colour t " << colourT;
    }
}

TEST(MorphTwoMeshes, FirstAndLastFramesAreThePicturesExactly)
{
    const int width = 96, height = 64;
    const Bitmap a = gradient(width, height, 3), b = gradient(width, height, 200);
    const MorphMeshPair pair = movedPair(width, height);
    const TriangleList listA = meshToTriangles(pair.mesh1), listB = meshToTriangles(pair.mesh2);
    const PixelBuffer bufferA = bufferOf(a), bufferB = bufferOf(b);
    for (bool warped : {false, true}) {
    const PixelBuffer first = engineFrame(bufferA, listA, bufferB, listB, width, height, 0.0f, 0.0f, warped);
    const PixelBuffer last = engineFrame(bufferA, listA, bufferB, listB, width, height, 1.0f, 1.0f, warped);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(first.at(c, x, y), a.row(y)[4 * x + c]) << x << "," << y;
                ASSERT_EQ(last.at(c, x, y), b.row(y)[4 * x + c]) << x << "," << y;
            }
    }
}

TEST(MorphTwoMeshes, IdenticalMeshesStayTheFadeJobsFrames)
{
    // The t form of InterpolateTriangles is the frame form at t = float(i / (n - 1)).
    const MorphMeshPair pair = movedPair(200, 150);
    const TriangleList listA = meshToTriangles(pair.mesh1), listB = meshToTriangles(pair.mesh2);
    for (int n : {1, 2, 7, 10, 33})
        for (int i = 0; i < n; ++i) {
            const float t = n == 1 ? 0.0f : float(double(i) / double(n - 1));
            EXPECT_EQ(interpolateTriangles(listA, listB, t), interpolateTriangles(listA, listB, i, n - 1));
        }
}

TEST(MorphTwoMeshes, ASmallerSecondPictureReadsWhiteBeyondItsEdge)
{
    // Mesh 2 reaches past the second picture's pixels: the engine reads white there, never
    // outside the picture's memory (the sanitizer builds check the reads).
    const int width = 80, height = 60;
    const Bitmap a = gradient(width, height, 0), b = gradient(40, 30, 0);
    const MorphMeshPair pair = movedPair(width, height);
    const TriangleList listA = meshToTriangles(pair.mesh1), listB = meshToTriangles(pair.mesh2);
    for (bool warped : {false, true}) {
        const PixelBuffer last = engineFrame(bufferOf(a), listA, bufferOf(b), listB, width, height, 1.0f, 1.0f, warped);
        EXPECT_EQ(last.at(0, 70, 50), 255);
        EXPECT_EQ(last.at(0, 10, 10), b.row(10)[4 * 10]);
    }
}

TEST(MorphTwoMeshes, TheWarpMatchesTheReferenceOnLargerFramesAndFinerGrids)
{
    // Several grids whose meshes move in opposite directions, so that in-between triangles turn
    // thin; the warp's exact weights keep every pixel within a level of the reference.
    const int width = 301, height = 203;
    const Bitmap a = gradient(width, height, 5), b = gradient(width, height, 140);
    for (int cells : {2, 5, 16}) {
        MorphMeshPair pair = regularMeshPair(cells, cells, width, height, width, height);
        for (int r = 2; r <= cells; ++r)
            for (int c = 2; c <= cells; ++c) {
                MeshPoint& p1 = pair.mesh1.point(c, r);
                MeshPoint& p2 = pair.mesh2.point(c, r);
                const int dx = width / cells / 4, dy = height / cells / 4;
                p1 = {p1.x + ((r + c) % 2 ? dx : -dx), p1.y + (c % 3 ? dy : -dy)};
                p2 = {p2.x - ((r + c) % 2 ? dx : -dx), p2.y - (c % 3 ? dy : -dy)};
            }
        ASSERT_FALSE(checkMeshPair(pair)) << *checkMeshPair(pair);
        const TriangleList listA = meshToTriangles(pair.mesh1), listB = meshToTriangles(pair.mesh2);
        const PixelBuffer bufferA = bufferOf(a), bufferB = bufferOf(b);
        for (float t : {0.1f, 0.5f, 0.7f}) {
            const PixelBuffer warped = engineFrame(bufferA, listA, bufferB, listB, width, height, t, t, true);
            std::vector<char> covered;
            const Bitmap reference = referenceFrame(a, listA, b, listB, width, height, t, t, covered);
            int worst = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    for (int c = 0; c < 3; ++c)
                        worst = std::max(worst, std::abs(int(warped.at(c, x, y)) - int(reference.row(y)[4 * x + c])));
            EXPECT_LE(worst, 1) << cells << " cells, t " << t;
        }
    }
}

TEST(MorphTwoMeshes, RenderingOntoTheSurfaceEqualsMapCaptureWarpAndWriteBack)
{
    // The target holds an earlier frame with stray fourth bytes; the second mesh is narrower
    // than the frame, so in-between frames leave a strip no triangle holds, which keeps its colour.
    const int width = 120, height = 90;
    const PixelBuffer bufferA = bufferOf(gradient(width, height, 0)), bufferB = bufferOf(gradient(width, height, 90));
    MorphMeshPair pair = movedPair(width, height);
    for (int r = 1; r <= pair.mesh2.rows + 1; ++r)
        pair.mesh2.point(pair.mesh2.columns + 1, r).x = width - 12;
    const TriangleList listA = meshToTriangles(pair.mesh1), listB = meshToTriangles(pair.mesh2);
    for (float t : {0.0f, 0.4f, 1.0f}) {
        const TriangleList listOut = interpolateTriangles(listA, listB, t);
        Bitmap earlier = gradient(width, height, 33);
        for (std::size_t i = 3; i < earlier.byteCount(); i += 8)
            earlier.mutableBits()[i] = 0x5A;
        Bitmap expected = earlier;
        drawTriangleMap(expected, listOut);
        PixelBuffer capture;
        capture.capture(expected);
        renderWarpedFrame(bufferA, listA, bufferB, listB, capture, listOut, t);
        Bitmap direct = earlier;
        renderWarpedFrame(bufferA, listA, bufferB, listB, direct, listOut, t);
        ASSERT_EQ(std::memcmp(direct.bits(), capture.data(), direct.byteCount()), 0) << "t " << t;
    }
    Bitmap empty;
    EXPECT_THROW(renderWarpedFrame(bufferA, listA, bufferB, listB, empty, listA, 0.5f), RuntimeError);
}
