#include "mix/MorphEngine.h"

#include "mix/CrossFadeSimd.h"
#include "mix/RowBands.h"

#include "platform/Bitmap.h"
#include "platform/Conversions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>

namespace vantorell {

namespace {

[[noreturn]] void subscriptOutOfRange()
{
    throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range");
}

// Round to the nearest integer, ties to even (the default rounding mode).
long nearest(double v) { return std::lrint(v); }

const MeshTriangle& triangleAt(const TriangleList& list, long k)
{
    if (k < 1 || std::size_t(k) > list.size())
        subscriptOutOfRange();
    return list[std::size_t(k) - 1];
}

std::uint32_t mapWord(std::int32_t colour)
{
    // Colour red + 256 green + 65536 blue as the bytes blue, green, red, 0 in memory.
    const std::uint32_t c = std::uint32_t(colour);
    return ((c >> 16) & 0xFFu) | (c & 0xFF00u) | ((c & 0xFFu) << 16);
}

std::int32_t mapValue(const std::uint8_t* p) { return std::int32_t(p[2]) + 256 * p[1] + 65536 * p[0]; }

// Sampling position in one picture: the weights applied to one coordinate of the matching
// triangle's points.
int samplePosition(const BarycentricWeightsResult& w, std::int32_t c0, std::int32_t c1, std::int32_t c2)
{
    const double v = double(w.w1) * c1 + double(w.w0) * c0 + double(w.w2) * c2;
    if (!(std::fabs(v) < 2147483647.0))
        return v > 0 ? 2147483647 : -2147483647;   // NaN or huge: clamped by the caller
    return int(nearest(v));
}

struct Sampler {
    const std::uint8_t* bits;
    int width, height;
    std::size_t stride;

    explicit Sampler(const PixelBuffer& buffer)
        : bits(buffer.released() ? nullptr : buffer.pixels().bits()),
          width(buffer.released() ? 0 : buffer.width()),
          height(buffer.released() ? 0 : buffer.height()),
          stride(std::size_t(width) * 4)
    {
    }
    // Channel 0..2 (blue, green, red) at (x, y); white where the picture does not reach.
    std::uint8_t at(int channel, int x, int y) const
    {
        if (x >= width || y >= height || !bits)
            return 255;
        return bits[std::size_t(y) * stride + std::size_t(x) * 4 + std::size_t(channel)];
    }
};

// nearest(float(float(b x t) + float(a x u))), kept to a byte.
std::uint8_t crossFade(std::uint8_t a, std::uint8_t b, float t, float u)
{
    const float bt = float(b) * t;
    const float au = float(a) * u;
    const float sum = bt + au;
    const long v = std::lrint(sum);
    return std::uint8_t(std::clamp<long>(v, 0, 255));
}

// One pixel of the full engine.
struct PixelEngine {
    const TriangleList& listA;
    const TriangleList& listB;
    const TriangleList& listOut;
    Sampler samplerA, samplerB;
    int width, height;
    float t, u;
    long areaTriangle = -1;   // the triangle whose area `area` holds
    float area = 0;

    // Renders the pixel at (x, y), which holds its map value on entry. triangle becomes the
    // pixel's triangle number (0 for a pixel left as it is); answers true when both sampling
    // positions were (x, y) itself.
    bool render(std::uint8_t* pixel, int x, int y, long& triangle)
    {
        triangle = 0;
        const double mapNumber = mapValue(pixel) * 0.1;
        if (mapNumber > double(listOut.size()))
            return false;
        const long n = nearest(mapNumber);
        if (n < 1)
            return false;   // a pixel no triangle covered: left as it is
        const MeshTriangle& out = listOut[std::size_t(n) - 1];
        if (n != areaTriangle) {
            area = triangleArea(out.p[0], out.p[1], out.p[2]);
            areaTriangle = n;
        }
        const BarycentricWeightsResult weights = barycentricWeights(out, x, y, area);
        const MeshTriangle& inA = triangleAt(listA, n);
        const MeshTriangle& inB = triangleAt(listB, n);
        const int ax = std::clamp(samplePosition(weights, inA.p[0].x, inA.p[1].x, inA.p[2].x), 0, width - 1);
        const int ay = std::clamp(samplePosition(weights, inA.p[0].y, inA.p[1].y, inA.p[2].y), 0, height - 1);
        const int bx = std::clamp(samplePosition(weights, inB.p[0].x, inB.p[1].x, inB.p[2].x), 0, width - 1);
        const int by = std::clamp(samplePosition(weights, inB.p[0].y, inB.p[1].y, inB.p[2].y), 0, height - 1);
        for (int c = 0; c < 3; ++c)
            pixel[c] = crossFade(samplerA.at(c, ax, ay), samplerB.at(c, bx, by), t, u);
        triangle = n;
        return ax == x && ay == y && bx == x && by == y;
    }
};

}  // namespace

MeshPoint& MorphMesh::point(int column, int row)
{
    if (column < 1 || row < 1 || column > columns + 1 || row > rows + 1 ||
        points.size() != std::size_t(columns + 1) * (rows + 1))
        subscriptOutOfRange();
    return points[std::size_t(row - 1) * std::size_t(columns + 1) + std::size_t(column - 1)];
}

const MeshPoint& MorphMesh::point(int column, int row) const
{
    return const_cast<MorphMesh&>(*this).point(column, row);
}

void makeRegularMesh(MorphMesh& mesh)
{
    if (mesh.columns < 1 || mesh.rows < 1)
        throw RuntimeError(errnum::DivisionByZero, "Division by zero");
    if (mesh.columns > 4096 || mesh.rows > 4096)
        raiseOverflow();
    const float cellWidth = float(double(mesh.width) / mesh.columns);
    const float cellHeight = float(double(mesh.height) / mesh.rows);
    const auto columnX = [&](int c) { return std::int32_t(nearest(double(cellWidth) * (c - 1))); };
    const auto rowY = [&](int r) { return std::int32_t(nearest(double(cellHeight) * (r - 1))); };
    mesh.points.assign(std::size_t(mesh.columns + 1) * (mesh.rows + 1), MeshPoint{});
    for (int r = 1; r <= mesh.rows; ++r)
        for (int c = 1; c <= mesh.columns; ++c)
            mesh.point(c, r) = {columnX(c), rowY(r)};
    for (int r = 1; r <= mesh.rows; ++r)
        mesh.point(mesh.columns + 1, r) = {mesh.width, rowY(r)};
    for (int c = 1; c <= mesh.columns; ++c)
        mesh.point(c, mesh.rows + 1) = {columnX(c), mesh.height};
    mesh.point(mesh.columns + 1, mesh.rows + 1) = {mesh.width, mesh.height};
}

TriangleList meshToTriangles(const MorphMesh& mesh)
{
    TriangleList list;
    list.reserve(std::size_t(std::max(0, 2 * mesh.columns * mesh.rows)));
    for (int r = 1; r <= mesh.rows; ++r) {
        for (int c = 1; c <= mesh.columns; ++c) {
            const MeshPoint tl = mesh.point(c, r), tr = mesh.point(c + 1, r);
            const MeshPoint bl = mesh.point(c, r + 1), br = mesh.point(c + 1, r + 1);
            list.push_back({{tl, bl, br}});
            list.push_back({{tl, tr, br}});
        }
    }
    return list;
}

TriangleList interpolateTriangles(const TriangleList& listA, const TriangleList& listB, int frame, int lastFrame)
{
    const float t = lastFrame == 0 ? 0.0f : float(double(frame) / lastFrame);
    return interpolateTriangles(listA, listB, t);
}

TriangleList interpolateTriangles(const TriangleList& listA, const TriangleList& listB, float t)
{
    if (listB.size() < listA.size())
        subscriptOutOfRange();
    TriangleList out(listA.size());
    auto mix = [t](std::int32_t a, std::int32_t b) {
        const std::int64_t diff = std::int64_t(b) - a;
        if (diff > INT32_MAX || diff < INT32_MIN)
            raiseOverflow();
        const double v = double(t) * double(diff) + a;
        if (!(std::fabs(v) <= 2147483647.0))
            raiseOverflow();
        return std::int32_t(nearest(v));
    };
    for (std::size_t k = 0; k < listA.size(); ++k)
        for (int j = 0; j < 3; ++j)
            out[k].p[j] = {mix(listA[k].p[j].x, listB[k].p[j].x), mix(listA[k].p[j].y, listB[k].p[j].y)};
    return out;
}

void triangleRowSpan(const MeshPoint* p, std::int64_t y, std::int64_t width, std::int64_t& lo, std::int64_t& hi)
{
    // Edge products of 32-bit coordinates reach 2^65: 128-bit arithmetic keeps them exact.
    using Wide = __int128;
    const Wide x0 = p[0].x, y0 = p[0].y, x1 = p[1].x, y1 = p[1].y, x2 = p[2].x, y2 = p[2].y;
    const Wide orient = (x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0);
    const Wide sign = orient > 0 ? 1 : -1;
    // Edge i -> j holds the point p when sign * ((xj - xi)(py - yi) - (yj - yi)(px - xi)) >= 0.
    const Wide ex[3][2] = {{x0, x1}, {x1, x2}, {x2, x0}};
    const Wide ey[3][2] = {{y0, y1}, {y1, y2}, {y2, y0}};
    auto floorDiv = [](Wide a, Wide b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };   // b > 0
    Wide l = 0, h = width - 1;
    for (int e = 0; e < 3 && l <= h; ++e) {
        // Condition in x: a * x + b >= 0.
        const Wide a = -sign * (ey[e][1] - ey[e][0]);
        const Wide b = sign * ((ex[e][1] - ex[e][0]) * (Wide(y) - ey[e][0]) + (ey[e][1] - ey[e][0]) * ex[e][0]);
        if (a > 0)
            l = std::max(l, -floorDiv(b, a));          // ceil(-b / a)
        else if (a < 0)
            h = std::min(h, floorDiv(b, -a));
        else if (b < 0)
            h = l - 1;
    }
    lo = std::int64_t(l);
    hi = std::int64_t(h);
}

namespace {

bool hasArea(const MeshPoint* p)
{
    using Wide = __int128;
    return (Wide(p[1].x) - p[0].x) * (Wide(p[2].y) - p[0].y) - (Wide(p[1].y) - p[0].y) * (Wide(p[2].x) - p[0].x) != 0;
}

// Calls paint(y, lo, hi) for every row span of the triangle inside a width x height frame.
template <class PaintFn>
void forTriangleSpans(const MeshPoint* points, int width, int height, PaintFn paint)
{
    if (!hasArea(points))
        return;   // zero area: no pixel
    const std::int64_t top = std::max<std::int64_t>(0, std::min({points[0].y, points[1].y, points[2].y}));
    const std::int64_t bottom =
        std::min<std::int64_t>(height - 1, std::max({points[0].y, points[1].y, points[2].y}));
    for (std::int64_t y = top; y <= bottom; ++y) {
        std::int64_t lo = 0, hi = -1;
        triangleRowSpan(points, y, width, lo, hi);
        if (lo <= hi)
            paint(y, lo, hi);
    }
}

}  // namespace

void fillTriangle(Bitmap& image, const MeshPoint* points, std::int32_t colour, int count)
{
    if (count != 3 || image.empty())
        return;
    const std::uint32_t word = mapWord(colour);
    forTriangleSpans(points, image.width(), image.height(), [&](std::int64_t y, std::int64_t lo, std::int64_t hi) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.mutableRow(int(y)));
        std::fill(row + lo, row + hi + 1, word);
    });
}

void drawTriangleMap(Bitmap& image, const TriangleList& list)
{
    for (std::size_t k = 1; k <= list.size(); ++k)
        fillTriangle(image, list[k - 1].p, std::int32_t(k * 10), 3);
}

float triangleArea(const MeshPoint& p0, const MeshPoint& p1, const MeshPoint& p2)
{
    const std::int64_t dx = std::int64_t(p0.x) - p1.x;
    const std::int64_t dy = std::int64_t(p0.y) - p1.y;
    // Base p0-p1 times the distance of p2 from the line through p0 with slope m, halved.
    const float m = dx == 0 ? 1e20f : float(double(dy) / double(dx));
    const double md = m;
    const float distance = float(std::fabs(-md * p2.x + p2.y - p0.y + md * p0.x) / std::sqrt(md * md + 1));
    return float(std::sqrt(double(dx * dx + dy * dy)) * 0.5 * distance);
}

BarycentricWeightsResult barycentricWeights(const MeshTriangle& triangle, int x, int y, float area)
{
    const MeshPoint& p0 = triangle.p[0];
    const MeshPoint& p1 = triangle.p[1];
    const MeshPoint& p2 = triangle.p[2];
    // Each weight is the area of the sub-triangle opposite its point over the whole area.
    const float halfInverseArea = area == 0 ? 5e20f : float(0.5 / double(area));
    BarycentricWeightsResult w;
    {
        const float dx = float(double(x) - p1.x), dy = float(double(y) - p1.y);
        const float m = dx == 0 ? 1e7f : float(double(dy) / dx);
        const double md = m;
        const float distance = float(std::fabs(-md * p2.x + p2.y - y + md * x) / std::sqrt(md * md + 1));
        w.w0 = float(std::sqrt(double(dx) * dx + double(dy) * dy) * distance * halfInverseArea);
    }
    {
        const float dx = float(double(p0.x) - x), dy = float(double(p0.y) - y);
        const float m = dx == 0 ? 1e20f : float(double(dy) / dx);
        const double md = m;
        const float distance = float(std::fabs(-md * p2.x + p2.y - p0.y + md * p0.x) / std::sqrt(md * md + 1));
        w.w1 = float(std::sqrt(double(dx) * dx + double(dy) * dy) * distance * halfInverseArea);
    }
    w.w2 = float(1.0 - double(w.w0) - double(w.w1));
    return w;
}

void renderMorphFrame(const PixelBuffer& bufferA, const TriangleList& listA, const PixelBuffer& bufferB,
                      const TriangleList& listB, PixelBuffer& bufferOut, const TriangleList& listOut, float t)
{
    renderMorphFrame(bufferA, listA, bufferB, listB, bufferOut, listOut, t, nullptr);
}

void MorphFramePlan::reset()
{
    m_list.clear();
    m_width = m_height = 0;
    m_triangleOf.clear();
    m_triangleOf.shrink_to_fit();
    m_mapTriangle.clear();
    m_mapTriangle.shrink_to_fit();
}

bool MorphFramePlan::knowsMap(const TriangleList& list, int width, int height) const
{
    return !m_mapTriangle.empty() && width == m_width && height == m_height && list == m_list;
}

// The map DrawTriangleMap paints for the plan's list, as triangle numbers; kept only when the
// list covers every pixel (no pixel keeps what the frame held before).
void MorphFramePlan::learnMap()
{
    m_mapTriangle.assign(std::size_t(m_width) * std::size_t(m_height), 0);
    for (std::size_t k = 0; k < m_list.size(); ++k)
        forTriangleSpans(m_list[k].p, m_width, m_height, [&](std::int64_t y, std::int64_t lo, std::int64_t hi) {
            std::memset(m_mapTriangle.data() + std::size_t(y) * std::size_t(m_width) + std::size_t(lo),
                        int(k + 1), std::size_t(hi - lo + 1));
        });
    if (std::find(m_mapTriangle.begin(), m_mapTriangle.end(), 0) != m_mapTriangle.end()) {
        m_mapTriangle.clear();
        m_mapTriangle.shrink_to_fit();
    }
}

namespace {

// True when the closed triangle holds the point (x, y) (exact integer arithmetic).
bool containsPoint(const MeshTriangle& triangle, std::int64_t x, std::int64_t y)
{
    auto edge = [&](const MeshPoint& a, const MeshPoint& b) {
        return (std::int64_t(b.x) - a.x) * (y - a.y) - (std::int64_t(b.y) - a.y) * (x - a.x);
    };
    const MeshPoint* p = triangle.p;
    const std::int64_t e0 = edge(p[0], p[1]), e1 = edge(p[1], p[2]), e2 = edge(p[2], p[0]);
    return (e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0);
}

// True when, for every point (x, y) of the closed triangle, the engine's sampling position in
// the same triangle rounds to (x, y) itself. The weights are area ratios formed from slopes
// rounded to single precision (relative error 2^-24) or replaced by 1e7 for a vertical line
// (an angle error below 1e-7); a distance from such a line is off by at most L x 1e-7 for the
// triangle's longest edge L, so each weight is off by at most L^2 / A x 1e-7 plus a few float
// roundings (below 1e-6), A being the area. A position moves by at most twice that times the
// triangle's extent D, plus 0.01 for the rounding of w2 = 1 - w0 - w1 at coordinates up to
// 32767. The test asks for ten times the weight error and a result below 0.1, a fifth of the
// 0.5 that would change the rounding. Thin triangles (pictures a few pixels tall) fail it and
// are checked pixel by pixel instead; tests compare both paths on such sizes.
bool identitySafe(const MeshTriangle& triangle)
{
    constexpr std::int64_t kLimit = 1 << 20;
    const MeshPoint* p = triangle.p;
    for (int i = 0; i < 3; ++i)
        if (p[i].x < -kLimit || p[i].x > kLimit || p[i].y < -kLimit || p[i].y > kLimit)
            return false;
    const std::int64_t cross = (std::int64_t(p[1].x) - p[0].x) * (std::int64_t(p[2].y) - p[0].y) -
                               (std::int64_t(p[1].y) - p[0].y) * (std::int64_t(p[2].x) - p[0].x);
    if (cross == 0)
        return false;
    const double area = std::fabs(double(cross)) / 2;
    double longest2 = 0, extent = 0;
    for (int i = 0; i < 3; ++i) {
        const MeshPoint& a = p[i];
        const MeshPoint& b = p[(i + 1) % 3];
        const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
        longest2 = std::max(longest2, dx * dx + dy * dy);
        extent = std::max({extent, std::fabs(dx), std::fabs(dy)});
    }
    const double weightError = 10 * (longest2 / area * 1e-7 + 1e-6);
    return 2 * weightError * extent + 0.01 < 0.1;
}

// Runs rowsFn(first, end) over the rows 0 ... height - 1, in bands on up to four threads when
// `parallel`. Every pixel of a frame depends only on its own map value and position, so the
// split changes no result; rowsFn must not raise.
void forRows(int height, bool parallel, const std::function<void(int, int)>& rowsFn)
{
    runRowBands(height, 64, parallel ? kMaxRowBandThreads : 1, rowsFn);
}

constexpr std::uint8_t kWhite[4] = {255, 255, 255, 255};

// One frame as every pixel loop of RenderMorphFrame sees it.
struct FrameSetup {
    const TriangleList& listA;
    const TriangleList& listB;
    const TriangleList& listOut;
    Sampler samplerA, samplerB;
    std::uint8_t* out;   // bufferOut's pixels: the triangle map on entry
    int width, height;
    std::size_t stride;
    float t, u;
    // With lists at least as long as listOut no pixel can raise, so rows may run in parallel;
    // otherwise the pixels run in order and the first bad one stops the frame.
    bool parallel;

    PixelEngine engine() const { return PixelEngine{listA, listB, listOut, samplerA, samplerB, width, height, t, u}; }
};

// Every pixel through the full engine.
void renderEveryPixel(const FrameSetup& frame)
{
    forRows(frame.height, frame.parallel, [&](int first, int end) {
        PixelEngine engine = frame.engine();
        long rendered;
        for (int y = first; y < end; ++y)
            for (int x = 0; x < frame.width; ++x)
                engine.render(frame.out + std::size_t(y) * frame.stride + std::size_t(x) * 4, x, y, rendered);
    });
}

// The exact single-precision cross-fade of every pair of channel values for t, indexed by
// a << 8 | b (a from the first picture, b from the second).
std::vector<std::uint8_t> crossFadeTable(float t, float u)
{
    std::vector<std::uint8_t> table(65536);
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b)
            table[std::size_t(a) << 8 | std::size_t(b)] = crossFade(std::uint8_t(a), std::uint8_t(b), t, u);
    return table;
}

// The plan's first frame of a geometry: renders every pixel and notes in triangleOf the pixels
// whose sampling positions are the pixel itself. Inside a triangle that identitySafe() clears,
// every point of the closed triangle provably is such a pixel and is cross-faded straight away;
// elsewhere the full engine decides, pixel by pixel.
void renderNotingIdentityPixels(const FrameSetup& frame, const std::uint8_t* fade, std::uint8_t* triangleOf)
{
    const TriangleList& listOut = frame.listOut;
    std::vector<char> safe(listOut.size() + 1, 0);
    for (std::size_t triangle = 1; triangle <= listOut.size(); ++triangle)
        safe[triangle] = identitySafe(listOut[triangle - 1]);
    const Sampler& samplerA = frame.samplerA;
    const Sampler& samplerB = frame.samplerB;
    auto fadeInPlace = [&](std::uint8_t* pixel, int x, int y) {
        const std::uint8_t* sa = x < samplerA.width && y < samplerA.height
                                     ? samplerA.bits + std::size_t(y) * samplerA.stride + std::size_t(x) * 4
                                     : kWhite;
        const std::uint8_t* sb = x < samplerB.width && y < samplerB.height
                                     ? samplerB.bits + std::size_t(y) * samplerB.stride + std::size_t(x) * 4
                                     : kWhite;
        pixel[0] = fade[std::size_t(sa[0]) << 8 | sb[0]];
        pixel[1] = fade[std::size_t(sa[1]) << 8 | sb[1]];
        pixel[2] = fade[std::size_t(sa[2]) << 8 | sb[2]];
    };
    forRows(frame.height, frame.parallel, [&](int first, int end) {
        PixelEngine engine = frame.engine();
        const int width = frame.width;
        long rendered;
        for (int y = first; y < end; ++y) {
            std::uint8_t* note = triangleOf + std::size_t(y) * width;
            for (int x = 0; x < width; ++x) {
                std::uint8_t* pixel = frame.out + std::size_t(y) * frame.stride + std::size_t(x) * 4;
                const std::int32_t mapColour = mapValue(pixel);
                const std::int32_t triangle = mapColour / 10;
                if (mapColour % 10 == 0 && triangle >= 1 && std::size_t(triangle) <= listOut.size() &&
                    safe[std::size_t(triangle)] && containsPoint(listOut[std::size_t(triangle) - 1], x, y)) {
                    fadeInPlace(pixel, x, y);
                    note[x] = std::uint8_t(triangle);
                } else if (engine.render(pixel, x, y, rendered)) {
                    note[x] = std::uint8_t(rendered);
                }
            }
        }
    });
}

// Row y of both pictures as the noted pixels read it: a column at or past `inside` reads white.
struct PictureRows {
    const std::uint8_t* a = nullptr;
    const std::uint8_t* b = nullptr;
    int insideA = 0, insideB = 0;

    PictureRows(const Sampler& samplerA, const Sampler& samplerB, int y, int width)
    {
        if (y < samplerA.height) {
            a = samplerA.bits + std::size_t(y) * samplerA.stride;
            insideA = std::min(width, samplerA.width);
        }
        if (y < samplerB.height) {
            b = samplerB.bits + std::size_t(y) * samplerB.stride;
            insideB = std::min(width, samplerB.width);
        }
    }
    // The pixel's three colour bytes cross-faded through the table.
    void fade(const std::uint8_t* table, int x, std::uint8_t* pixel) const
    {
        const std::uint8_t* sa = x < insideA ? a + std::size_t(x) * 4 : kWhite;
        const std::uint8_t* sb = x < insideB ? b + std::size_t(x) * 4 : kWhite;
        pixel[0] = table[std::size_t(sa[0]) << 8 | sb[0]];
        pixel[1] = table[std::size_t(sa[1]) << 8 | sb[1]];
        pixel[2] = table[std::size_t(sa[2]) << 8 | sb[2]];
    }
};

// The plan's later frames: the positions are known, only the weight t changed. Pixels noted in
// triangleOf whose map still names that triangle are cross-faded through the table; the rest
// go through the full engine.
void renderFromNotes(const FrameSetup& frame, const std::uint8_t* fade, const std::uint8_t* triangleOf)
{
    forRows(frame.height, frame.parallel, [&](int first, int end) {
        PixelEngine engine = frame.engine();
        const int width = frame.width;
        long rendered;
        for (int y = first; y < end; ++y) {
            std::uint8_t* row = frame.out + std::size_t(y) * frame.stride;
            const std::uint8_t* note = triangleOf + std::size_t(y) * width;
            const PictureRows rows(frame.samplerA, frame.samplerB, y, width);
            for (int x = 0; x < width; ++x) {
                std::uint8_t* pixel = row + std::size_t(x) * 4;
                const std::uint32_t triangle = note[x];
                if (triangle == 0 || std::uint32_t(mapValue(pixel)) != triangle * 10) {
                    engine.render(pixel, x, y, rendered);
                    continue;
                }
                rows.fade(fade, x, pixel);
            }
        }
    });
}

// Four pixels cross-faded exactly as crossFade does; the fourth bytes become 0, as a capture
// leaves them.
inline void crossFadeFour(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, __m128 t, __m128 u)
{
    const __m128i faded = crossFadePixels(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), t, u);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), withFourthBytesOf(faded, _mm_setzero_si128()));
}

// True when none of the four bytes is 0.
inline bool fourNoted(const std::uint8_t* note)
{
    std::uint32_t v;
    std::memcpy(&v, note, 4);
    return ((v - 0x01010101u) & ~v & 0x80808080u) == 0;
}

// A later frame of a geometry whose map the plan knows: noted pixels are cross-faded (four at a
// time where all four are noted and inside both pictures), every other pixel gets its map word
// and goes through the full engine. Writes every byte of the frame.
void renderPlanned(const FrameSetup& frame, const std::uint8_t* fade, const std::uint8_t* triangleOf,
                   const std::uint8_t* mapTriangle)
{
    const bool fourAtOnce = crossFadeSimdExact(frame.t, frame.u);
    forRows(frame.height, frame.parallel, [&](int first, int end) {
        PixelEngine engine = frame.engine();
        const __m128 t = _mm_set1_ps(frame.t), u = _mm_set1_ps(frame.u);
        const int width = frame.width;
        long rendered;
        for (int y = first; y < end; ++y) {
            std::uint8_t* row = frame.out + std::size_t(y) * frame.stride;
            const std::uint8_t* note = triangleOf + std::size_t(y) * width;
            const std::uint8_t* map = mapTriangle + std::size_t(y) * width;
            const PictureRows rows(frame.samplerA, frame.samplerB, y, width);
            const int insideBoth = fourAtOnce ? std::min(rows.insideA, rows.insideB) : 0;
            for (int x = 0; x < width;) {
                std::uint8_t* pixel = row + std::size_t(x) * 4;
                if (x + 4 <= insideBoth && fourNoted(note + x)) {
                    crossFadeFour(rows.a + std::size_t(x) * 4, rows.b + std::size_t(x) * 4, pixel, t, u);
                    x += 4;
                    continue;
                }
                if (note[x] == 0) {
                    const std::uint32_t word = mapWord(std::int32_t(map[x]) * 10);
                    std::memcpy(pixel, &word, 4);
                    engine.render(pixel, x, y, rendered);
                } else {
                    rows.fade(fade, x, pixel);
                    pixel[3] = 0;
                }
                ++x;
            }
        }
    });
}

}  // namespace

void renderMorphFrame(const PixelBuffer& bufferA, const TriangleList& listA, const PixelBuffer& bufferB,
                      const TriangleList& listB, PixelBuffer& bufferOut, const TriangleList& listOut, float t,
                      MorphFramePlan* plan)
{
    if (bufferOut.released() || bufferOut.byteCount() == 0)
        subscriptOutOfRange();
    const int width = bufferOut.width();
    const int height = bufferOut.height();
    const FrameSetup frame{listA,
                           listB,
                           listOut,
                           Sampler(bufferA),
                           Sampler(bufferB),
                           bufferOut.mutableData(),
                           width,
                           height,
                           std::size_t(width) * 4,
                           t,
                           1.0f - t,
                           listA.size() >= listOut.size() && listB.size() >= listOut.size()};

    const bool planFits = plan && listOut.size() <= 255 && listA == listOut && listB == listOut;
    if (!planFits) {
        renderEveryPixel(frame);
        return;
    }
    const std::vector<std::uint8_t> fade = crossFadeTable(frame.t, frame.u);
    if (!plan->ready() || plan->m_list != listOut || plan->m_width != width || plan->m_height != height) {
        plan->m_list = listOut;
        plan->m_width = width;
        plan->m_height = height;
        plan->m_triangleOf.assign(std::size_t(width) * height, 0);
        renderNotingIdentityPixels(frame, fade.data(), plan->m_triangleOf.data());
        plan->learnMap();
        return;
    }
    renderFromNotes(frame, fade.data(), plan->m_triangleOf.data());
}

void renderPlannedFrame(const PixelBuffer& bufferA, const PixelBuffer& bufferB, Bitmap& out, float t,
                        const MorphFramePlan& plan)
{
    if (!plan.knowsMap(plan.m_list, out.width(), out.height()))
        subscriptOutOfRange();
    const int width = out.width();
    const int height = out.height();
    const FrameSetup frame{plan.m_list, plan.m_list, plan.m_list, Sampler(bufferA), Sampler(bufferB),
                           out.mutableBits(), width, height, out.stride(), t, 1.0f - t, true};
    const std::vector<std::uint8_t> fade = crossFadeTable(frame.t, frame.u);
    renderPlanned(frame, fade.data(), plan.m_triangleOf.data(), plan.m_mapTriangle.data());
}

}  // namespace vantorell
