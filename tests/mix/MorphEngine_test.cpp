#include "mix/MorphEngine.h"

#include "platform/Bitmap.h"
#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace vantorell;

namespace {

MorphMesh regularMesh(int width, int height, int columns = 5, int rows = 5)
{
    MorphMesh mesh;
    mesh.columns = columns;
    mesh.rows = rows;
    mesh.width = width;
    mesh.height = height;
    makeRegularMesh(mesh);
    return mesh;
}

Bitmap solid(int width, int height, std::uint8_t b, std::uint8_t g, std::uint8_t r)
{
    Bitmap image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = image.mutableRow(y) + 4 * x;
            p[0] = b, p[1] = g, p[2] = r;
        }
    return image;
}

Bitmap noise(int width, int height, unsigned seed)
{
    Bitmap image(width, height);
    std::mt19937 rng(seed);
    std::uint8_t* p = image.mutableBits();
    for (std::size_t i = 0; i < image.byteCount(); ++i)
        p[i] = (i % 4 == 3) ? 0 : std::uint8_t(rng());
    return image;
}

PixelBuffer bufferOf(const Bitmap& image)
{
    PixelBuffer buffer;
    buffer.capture(image);
    return buffer;
}

// The frame of the full engine for lists A, B and frame i of n.
PixelBuffer renderFrame(const PixelBuffer& a, const TriangleList& listA, const PixelBuffer& b,
                        const TriangleList& listB, int width, int height, int i, int n, MorphFramePlan* plan = nullptr)
{
    const TriangleList listOut = interpolateTriangles(listA, listB, i, n - 1);
    Bitmap map(width, height);
    drawTriangleMap(map, listOut);
    PixelBuffer out;
    out.capture(map);
    const float t = n == 1 ? 0.0f : float(double(i) / (n - 1));
    renderMorphFrame(a, listA, b, listB, out, listOut, t, plan);
    return out;
}

int mapId(const Bitmap& map, int x, int y)
{
    const std::uint8_t* p = map.row(y) + 4 * x;
    return (p[2] + 256 * p[1] + 65536 * p[0]) / 10;
}

bool pointInClosedTriangle(const MeshTriangle& t, long long x, long long y)
{
    auto edge = [&](const MeshPoint& a, const MeshPoint& b) {
        return (static_cast<long long>(b.x) - a.x) * (y - a.y) - (static_cast<long long>(b.y) - a.y) * (x - a.x);
    };
    const long long e0 = edge(t.p[0], t.p[1]), e1 = edge(t.p[1], t.p[2]), e2 = edge(t.p[2], t.p[0]);
    return (e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0);
}

}  // namespace

TEST(MakeRegularMesh, GivesTheGridOfA729By425Picture)
{
    const MorphMesh mesh = regularMesh(729, 425);
    const int xs[] = {0, 146, 292, 437, 583, 729};
    const int ys[] = {0, 85, 170, 255, 340, 425};
    for (int r = 1; r <= 6; ++r)
        for (int c = 1; c <= 6; ++c) {
            EXPECT_EQ(mesh.point(c, r).x, xs[c - 1]) << "column " << c << " row " << r;
            EXPECT_EQ(mesh.point(c, r).y, ys[r - 1]) << "column " << c << " row " << r;
        }
    EXPECT_THROW(mesh.point(7, 1), RuntimeError);
    MorphMesh none;
    EXPECT_THROW(makeRegularMesh(none), RuntimeError);
}

TEST(MeshToTriangles, SplitsEachCellLowerLeftHalfFirst)
{
    const MorphMesh mesh = regularMesh(729, 425);
    const TriangleList list = meshToTriangles(mesh);
    ASSERT_EQ(list.size(), 50u);
    // Cell (1, 1): (TL, BL, BR) then (TL, TR, BR).
    EXPECT_EQ(list[0], (MeshTriangle{{{0, 0}, {0, 85}, {146, 85}}}));
    EXPECT_EQ(list[1], (MeshTriangle{{{0, 0}, {146, 0}, {146, 85}}}));
    // Triangle 12 is the second of cell (1, 2): rows outer, columns inner.
    EXPECT_EQ(list[11], (MeshTriangle{{{0, 85}, {146, 85}, {146, 170}}}));
    EXPECT_EQ(list[49], (MeshTriangle{{{583, 340}, {729, 340}, {729, 425}}}));
}

TEST(InterpolateTriangles, MovesEveryCoordinateWithTiesToEven)
{
    TriangleList a(1), b(1);
    a[0] = {{{0, 0}, {10, 0}, {0, 10}}};
    b[0] = {{{3, 1}, {11, -5}, {9, 10}}};
    // t = 1/2: 1.5 -> 2, 0.5 -> 0, 10.5 -> 10, -2.5 -> -2, 4.5 -> 4.
    const TriangleList mid = interpolateTriangles(a, b, 1, 2);
    EXPECT_EQ(mid[0], (MeshTriangle{{{2, 0}, {10, -2}, {4, 10}}}));
    EXPECT_EQ(interpolateTriangles(a, b, 0, 9), a);
    EXPECT_EQ(interpolateTriangles(a, b, 9, 9), b);
    EXPECT_EQ(interpolateTriangles(a, b, 0, 0), a);   // one frame: t = 0
    EXPECT_THROW(interpolateTriangles(a, TriangleList{}, 0, 1), RuntimeError);
}

TEST(TriangleArea, MeasuresAxisAlignedAndSlantedTriangles)
{
    EXPECT_FLOAT_EQ(triangleArea({0, 0}, {0, 85}, {146, 85}), 146.0f * 85.0f / 2);   // vertical first edge
    EXPECT_FLOAT_EQ(triangleArea({0, 0}, {146, 0}, {146, 85}), 146.0f * 85.0f / 2);
    EXPECT_NEAR(triangleArea({1, 2}, {7, 5}, {3, 9}), 18.0f, 1e-4);
    EXPECT_EQ(triangleArea({0, 0}, {5, 5}, {10, 10}), 0.0f);
}

TEST(BarycentricWeights, AreAreaRatiosThatSumToOne)
{
    const MeshTriangle tri{{{0, 0}, {0, 85}, {146, 85}}};
    const float area = triangleArea(tri.p[0], tri.p[1], tri.p[2]);
    const BarycentricWeightsResult atP0 = barycentricWeights(tri, 0, 0, area);
    EXPECT_NEAR(atP0.w0, 1.0f, 1e-6);
    EXPECT_NEAR(atP0.w1, 0.0f, 1e-6);
    const BarycentricWeightsResult inside = barycentricWeights(tri, 50, 60, area);
    EXPECT_NEAR(inside.w0 + inside.w1 + inside.w2, 1.0f, 1e-6);
    EXPECT_NEAR(inside.w0 * 0 + inside.w1 * 0 + inside.w2 * 146, 50.0f, 1e-3);
    EXPECT_NEAR(inside.w0 * 0 + inside.w1 * 85 + inside.w2 * 85, 60.0f, 1e-3);
    // A zero area gives the substitute factor, no division by zero.
    const BarycentricWeightsResult flat = barycentricWeights(tri, 1, 1, 0.0f);
    EXPECT_FALSE(std::isnan(flat.w0));
}

TEST(DrawTriangleMap, GivesEveryPixelTheLastTriangleContainingThePoint)
{
    for (const auto& size : {std::pair{729, 425}, std::pair{13, 7}, std::pair{4, 3}, std::pair{1, 1}, std::pair{5, 97}}) {
        const auto [w, h] = size;
        const TriangleList list = meshToTriangles(regularMesh(w, h));
        Bitmap map(w, h);
        drawTriangleMap(map, list);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int want = 0;
                for (std::size_t k = list.size(); k >= 1 && want == 0; --k) {
                    const MeshTriangle& t = list[k - 1];
                    const long long area2 = (static_cast<long long>(t.p[1].x) - t.p[0].x) * (t.p[2].y - t.p[0].y) -
                                            (static_cast<long long>(t.p[1].y) - t.p[0].y) * (t.p[2].x - t.p[0].x);
                    if (area2 != 0 && pointInClosedTriangle(t, x, y))
                        want = int(k);
                }
                ASSERT_NE(want, 0) << w << "x" << h << " pixel " << x << "," << y << " uncovered";
                ASSERT_EQ(mapId(map, x, y), want) << w << "x" << h << " pixel " << x << "," << y;
                ASSERT_EQ(map.row(y)[4 * x + 3], 0);
            }
    }
    // The map's colours: triangle 26 is red 4 and green 1 (260), triangle 50 red 244 green 1.
    const TriangleList list = meshToTriangles(regularMesh(729, 425));
    Bitmap map(729, 425);
    drawTriangleMap(map, list);
    EXPECT_EQ(map.pixel(720, 345), 500);             // triangle 50 (0x00BBGGRR: red 244, green 1)
    EXPECT_EQ(map.pixel(700, 420), 490);             // triangle 49, below the cell diagonal
    EXPECT_EQ(map.pixel(1, 84), 10);                 // triangle 1, lower left of cell (1, 1)
}

TEST(FillTriangle, ZeroAreaAndOtherCountsPaintNothing)
{
    Bitmap image(8, 8);
    const MeshPoint line[3] = {{0, 0}, {3, 3}, {7, 7}};
    fillTriangle(image, line, 0xFFFFFF, 3);
    const MeshPoint tri[3] = {{0, 0}, {7, 0}, {0, 7}};
    fillTriangle(image, tri, 0xFFFFFF, 2);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(image.pixel(x, y), 0);
    fillTriangle(image, tri, 0x123456, 3);
    EXPECT_EQ(image.pixel(7, 0), 0x123456);
    EXPECT_EQ(image.pixel(0, 7), 0x123456);
    EXPECT_EQ(image.pixel(4, 4), 0);                  // x + y = 8 > 7: outside
    // Vertices far outside the image are clipped, not walked.
    const MeshPoint huge[3] = {{-2000000000, -2000000000}, {2000000000, 0}, {0, 2000000000}};
    fillTriangle(image, huge, 0x00FF00, 3);
    EXPECT_EQ(image.pixel(7, 7), 0x00FF00);
}

TEST(RenderMorphFrame, CrossFadesChannelValuesAsTheFrameTableSays)
{
    const int w = 150, h = 90;
    const TriangleList list = meshToTriangles(regularMesh(w, h));
    const PixelBuffer a = bufferOf(solid(w, h, 0, 0, 0));
    const PixelBuffer b = bufferOf(solid(w, h, 255, 255, 255));
    auto value = [&](int i, int n) {
        const PixelBuffer out = renderFrame(a, list, b, list, w, h, i, n);
        for (int y = 0; y < h; ++y)           // every pixel of the frame holds the same value
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    if (out.at(c, x, y) != out.at(0, 0, 0))
                        return -1;
        return int(out.at(0, 0, 0));
    };
    EXPECT_EQ(value(0, 2), 0);
    EXPECT_EQ(value(1, 2), 255);
    EXPECT_EQ(value(1, 3), 128);                       // 127.5 -> 128, ties to even
    const int want[] = {0, 28, 57, 85, 113, 142, 170, 198, 227, 255};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(value(i, 10), want[i]) << "frame " << i;
}

TEST(RenderMorphFrame, IsThePerChannelCrossFadeForIdenticalMeshes)
{
    for (const auto& size : {std::pair{97, 61}, std::pair{3, 2}, std::pair{640, 7}}) {
        const auto [w, h] = size;
        const TriangleList list = meshToTriangles(regularMesh(w, h));
        const PixelBuffer a = bufferOf(noise(w, h, 1));
        const PixelBuffer b = bufferOf(noise(w, h, 2));
        for (int n : {2, 3, 7, 11, 13}) {
            for (int i = 0; i < n; ++i) {
                const PixelBuffer out = renderFrame(a, list, b, list, w, h, i, n);
                const float t = float(double(i) / (n - 1)), u = 1.0f - t;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        for (int c = 0; c < 3; ++c) {
                            const float bt = float(b.at(c, x, y)) * t;
                            const float au = float(a.at(c, x, y)) * u;
                            const float sum = bt + au;
                            ASSERT_EQ(out.at(c, x, y), std::lrint(sum))
                                << w << "x" << h << " n " << n << " frame " << i << " at " << x << "," << y;
                        }
            }
        }
    }
}

TEST(RenderMorphFrame, SecondPictureSmallerReadsWhiteWhereItDoesNotReach)
{
    const int w = 40, h = 30;
    const TriangleList list = meshToTriangles(regularMesh(w, h));
    const PixelBuffer a = bufferOf(solid(w, h, 0, 0, 0));
    const PixelBuffer b = bufferOf(solid(20, 10, 100, 100, 100));
    const PixelBuffer last = renderFrame(a, list, b, list, w, h, 1, 2);
    EXPECT_EQ(last.at(0, 19, 9), 100);
    EXPECT_EQ(last.at(0, 20, 9), 255);
    EXPECT_EQ(last.at(2, 5, 10), 255);
    EXPECT_EQ(last.at(1, 39, 29), 255);
    MorphFramePlan plan;
    for (int i = 0; i < 3; ++i) {
        const PixelBuffer slow = renderFrame(a, list, b, list, w, h, i, 3);
        const PixelBuffer fast = renderFrame(a, list, b, list, w, h, i, 3, &plan);
        ASSERT_EQ(std::memcmp(slow.data(), fast.data(), slow.byteCount()), 0) << "frame " << i;
    }
}

TEST(RenderMorphFrame, MovedInnerPointsMorphThePicture)
{
    // A 4 x 4 mesh over 80 x 80 whose inner point (40, 40) moved to (50, 50) in mesh 2. Picture 1
    // has a white square around (40, 40), picture 2 one around (50, 50): the morph carries the
    // square along the moving point, where a plain cross-fade would show two half-bright squares.
    const int w = 80, h = 80;
    MorphMesh m1 = regularMesh(w, h, 4, 4), m2 = m1;
    ASSERT_EQ(m1.point(3, 3), (MeshPoint{40, 40}));
    m2.point(3, 3) = {50, 50};
    const TriangleList listA = meshToTriangles(m1), listB = meshToTriangles(m2);
    Bitmap pic1(w, h), pic2(w, h);
    for (int y = -3; y <= 3; ++y)
        for (int x = -3; x <= 3; ++x) {
            pic1.setPixel(40 + x, 40 + y, 0xFFFFFF);
            pic2.setPixel(50 + x, 50 + y, 0xFFFFFF);
        }
    const PixelBuffer a = bufferOf(pic1), b = bufferOf(pic2);
    // The first and last frames are the pictures themselves.
    const PixelBuffer first = renderFrame(a, listA, b, listB, w, h, 0, 3);
    const PixelBuffer last = renderFrame(a, listA, b, listB, w, h, 2, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ASSERT_EQ(first.at(1, x, y), a.at(1, x, y)) << x << "," << y;
            ASSERT_EQ(last.at(1, x, y), b.at(1, x, y)) << x << "," << y;
        }
    // Halfway the point sits at (45, 45): both pictures are sampled at their square there.
    const PixelBuffer mid = renderFrame(a, listA, b, listB, w, h, 1, 3);
    EXPECT_EQ(mid.at(1, 45, 45), 255);
    EXPECT_EQ(mid.at(1, 34, 34), 0);
    EXPECT_EQ(mid.at(1, 56, 56), 0);
    // Cells away from the moved point are sampled in place.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x)
            ASSERT_EQ(mid.at(1, x, y), 0) << x << "," << y;
    // With a plan the lists differ, so every pixel goes through the full engine.
    MorphFramePlan plan;
    const PixelBuffer fast = renderFrame(a, listA, b, listB, w, h, 1, 3, &plan);
    EXPECT_EQ(std::memcmp(mid.data(), fast.data(), mid.byteCount()), 0);
    EXPECT_FALSE(plan.ready());
}

TEST(MorphFramePlan, FramesAreBitIdenticalToTheFullEngine)
{
    // Sizes include extreme aspect ratios, where the full engine's single-precision weights may
    // miss the pixel itself: the plan must then fall back for exactly those pixels.
    for (const auto& size : {std::pair{729, 425}, std::pair{1201, 3}, std::pair{2, 700}, std::pair{7, 5}}) {
        const auto [w, h] = size;
        const TriangleList list = meshToTriangles(regularMesh(w, h));
        const PixelBuffer a = bufferOf(noise(w, h, 3));
        const PixelBuffer b = bufferOf(noise(w, h, 4));
        MorphFramePlan plan;
        for (int i : {0, 2, 6}) {
            const PixelBuffer slow = renderFrame(a, list, b, list, w, h, i, 7);
            const PixelBuffer fast = renderFrame(a, list, b, list, w, h, i, 7, &plan);
            ASSERT_EQ(std::memcmp(slow.data(), fast.data(), slow.byteCount()), 0) << w << "x" << h << " frame " << i;
        }
        EXPECT_TRUE(plan.ready());
    }
}

TEST(MorphFramePlan, PlannedFramesMatchTheEngineWhateverTheTargetHeld)
{
    struct Case {
        int width, height, widthB, heightB;   // a smaller second picture reads white
        int meshWidth;                         // a mesh narrower than the frame leaves pixels uncovered
        bool mapKnown;
    };
    const Case cases[] = {{729, 425, 729, 425, 729, true}, {1201, 3, 1201, 3, 1201, true},
                          {2, 700, 2, 700, 2, true},       {93, 41, 90, 38, 93, true},
                          {64, 48, 64, 48, 60, false}};
    for (const Case& c : cases) {
        const TriangleList list = meshToTriangles(regularMesh(c.meshWidth, c.height));
        const PixelBuffer a = bufferOf(noise(c.width, c.height, 5));
        const PixelBuffer b = bufferOf(noise(c.widthB, c.heightB, 6));
        MorphFramePlan plan;
        renderFrame(a, list, b, list, c.width, c.height, 0, 7, &plan);
        ASSERT_EQ(plan.knowsMap(list, c.width, c.height), c.mapKnown) << c.width << "x" << c.height;
        if (!c.mapKnown)
            continue;
        EXPECT_FALSE(plan.knowsMap(list, c.width + 1, c.height));
        for (int i : {1, 3, 6}) {
            const PixelBuffer slow = renderFrame(a, list, b, list, c.width, c.height, i, 7);
            Bitmap target(c.width, c.height);
            std::memset(target.mutableBits(), 0xA5, target.byteCount());
            renderPlannedFrame(a, b, target, float(double(i) / 6), plan);
            ASSERT_EQ(std::memcmp(slow.data(), target.bits(), slow.byteCount()), 0)
                << c.width << "x" << c.height << " frame " << i;
        }
    }
}

TEST(RenderMorphFrame, MatchesAPixelByPixelReferenceOfTheFormulas)
{
    // A reference written from the formulas, one pixel after the other, for moved meshes of a
    // frame tall enough to be split among threads.
    const int w = 90, h = 70;
    MorphMesh m1 = regularMesh(w, h, 3, 3), m2 = m1;
    m2.point(2, 2) = {m1.point(2, 2).x + 7, m1.point(2, 2).y - 4};
    m2.point(3, 3) = {m1.point(3, 3).x - 5, m1.point(3, 3).y + 6};
    const TriangleList listA = meshToTriangles(m1), listB = meshToTriangles(m2);
    const PixelBuffer a = bufferOf(noise(w, h, 5)), b = bufferOf(noise(w, h, 6));
    for (int i : {1, 2}) {
        const int n = 4;
        const TriangleList listOut = interpolateTriangles(listA, listB, i, n - 1);
        Bitmap map(w, h);
        drawTriangleMap(map, listOut);
        const PixelBuffer out = renderFrame(a, listA, b, listB, w, h, i, n);
        const float t = float(double(i) / (n - 1)), u = 1.0f - t;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int k = mapId(map, x, y);
                const MeshTriangle& to = listOut[std::size_t(k) - 1];
                const BarycentricWeightsResult wt =
                    barycentricWeights(to, x, y, triangleArea(to.p[0], to.p[1], to.p[2]));
                auto pos = [&](const MeshTriangle& tri, bool wantX, int limit) {
                    auto c = [&](int j) { return double(wantX ? tri.p[j].x : tri.p[j].y); };
                    const long v = std::lrint(double(wt.w1) * c(1) + double(wt.w0) * c(0) + double(wt.w2) * c(2));
                    return int(std::clamp<long>(v, 0, limit - 1));
                };
                const MeshTriangle& ta = listA[std::size_t(k) - 1];
                const MeshTriangle& tb = listB[std::size_t(k) - 1];
                const int ax = pos(ta, true, w), ay = pos(ta, false, h), bx = pos(tb, true, w), by = pos(tb, false, h);
                for (int c = 0; c < 3; ++c) {
                    const float bt = float(b.at(c, bx, by)) * t;
                    const float au = float(a.at(c, ax, ay)) * u;
                    const float sum = bt + au;
                    ASSERT_EQ(out.at(c, x, y), std::lrint(sum)) << "frame " << i << " at " << x << "," << y;
                }
            }
    }
}

TEST(MorphFramePlan, ProvenTrianglesMatchTheFullEngineOnManyShapes)
{
    // Random picture sizes and a few extreme aspect ratios: where the plan takes a triangle's
    // pixels as the identity without weights, the full engine must agree pixel for pixel.
    std::mt19937 rng(11);
    std::vector<std::pair<int, int>> sizes = {{900, 30}, {30, 900}, {1200, 6}, {11, 600}, {1, 1}, {5, 5}};
    for (int i = 0; i < 10; ++i)
        sizes.emplace_back(1 + int(rng() % 400), 1 + int(rng() % 300));
    for (const auto& [w, h] : sizes) {
        const TriangleList list = meshToTriangles(regularMesh(w, h));
        const PixelBuffer a = bufferOf(noise(w, h, unsigned(w))), b = bufferOf(noise(w, h, unsigned(h)));
        MorphFramePlan plan;
        for (int i : {3, 5}) {
            const PixelBuffer slow = renderFrame(a, list, b, list, w, h, i, 9);
            const PixelBuffer fast = renderFrame(a, list, b, list, w, h, i, 9, &plan);
            ASSERT_EQ(std::memcmp(slow.data(), fast.data(), slow.byteCount()), 0) << w << "x" << h << " frame " << i;
        }
    }
}

TEST(MorphFramePlan, AMapThatNamesTheWrongTriangleFallsBackToTheFullEngine)
{
    const int w = 120, h = 90;
    const TriangleList list = meshToTriangles(regularMesh(w, h));
    const PixelBuffer a = bufferOf(noise(w, h, 8)), b = bufferOf(noise(w, h, 9));
    Bitmap map(w, h);
    drawTriangleMap(map, list);
    // A few pixels carry the number of a triangle far away: the engine then samples elsewhere.
    for (int x = 0; x < 10; ++x)
        map.setPixel(60 + x, 45, 50 * 10);
    MorphFramePlan plan;
    for (float t : {0.0f, 0.4f, 1.0f}) {
        PixelBuffer slow, fast;
        slow.capture(map);
        fast.capture(map);
        renderMorphFrame(a, list, b, list, slow, list, t);
        renderMorphFrame(a, list, b, list, fast, list, t, &plan);
        ASSERT_EQ(std::memcmp(slow.data(), fast.data(), slow.byteCount()), 0) << "t " << t;
    }
}
