#include "colour/mDither8bpp.h"

#include "colour/cPal8bpp.h"
#include "dib/cDIB.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vantorell {

namespace {

// The 4 x 4 Bayer matrix plus one, rows y = 0..3, columns x = 0..3.
constexpr std::uint8_t kBayer16[4][4] = {{1, 9, 3, 11}, {13, 5, 15, 7}, {4, 12, 2, 10}, {16, 8, 14, 6}};

int nearestLevel(int i, int divisor, int maxLevel)
{
    // divisor is odd (51, 17), so i / divisor is never exactly halfway between two integers.
    const long level = std::lround(double(i) / double(divisor));
    return int(std::clamp<long>(level, 0, maxLevel));
}

using ThresholdMatrix = std::array<std::array<std::uint8_t, 4>, 4>;

inline std::uint8_t clampByte(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// One quantising loop for the plain and ordered families: per pixel three table lookups
// (blue, green, red levels already scaled to their place in the index), a sum, and one map
// lookup. Each row has four threshold phases; tables are pre-offset per phase, so the loop body
// holds no arithmetic beyond the two additions. Invariant: v + offset[k] stays inside the
// tables (v in 0..255, offsets from the matrices chosen by the caller).
template <class BlueT, class MapT>
void quantiseRows(const cDIB& src, cDIB& dst, const BlueT* blue, const std::uint8_t* green,
                  const std::uint8_t* red, const MapT* map, const ThresholdMatrix* matrix, int bias)
{
    const std::int32_t width = src.Width();
    for (std::int32_t y = 0; y < src.Height(); ++y) {
        const std::uint8_t* s = src.scanline(y);
        std::uint8_t* d = dst.scanline(y);
        int offset[4];
        for (int k = 0; k < 4; ++k)
            offset[k] = matrix ? bias - (*matrix)[std::size_t(y & 3)][std::size_t(k)] : 0;
        const BlueT* b0 = blue + offset[0];
        const BlueT* b1 = blue + offset[1];
        const BlueT* b2 = blue + offset[2];
        const BlueT* b3 = blue + offset[3];
        const std::uint8_t* g0 = green + offset[0];
        const std::uint8_t* g1 = green + offset[1];
        const std::uint8_t* g2 = green + offset[2];
        const std::uint8_t* g3 = green + offset[3];
        const std::uint8_t* r0 = red + offset[0];
        const std::uint8_t* r1 = red + offset[1];
        const std::uint8_t* r2 = red + offset[2];
        const std::uint8_t* r3 = red + offset[3];
        std::int32_t x = 0;
        for (; x + 4 <= width; x += 4, s += 16, d += 4) {
            d[0] = map[b0[s[0]] + g0[s[1]] + r0[s[2]]];
            d[1] = map[b1[s[4]] + g1[s[5]] + r1[s[6]]];
            d[2] = map[b2[s[8]] + g2[s[9]] + r2[s[10]]];
            d[3] = map[b3[s[12]] + g3[s[13]] + r3[s[14]]];
        }
        for (int k = 0; x < width; ++x, ++k, s += 4, ++d)
            *d = map[blue[offset[k] + s[0]] + green[offset[k] + s[1]] + red[offset[k] + s[2]]];
    }
}

}  // namespace

mDither8bpp::mDither8bpp() { InitDitherTables(); }

void mDither8bpp::InitDitherTables()
{
    for (int i = -kT6Low; i < kT6Count - kT6Low; ++i) {
        const int level = nearestLevel(i, 51, 5);
        m_t6[std::size_t(i + kT6Low)] = std::uint8_t(level);
        m_t6Blue[std::size_t(i + kT6Low)] = std::uint16_t(36 * level);
        m_t6Green[std::size_t(i + kT6Low)] = std::uint8_t(6 * level);
    }
    for (int i = -kT16Low; i < kT16Count - kT16Low; ++i) {
        const int level = nearestLevel(i, 17, 15);
        m_t16[std::size_t(i + kT16Low)] = std::uint8_t(level);
        m_t16Blue[std::size_t(i + kT16Low)] = std::uint16_t(256 * level);
        m_t16Green[std::size_t(i + kT16Low)] = std::uint8_t(16 * level);
    }
    for (std::size_t i = 0; i < m_cube.size(); ++i)
        m_cube[i] = std::uint8_t(i);
    for (int e = -kErrLow; e < kErrCount - kErrLow; ++e) {
        // k x e / 16 to the nearest integer, ties to even (the default rounding mode).
        const auto share = [e](int k) { return std::int16_t(std::nearbyint(double(k * e) / 16.0)); };
        m_e1[std::size_t(e + kErrLow)] = share(1);
        m_e3[std::size_t(e + kErrLow)] = share(3);
        m_e5[std::size_t(e + kErrLow)] = share(5);
        m_e7[std::size_t(e + kErrLow)] = share(7);
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            m_m16[std::size_t(y)][std::size_t(x)] = kBayer16[y][x];
            m_m51[std::size_t(y)][std::size_t(x)] =
                std::uint8_t(std::nearbyint(double(kBayer16[y][x]) * 51.0 / 16.0));
        }
}

void mDither8bpp::SetPaletteMode(std::int32_t mode) { m_paletteMode = mode; }

void mDither8bpp::SetDitherMode(std::int32_t mode) { m_ditherMode = mode; }

std::int16_t mDither8bpp::E(int k, int e) const
{
    const std::size_t i = std::size_t(e + kErrLow);
    switch (k) {
    case 1: return m_e1[i];
    case 3: return m_e3[i];
    case 5: return m_e5[i];
    default: return m_e7[i];
    }
}

void mDither8bpp::BuildOptimalLookup(const cPal8bpp& palette)
{
    for (int b = 0; b < 16; ++b)
        for (int g = 0; g < 16; ++g)
            for (int r = 0; r < 16; ++r)
                m_optimal[std::size_t(256 * b + 16 * g + r)] =
                    palette.ClosestIndex(std::uint8_t(17 * r), std::uint8_t(17 * g), std::uint8_t(17 * b));
}

void mDither8bpp::DitherTo8bpp(const cDIB& source, cDIB& dst, cPal8bpp& palette, bool reusePalette)
{
    if (&source == &dst) {
        // Re-creating the destination would free the source first.
        cDIB copy;
        source.CloneTo(copy);
        DitherTo8bpp(copy, dst, palette, reusePalette);
        return;
    }
    if (source.BPP() != 32)
        throw RuntimeError(errnum::TypeMismatch, "Type mismatch: dithering needs a 32-bit surface");

    if (!reusePalette) {
        if (m_paletteMode == 0) {
            palette.CreateHalftone(4);
        } else if (m_paletteMode == 1) {
            cDIB shrunk;
            source.CloneTo(shrunk);
            std::int32_t bfx = 0, bfy = 0, bfW = 0, bfH = 0;
            shrunk.GetBestFitInfo(50, 50, bfx, bfy, bfW, bfH);
            shrunk.Resize(bfW, bfH, true);
            palette.CreateOptimal(shrunk, 256, 6, 1.0f, 1.0f, 1.0f);
            BuildOptimalLookup(palette);
        }
    }
    if (palette.lpPalette() == nullptr)
        throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range: the palette has no entries");
    std::memcpy(m_paletteCopy.data(), palette.lpPalette(), m_paletteCopy.size());

    cDIB work;
    if (m_ditherMode == 2)
        source.CloneTo(work);

    dst.Create(source.Width(), source.Height(), 8);
    dst.SetPalette(m_paletteCopy.data(), m_paletteCopy.size());
    if (dst.empty())
        return;

    if (m_paletteMode == 0) {
        switch (m_ditherMode) {
        case 0: halftonePlain(source, dst); break;
        case 1: halftoneOrdered(source, dst); break;
        case 2: errorDiffusion<false>(work, dst); break;
        default: break;
        }
    } else if (m_paletteMode == 1) {
        switch (m_ditherMode) {
        case 0: optimalPlain(source, dst); break;
        case 1: optimalOrdered(source, dst); break;
        case 2: errorDiffusion<true>(work, dst); break;
        default: break;
        }
    }
}

void mDither8bpp::halftonePlain(const cDIB& src, cDIB& dst) const
{
    quantiseRows(src, dst, m_t6Blue.data() + kT6Low, m_t6Green.data() + kT6Low, m_t6.data() + kT6Low,
                 m_cube.data(), nullptr, 0);
}

void mDither8bpp::halftoneOrdered(const cDIB& src, cDIB& dst) const
{
    // T6[v + 26 - M51(x mod 4, y mod 4)]
    quantiseRows(src, dst, m_t6Blue.data() + kT6Low, m_t6Green.data() + kT6Low, m_t6.data() + kT6Low,
                 m_cube.data(), &m_m51, 26);
}

void mDither8bpp::optimalPlain(const cDIB& src, cDIB& dst) const
{
    quantiseRows(src, dst, m_t16Blue.data() + kT16Low, m_t16Green.data() + kT16Low, m_t16.data() + kT16Low,
                 m_optimal.data(), nullptr, 0);
}

void mDither8bpp::optimalOrdered(const cDIB& src, cDIB& dst) const
{
    // T16[v + 8 - M16(x mod 4, y mod 4)]
    quantiseRows(src, dst, m_t16Blue.data() + kT16Low, m_t16Green.data() + kT16Low, m_t16.data() + kT16Low,
                 m_optimal.data(), &m_m16, 8);
}

// Error diffusion over the work copy, left to right on every row: the chosen entry's colour is
// subtracted, and when the summed absolute error reaches 4 the error is spread 7/16 right,
// 5/16 below, 1/16 below right and 3/16 below left through the rounded tables, each result
// clamped to 0..255. Work values therefore always stay bytes.
template <bool Optimal>
void mDither8bpp::errorDiffusion(cDIB& work, cDIB& dst) const
{
    const std::int32_t width = work.Width();
    const std::int32_t height = work.Height();
    const std::uint16_t* blue = Optimal ? m_t16Blue.data() + kT16Low : m_t6Blue.data() + kT6Low;
    const std::uint8_t* green = Optimal ? m_t16Green.data() + kT16Low : m_t6Green.data() + kT6Low;
    const std::uint8_t* red = Optimal ? m_t16.data() + kT16Low : m_t6.data() + kT6Low;
    const std::uint8_t* map = Optimal ? m_optimal.data() : m_cube.data();
    const std::int16_t* e1 = m_e1.data() + kErrLow;
    const std::int16_t* e3 = m_e3.data() + kErrLow;
    const std::int16_t* e5 = m_e5.data() + kErrLow;
    const std::int16_t* e7 = m_e7.data() + kErrLow;
    const auto spread = [](std::uint8_t* p, const std::int16_t* table, const int e[3]) {
        p[0] = clampByte(p[0] + table[e[0]]);
        p[1] = clampByte(p[1] + table[e[1]]);
        p[2] = clampByte(p[2] + table[e[2]]);
    };
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = work.scanline(y);
        std::uint8_t* below = y < height - 1 ? work.scanline(y + 1) : nullptr;
        std::uint8_t* d = dst.scanline(y);
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* p = row + 4 * std::size_t(x);
            const std::uint8_t index = map[blue[p[0]] + green[p[1]] + red[p[2]]];
            d[x] = index;
            const std::uint8_t* entry = m_paletteCopy.data() + 4 * std::size_t(index);
            const int e[3] = {p[0] - entry[0], p[1] - entry[1], p[2] - entry[2]};
            if (std::abs(e[0]) + std::abs(e[1]) + std::abs(e[2]) < 4)
                continue;
            p[0] = entry[0];
            p[1] = entry[1];
            p[2] = entry[2];
            if (x < width - 1)
                spread(p + 4, e7, e);
            if (below) {
                std::uint8_t* q = below + 4 * std::size_t(x);
                spread(q, e5, e);
                if (x < width - 1)
                    spread(q + 4, e1, e);
                if (x > 0)
                    spread(q - 4, e3, e);
            }
        }
    }
}

}  // namespace vantorell
