#include "mix/MorphWarp.h"

#include "mix/RowBands.h"

#include "platform/Conversions.h"

#include <algorithm>
#include <immintrin.h>
#include <cmath>
#include <vector>

namespace vantorell {

namespace {

using Wide = __int128;

// The affine map of one coordinate: v(x, y) = c + dx * x + dy * y.
struct Affine {
    double c = 0, dx = 0, dy = 0;
};

struct TriangleWarp {
    MeshTriangle out;
    Affine ax, ay, bx, by;
    bool paints = false;
};

// The map taking the frame's triangle p onto q for one coordinate (q's x when useX).
Affine affineOf(const MeshTriangle& p, const MeshTriangle& q, bool useX)
{
    const double p0x = p.p[0].x, p0y = p.p[0].y, p1x = p.p[1].x, p1y = p.p[1].y, p2x = p.p[2].x, p2y = p.p[2].y;
    const double det = (p1y - p2y) * (p0x - p2x) + (p2x - p1x) * (p0y - p2y);
    const double q0 = useX ? q.p[0].x : q.p[0].y, q1 = useX ? q.p[1].x : q.p[1].y, q2 = useX ? q.p[2].x : q.p[2].y;
    Affine a;
    a.dx = ((p1y - p2y) * (q0 - q2) + (p2y - p0y) * (q1 - q2)) / det;
    a.dy = ((p2x - p1x) * (q0 - q2) + (p0x - p2x) * (q1 - q2)) / det;
    a.c = q2 - a.dx * p2x - a.dy * p2y;
    return a;
}

// The nearest pixel (ties to even, as lrint in the default rounding mode) of row + slope * x in
// x and y, each within [0, last]. Clamping first gives the same pixel as rounding first and
// keeps the conversion in range; NaN reads pixel 0 (max gives its second operand), never outside.
inline void positions(__m128d row, __m128d slope, __m128d x, __m128d last, int& px, int& py)
{
    const __m128d v = _mm_min_pd(_mm_max_pd(_mm_add_pd(row, _mm_mul_pd(slope, x)), _mm_setzero_pd()), last);
    const __m128i p = _mm_cvtpd_epi32(v);
    px = _mm_cvtsi128_si32(p);
    py = _mm_cvtsi128_si32(_mm_shuffle_epi32(p, 1));
}

constexpr std::uint8_t kWhite[4] = {255, 255, 255, 255};

[[noreturn]] void subscriptOutOfRange() { throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range"); }

// The frame of width x height 32-bit pixels at `out`: the colour bytes of every pixel a triangle
// holds; nothing else is touched.
void warpInto(const PixelBuffer& bufferA, const TriangleList& listA, const PixelBuffer& bufferB,
              const TriangleList& listB, std::uint8_t* out, int width, int height, const TriangleList& listOut, float t)
{
    std::vector<TriangleWarp> warps(listOut.size());
    for (std::size_t k = 0; k < listOut.size(); ++k) {
        TriangleWarp& w = warps[k];
        w.out = listOut[k];
        const MeshPoint* p = w.out.p;
        const Wide orient = (Wide(p[1].x) - p[0].x) * (Wide(p[2].y) - p[0].y) - (Wide(p[1].y) - p[0].y) * (Wide(p[2].x) - p[0].x);
        if (orient == 0)
            continue;   // zero area: no pixel
        w.paints = true;
        w.ax = affineOf(w.out, listA[k], true);
        w.ay = affineOf(w.out, listA[k], false);
        w.bx = affineOf(w.out, listB[k], true);
        w.by = affineOf(w.out, listB[k], false);
    }

    // The exact single-precision cross-fade of every pair of channel values.
    const float u = 1.0f - t;
    std::vector<std::uint8_t> fade(65536);
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            const float bt = float(b) * t;
            const float au = float(a) * u;
            fade[std::size_t(a) << 8 | std::size_t(b)] = std::uint8_t(std::clamp<long>(std::lrint(bt + au), 0, 255));
        }

    const std::uint8_t* bitsA = bufferA.released() ? nullptr : bufferA.pixels().bits();
    const std::uint8_t* bitsB = bufferB.released() ? nullptr : bufferB.pixels().bits();
    const int widthA = bitsA ? bufferA.width() : 0, heightA = bitsA ? bufferA.height() : 0;
    const int widthB = bitsB ? bufferB.width() : 0, heightB = bitsB ? bufferB.height() : 0;

    const auto rows = [&](int first, int end) {
        // Locals: the byte stores below could alias anything reached through a reference, and
        // the compiler would load every captured pointer again after each of them.
        const std::uint8_t* const table = fade.data();
        const std::uint8_t* const pixelsA = bitsA;
        const std::uint8_t* const pixelsB = bitsB;
        const int insideWidthA = widthA, insideHeightA = heightA, insideWidthB = widthB, insideHeightB = heightB;
        const std::size_t strideA = std::size_t(widthA) * 4, strideB = std::size_t(widthB) * 4;
        std::uint8_t* const frame = out;
        const std::size_t frameStride = std::size_t(width) * 4;
        const __m128d last = _mm_set_pd(height - 1, width - 1);
        for (const TriangleWarp& warp : warps) {
            const TriangleWarp w = warp;
            if (!w.paints)
                continue;
            const MeshPoint* p = w.out.p;
            const std::int64_t top = std::max<std::int64_t>(first, std::min({p[0].y, p[1].y, p[2].y}));
            const std::int64_t bottom = std::min<std::int64_t>(end - 1, std::max({p[0].y, p[1].y, p[2].y}));
            for (std::int64_t y = top; y <= bottom; ++y) {
                std::int64_t lo, hi;
                triangleRowSpan(w.out.p, y, width, lo, hi);
                if (lo > hi)
                    continue;
                const double yy = double(y);
                // (x, y) of each picture as one pair of doubles: the same products and sums as
                // the scalar form, clamped and rounded together.
                const __m128d rowA = _mm_set_pd(w.ay.c + w.ay.dy * yy, w.ax.c + w.ax.dy * yy);
                const __m128d rowB = _mm_set_pd(w.by.c + w.by.dy * yy, w.bx.c + w.bx.dy * yy);
                const __m128d slopeA = _mm_set_pd(w.ay.dx, w.ax.dx), slopeB = _mm_set_pd(w.by.dx, w.bx.dx);
                std::uint8_t* row = frame + std::size_t(y) * frameStride;
                for (std::int64_t x = lo; x <= hi; ++x) {
                    const __m128d xx = _mm_set1_pd(double(x));
                    if ((x & 7) == 0) {
                        // The pictures are read along a slant, a source row every few pixels:
                        // fetch the lines of a few pixels ahead before they are needed.
                        const __m128d ahead = _mm_add_pd(xx, _mm_set1_pd(48));
                        int px, py, qx, qy;
                        positions(rowA, slopeA, ahead, last, px, py);
                        positions(rowB, slopeB, ahead, last, qx, qy);
                        if (px < insideWidthA && py < insideHeightA)
                            _mm_prefetch(reinterpret_cast<const char*>(pixelsA + std::size_t(py) * strideA + std::size_t(px) * 4), _MM_HINT_T0);
                        if (qx < insideWidthB && qy < insideHeightB)
                            _mm_prefetch(reinterpret_cast<const char*>(pixelsB + std::size_t(qy) * strideB + std::size_t(qx) * 4), _MM_HINT_T0);
                    }
                    int sax, say, sbx, sby;
                    positions(rowA, slopeA, xx, last, sax, say);
                    positions(rowB, slopeB, xx, last, sbx, sby);
                    const std::uint8_t* pa = sax < insideWidthA && say < insideHeightA
                                                 ? pixelsA + std::size_t(say) * strideA + std::size_t(sax) * 4
                                                 : kWhite;
                    const std::uint8_t* pb = sbx < insideWidthB && sby < insideHeightB
                                                 ? pixelsB + std::size_t(sby) * strideB + std::size_t(sbx) * 4
                                                 : kWhite;
                    const std::uint8_t c0 = table[std::size_t(pa[0]) << 8 | pb[0]];
                    const std::uint8_t c1 = table[std::size_t(pa[1]) << 8 | pb[1]];
                    const std::uint8_t c2 = table[std::size_t(pa[2]) << 8 | pb[2]];
                    std::uint8_t* pixel = row + std::size_t(x) * 4;
                    pixel[0] = c0;
                    pixel[1] = c1;
                    pixel[2] = c2;
                }
            }
        }
    };

    // Bands of rows in parallel: a pixel depends only on the triangles that hold it, and every
    // band keeps the list order, so the split changes no result.
    runRowBands(height, 64, kMaxRowBandThreads, rows);
}

}  // namespace

void renderWarpedFrame(const PixelBuffer& bufferA, const TriangleList& listA, const PixelBuffer& bufferB,
                       const TriangleList& listB, PixelBuffer& bufferOut, const TriangleList& listOut, float t)
{
    if (bufferOut.released() || bufferOut.byteCount() == 0 || listA.size() < listOut.size() ||
        listB.size() < listOut.size())
        subscriptOutOfRange();
    warpInto(bufferA, listA, bufferB, listB, bufferOut.mutableData(), bufferOut.width(), bufferOut.height(), listOut, t);
}

void renderWarpedFrame(const PixelBuffer& bufferA, const TriangleList& listA, const PixelBuffer& bufferB,
                       const TriangleList& listB, Bitmap& out, const TriangleList& listOut, float t)
{
    if (out.empty() || listA.size() < listOut.size() || listB.size() < listOut.size())
        subscriptOutOfRange();
    out.clearFourthBytes();   // as a capture does; pixels no triangle holds keep their colour
    warpInto(bufferA, listA, bufferB, listB, out.mutableBits(), out.width(), out.height(), listOut, t);
}

}  // namespace vantorell
