#include "colour/Ditherer.h"

#include "colour/Palette8.h"
#include "dib/Dib.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

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

// One quantising loop for the plain and ordered families: per pixel three table lookups
// (blue, green, red levels already scaled to their place in the index), a sum, and one map
// lookup. Each row has four threshold phases; tables are pre-offset per phase, so the loop body
// holds no arithmetic beyond the two additions. Invariant: v + offset[k] stays inside the
// tables (v in 0..255, offsets from the matrices chosen by the caller).
template <class BlueT, class MapT>
void quantiseRows(const Dib& src, Dib& dst, const BlueT* blue, const std::uint8_t* green,
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

Ditherer::Ditherer() { InitDitherTables(); }

void Ditherer::InitDitherTables()
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
        m_shares[std::size_t(e + kErrLow)] = std::uint32_t(std::uint8_t(share(7))) |
                                             std::uint32_t(std::uint8_t(share(5))) << 8 |
                                             std::uint32_t(std::uint8_t(share(1))) << 16 |
                                             std::uint32_t(std::uint8_t(share(3))) << 24;
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            m_m16[std::size_t(y)][std::size_t(x)] = kBayer16[y][x];
            m_m51[std::size_t(y)][std::size_t(x)] =
                std::uint8_t(std::nearbyint(double(kBayer16[y][x]) * 51.0 / 16.0));
        }
}

void Ditherer::SetPaletteMode(std::int32_t mode) { m_paletteMode = mode; }

void Ditherer::SetDitherMode(std::int32_t mode) { m_ditherMode = mode; }

std::int16_t Ditherer::E(int k, int e) const
{
    const std::size_t i = std::size_t(e + kErrLow);
    switch (k) {
    case 1: return m_e1[i];
    case 3: return m_e3[i];
    case 5: return m_e5[i];
    default: return m_e7[i];
    }
}

void Ditherer::BuildOptimalLookup(const Palette8& palette)
{
    for (int b = 0; b < 16; ++b)
        for (int g = 0; g < 16; ++g)
            for (int r = 0; r < 16; ++r)
                m_optimal[std::size_t(256 * b + 16 * g + r)] =
                    palette.ClosestIndex(std::uint8_t(17 * r), std::uint8_t(17 * g), std::uint8_t(17 * b));
}

void Ditherer::DitherTo8bpp(const Dib& source, Dib& dst, Palette8& palette, bool reusePalette)
{
    if (&source == &dst) {
        // Re-creating the destination would free the source first.
        Dib copy;
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
            Dib shrunk;
            source.CloneTo(shrunk);
            std::int32_t bfx = 0, bfy = 0, bfW = 0, bfH = 0;
            shrunk.GetBestFitInfo(50, 50, bfx, bfy, bfW, bfH);
            shrunk.Resize(bfW, bfH, ResizeMode::Stretch);
            palette.CreateOptimal(shrunk, 256, 6, 1.0f, 1.0f, 1.0f);
            BuildOptimalLookup(palette);
        }
    }
    if (palette.lpPalette() == nullptr)
        throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range: the palette has no entries");
    std::memcpy(m_paletteCopy.data(), palette.lpPalette(), m_paletteCopy.size());

    dst.Create(source.Width(), source.Height(), 8);
    dst.SetPalette(m_paletteCopy.data(), m_paletteCopy.size());
    if (dst.empty())
        return;

    if (m_paletteMode == 0) {
        switch (m_ditherMode) {
        case 0: halftonePlain(source, dst); break;
        case 1: halftoneOrdered(source, dst); break;
        case 2: errorDiffusion<false>(source, dst); break;
        default: break;
        }
    } else if (m_paletteMode == 1) {
        switch (m_ditherMode) {
        case 0: optimalPlain(source, dst); break;
        case 1: optimalOrdered(source, dst); break;
        case 2: errorDiffusion<true>(source, dst); break;
        default: break;
        }
    }
}

void Ditherer::halftonePlain(const Dib& src, Dib& dst) const
{
    quantiseRows(src, dst, m_t6Blue.data() + kT6Low, m_t6Green.data() + kT6Low, m_t6.data() + kT6Low,
                 m_cube.data(), nullptr, 0);
}

void Ditherer::halftoneOrdered(const Dib& src, Dib& dst) const
{
    // T6[v + 26 - M51(x mod 4, y mod 4)]
    quantiseRows(src, dst, m_t6Blue.data() + kT6Low, m_t6Green.data() + kT6Low, m_t6.data() + kT6Low,
                 m_cube.data(), &m_m51, 26);
}

void Ditherer::optimalPlain(const Dib& src, Dib& dst) const
{
    quantiseRows(src, dst, m_t16Blue.data() + kT16Low, m_t16Green.data() + kT16Low, m_t16.data() + kT16Low,
                 m_optimal.data(), nullptr, 0);
}

void Ditherer::optimalOrdered(const Dib& src, Dib& dst) const
{
    // T16[v + 8 - M16(x mod 4, y mod 4)]
    quantiseRows(src, dst, m_t16Blue.data() + kT16Low, m_t16Green.data() + kT16Low, m_t16.data() + kT16Low,
                 m_optimal.data(), &m_m16, 8);
}

// Error diffusion over a work copy of the source, left to right on every row: the chosen
// entry's colour is subtracted, and when the summed absolute error reaches 4 the error is spread
// 7/16 right, 5/16 below, 1/16 below right and 3/16 below left through the rounded tables, each
// result clamped to 0..255 as it is added. The caller's surface is only read.
//
// The loop keeps the pixels it is still adding to in registers: the right neighbour, and a
// window of three pixels of the row below (below left gets its last share, 3/16, at this step;
// below has had 1/16 and gets 5/16; below right gets its first, 1/16). Each pixel of the row
// below thus receives its shares in the same order as in the straightforward walk, so the
// clamped sums are the same. A small error spreads nothing: its shares are zero, which leaves
// every value as it was (they are already in 0..255). The chosen colour is not written back
// into the current work pixel: no later step reads it.
template <bool Optimal>
void Ditherer::errorDiffusion(const Dib& source, Dib& dst) const
{
    const std::int32_t width = source.Width();
    const std::int32_t height = source.Height();
    const std::uint16_t* blue = Optimal ? m_t16Blue.data() + kT16Low : m_t6Blue.data() + kT6Low;
    const std::uint8_t* green = Optimal ? m_t16Green.data() + kT16Low : m_t6Green.data() + kT6Low;
    const std::uint8_t* red = Optimal ? m_t16.data() + kT16Low : m_t6.data() + kT6Low;
    const std::uint8_t* map = Optimal ? m_optimal.data() : m_cube.data();
    const std::uint32_t* shares = m_shares.data() + kErrLow;

    // The palette colour of every lookup key, so that the colour is fetched beside the index
    // instead of after it (one load less on the chain from one pixel to the next).
    std::array<std::uint32_t, 4096> colourOfKey;
    const std::size_t keys = Optimal ? 4096 : 216;
    for (std::size_t k = 0; k < keys; ++k) {
        const std::uint8_t* entry = m_paletteCopy.data() + 4 * std::size_t(map[k]);
        colourOfKey[k] = std::uint32_t(entry[0]) | std::uint32_t(entry[1]) << 8 | std::uint32_t(entry[2]) << 16;
    }

    struct Px {
        int b, g, r;
    };
    const auto add = [](int v, std::uint32_t packed, int byte) {
        return std::clamp(v + int(std::int8_t(std::uint8_t(packed >> (8 * byte)))), 0, 255);
    };
    enum { kRight = 0, kBelow = 1, kBelowRight = 2, kBelowLeft = 3 };   // byte of a packed share
    const auto load = [](const std::uint8_t* p) { return Px{p[0], p[1], p[2]}; };
    const auto store = [](std::uint8_t* p, const Px& v) {
        p[0] = std::uint8_t(v.b);
        p[1] = std::uint8_t(v.g);
        p[2] = std::uint8_t(v.r);
    };

    // The work copy: only the row being quantised and the row below it are ever live (the
    // shares reach one row down), so two row buffers take the place of a whole cloned surface.
    const std::size_t stride = std::size_t(source.BytesPerScanline());
    std::vector<std::uint8_t> rows(2 * stride);
    std::uint8_t* current = rows.data();
    std::uint8_t* next = rows.data() + stride;
    std::memcpy(current, source.scanline(0), stride);

    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = current;
        const bool hasBelow = y < height - 1;
        std::uint8_t* below = hasBelow ? next : nullptr;
        if (hasBelow)
            std::memcpy(below, source.scanline(y + 1), stride);
        std::uint8_t* d = dst.scanline(y);
        Px cur = load(row);
        Px bl{0, 0, 0};
        Px bc = hasBelow ? load(below) : Px{0, 0, 0};

        // One pixel; the edges are compile-time cases so the middle of the row has no tests.
        const auto step = [&](std::int32_t x, auto hasRight, auto hasLeft, auto withBelow) {
            const unsigned key = unsigned(blue[cur.b] + green[cur.g] + red[cur.r]);
            d[x] = map[key];
            const std::uint32_t colour = colourOfKey[key];
            const int eb = cur.b - int(colour & 0xFF);
            const int eg = cur.g - int((colour >> 8) & 0xFF);
            const int er = cur.r - int(colour >> 16);
            // Small errors are rare on real pictures: the branch predicts well.
            const bool spread = std::abs(eb) + std::abs(eg) + std::abs(er) >= 4;
            const std::uint32_t sb = spread ? shares[eb] : 0u;
            const std::uint32_t sg = spread ? shares[eg] : 0u;
            const std::uint32_t sr = spread ? shares[er] : 0u;
            if constexpr (decltype(hasRight)::value) {
                const Px next = load(row + 4 * std::size_t(x + 1));
                cur = Px{add(next.b, sb, kRight), add(next.g, sg, kRight), add(next.r, sr, kRight)};
            }
            if constexpr (decltype(withBelow)::value) {
                Px br{0, 0, 0};
                if constexpr (decltype(hasRight)::value) {
                    const Px q = load(below + 4 * std::size_t(x + 1));
                    br = Px{add(q.b, sb, kBelowRight), add(q.g, sg, kBelowRight), add(q.r, sr, kBelowRight)};
                }
                bc = Px{add(bc.b, sb, kBelow), add(bc.g, sg, kBelow), add(bc.r, sr, kBelow)};
                if constexpr (decltype(hasLeft)::value)
                    store(below + 4 * std::size_t(x - 1),
                          Px{add(bl.b, sb, kBelowLeft), add(bl.g, sg, kBelowLeft), add(bl.r, sr, kBelowLeft)});
                bl = bc;
                bc = br;
            }
        };
        const auto runRow = [&](auto withBelow) {
            using Yes = std::true_type;
            using No = std::false_type;
            if (width == 1) {
                step(0, No{}, No{}, withBelow);
            } else {
                step(0, Yes{}, No{}, withBelow);
                for (std::int32_t x = 1; x < width - 1; ++x)
                    step(x, Yes{}, Yes{}, withBelow);
                step(width - 1, No{}, Yes{}, withBelow);
            }
            // The last pixel of the row below has all its shares (nothing lies to its right).
            if constexpr (decltype(withBelow)::value)
                store(below + 4 * std::size_t(width - 1), bl);
        };
        if (hasBelow)
            runRow(std::true_type{});
        else
            runRow(std::false_type{});
        std::swap(current, next);
    }
}

}  // namespace vantorell
