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
    const std::int32_t width = src.width();
    for (std::int32_t y = 0; y < src.height(); ++y) {
        const std::uint8_t* in = src.scanline(y);
        std::uint8_t* out = dst.scanline(y);
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
        for (; x + 4 <= width; x += 4, in += 16, out += 4) {
            out[0] = map[b0[in[0]] + g0[in[1]] + r0[in[2]]];
            out[1] = map[b1[in[4]] + g1[in[5]] + r1[in[6]]];
            out[2] = map[b2[in[8]] + g2[in[9]] + r2[in[10]]];
            out[3] = map[b3[in[12]] + g3[in[13]] + r3[in[14]]];
        }
        for (int k = 0; x < width; ++x, ++k, in += 4, ++out)
            *out = map[blue[offset[k] + in[0]] + green[offset[k] + in[1]] + red[offset[k] + in[2]]];
    }
}

// Error diffusion's work pixel: blue, green, red as ints.
struct Channels {
    int b, g, r;
};

// Where a share of the error goes: its byte in a packed share.
enum SharePlace { kRight = 0, kBelow = 1, kBelowRight = 2, kBelowLeft = 3 };

// v plus the signed share in byte `place` of a packed share, kept to 0..255.
inline int addShare(int v, std::uint32_t packed, int place)
{
    return std::clamp(v + int(std::int8_t(std::uint8_t(packed >> (8 * place)))), 0, 255);
}

inline Channels loadPixel(const std::uint8_t* p) { return Channels{p[0], p[1], p[2]}; }

inline void storePixel(std::uint8_t* p, const Channels& v)
{
    p[0] = std::uint8_t(v.b);
    p[1] = std::uint8_t(v.g);
    p[2] = std::uint8_t(v.r);
}

}  // namespace

Ditherer::Ditherer() { initDitherTables(); }

void Ditherer::initDitherTables()
{
    for (int i = -kHalftoneLow; i < kHalftoneCount - kHalftoneLow; ++i) {
        const int level = nearestLevel(i, 51, 5);
        m_halftoneLevel[std::size_t(i + kHalftoneLow)] = std::uint8_t(level);
        m_halftoneBlue[std::size_t(i + kHalftoneLow)] = std::uint16_t(36 * level);
        m_halftoneGreen[std::size_t(i + kHalftoneLow)] = std::uint8_t(6 * level);
    }
    for (int i = -kOptimalLow; i < kOptimalCount - kOptimalLow; ++i) {
        const int level = nearestLevel(i, 17, 15);
        m_optimalLevel[std::size_t(i + kOptimalLow)] = std::uint8_t(level);
        m_optimalBlue[std::size_t(i + kOptimalLow)] = std::uint16_t(256 * level);
        m_optimalGreen[std::size_t(i + kOptimalLow)] = std::uint8_t(16 * level);
    }
    for (std::size_t i = 0; i < m_cube.size(); ++i)
        m_cube[i] = std::uint8_t(i);
    for (int error = -kErrorLow; error < kErrorCount - kErrorLow; ++error) {
        // sixteenths x error / 16 to the nearest integer, ties to even (the default rounding mode).
        const auto share = [error](int sixteenths) {
            return std::int16_t(std::nearbyint(double(sixteenths * error) / 16.0));
        };
        const std::size_t i = std::size_t(error + kErrorLow);
        m_share1[i] = share(1);
        m_share3[i] = share(3);
        m_share5[i] = share(5);
        m_share7[i] = share(7);
        m_packedShares[i] = std::uint32_t(std::uint8_t(share(7))) | std::uint32_t(std::uint8_t(share(5))) << 8 |
                            std::uint32_t(std::uint8_t(share(1))) << 16 | std::uint32_t(std::uint8_t(share(3))) << 24;
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            m_bayer16[std::size_t(y)][std::size_t(x)] = kBayer16[y][x];
            m_bayer51[std::size_t(y)][std::size_t(x)] =
                std::uint8_t(std::nearbyint(double(kBayer16[y][x]) * 51.0 / 16.0));
        }
}

void Ditherer::setPaletteMode(PaletteMode mode) { m_paletteMode = mode; }

void Ditherer::setDitherMode(DitherMode mode) { m_ditherMode = mode; }

std::int16_t Ditherer::errorShare(int sixteenths, int error) const
{
    const std::size_t i = std::size_t(error + kErrorLow);
    switch (sixteenths) {
    case 1: return m_share1[i];
    case 3: return m_share3[i];
    case 5: return m_share5[i];
    default: return m_share7[i];
    }
}

void Ditherer::buildOptimalLookup(const Palette8& palette)
{
    for (int b = 0; b < 16; ++b)
        for (int g = 0; g < 16; ++g)
            for (int r = 0; r < 16; ++r)
                m_optimal[std::size_t(256 * b + 16 * g + r)] =
                    palette.closestIndex(std::uint8_t(17 * r), std::uint8_t(17 * g), std::uint8_t(17 * b));
}

void Ditherer::ditherTo8bpp(const Dib& source, Dib& dst, Palette8& palette, bool reusePalette)
{
    if (&source == &dst) {
        // Re-creating the destination would free the source first.
        Dib copy;
        source.cloneTo(copy);
        ditherTo8bpp(copy, dst, palette, reusePalette);
        return;
    }
    if (source.BPP() != 32)
        throw RuntimeError(errnum::TypeMismatch, "Type mismatch: dithering needs a 32-bit surface");

    if (!reusePalette) {
        if (m_paletteMode == PaletteMode::Halftone) {
            palette.createHalftone(HalftoneCube::Colours216);
        } else if (m_paletteMode == PaletteMode::Optimal) {
            // The palette is made from a copy of at most 50 x 50 pixels.
            Dib shrunk;
            source.cloneTo(shrunk);
            std::int32_t fitX = 0, fitY = 0, fitWidth = 0, fitHeight = 0;
            shrunk.getBestFitInfo(50, 50, fitX, fitY, fitWidth, fitHeight);
            shrunk.resize(fitWidth, fitHeight, ResizeMode::Stretch);
            palette.createOptimal(shrunk, 256, 6, 1.0f, 1.0f, 1.0f);
            buildOptimalLookup(palette);
        }
    }
    if (palette.entryData() == nullptr)
        throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range: the palette has no entries");
    std::memcpy(m_paletteCopy.data(), palette.entryData(), m_paletteCopy.size());

    // A target of the right shape is written over (every loop below writes every pixel): an
    // animation reduces frame after frame into one surface without fresh pages each time.
    const bool modes = (m_paletteMode == PaletteMode::Halftone || m_paletteMode == PaletteMode::Optimal) &&
                       (m_ditherMode == DitherMode::None || m_ditherMode == DitherMode::Ordered ||
                        m_ditherMode == DitherMode::Diffusion);
    if (!modes || dst.width() != source.width() || dst.height() != source.height() || dst.BPP() != 8)
        dst.create(source.width(), source.height(), 8);
    dst.setPalette(m_paletteCopy.data(), m_paletteCopy.size());
    if (dst.empty())
        return;

    if (m_paletteMode == PaletteMode::Halftone) {
        switch (m_ditherMode) {
        case DitherMode::None: halftonePlain(source, dst); break;
        case DitherMode::Ordered: halftoneOrdered(source, dst); break;
        case DitherMode::Diffusion: errorDiffusion<false>(source, dst); break;
        default: break;
        }
    } else if (m_paletteMode == PaletteMode::Optimal) {
        switch (m_ditherMode) {
        case DitherMode::None: optimalPlain(source, dst); break;
        case DitherMode::Ordered: optimalOrdered(source, dst); break;
        case DitherMode::Diffusion: errorDiffusion<true>(source, dst); break;
        default: break;
        }
    }
}

void Ditherer::halftonePlain(const Dib& src, Dib& dst) const
{
    quantiseRows(src, dst, m_halftoneBlue.data() + kHalftoneLow, m_halftoneGreen.data() + kHalftoneLow,
                 m_halftoneLevel.data() + kHalftoneLow, m_cube.data(), nullptr, 0);
}

void Ditherer::halftoneOrdered(const Dib& src, Dib& dst) const
{
    // halftoneLevel(v + 26 - halftoneThreshold(x mod 4, y mod 4))
    quantiseRows(src, dst, m_halftoneBlue.data() + kHalftoneLow, m_halftoneGreen.data() + kHalftoneLow,
                 m_halftoneLevel.data() + kHalftoneLow, m_cube.data(), &m_bayer51, 26);
}

void Ditherer::optimalPlain(const Dib& src, Dib& dst) const
{
    quantiseRows(src, dst, m_optimalBlue.data() + kOptimalLow, m_optimalGreen.data() + kOptimalLow,
                 m_optimalLevel.data() + kOptimalLow, m_optimal.data(), nullptr, 0);
}

void Ditherer::optimalOrdered(const Dib& src, Dib& dst) const
{
    // optimalLevel(v + 8 - bayerThreshold(x mod 4, y mod 4))
    quantiseRows(src, dst, m_optimalBlue.data() + kOptimalLow, m_optimalGreen.data() + kOptimalLow,
                 m_optimalLevel.data() + kOptimalLow, m_optimal.data(), &m_bayer16, 8);
}

// The palette colour (blue, green, red from the low byte) of every lookup key, so that error
// diffusion fetches the colour beside the index instead of after it (one load less on the chain
// from one pixel to the next).
template <bool Optimal>
std::array<std::uint32_t, 4096> Ditherer::coloursOfKeys() const
{
    const std::uint8_t* map = Optimal ? m_optimal.data() : m_cube.data();
    std::array<std::uint32_t, 4096> colourOfKey;
    const std::size_t keys = Optimal ? 4096 : 216;
    for (std::size_t key = 0; key < keys; ++key) {
        const std::uint8_t* entry = m_paletteCopy.data() + 4 * std::size_t(map[key]);
        colourOfKey[key] = std::uint32_t(entry[0]) | std::uint32_t(entry[1]) << 8 | std::uint32_t(entry[2]) << 16;
    }
    return colourOfKey;
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
    const std::int32_t width = source.width();
    const std::int32_t height = source.height();
    const std::uint16_t* blue = Optimal ? m_optimalBlue.data() + kOptimalLow : m_halftoneBlue.data() + kHalftoneLow;
    const std::uint8_t* green = Optimal ? m_optimalGreen.data() + kOptimalLow : m_halftoneGreen.data() + kHalftoneLow;
    const std::uint8_t* red = Optimal ? m_optimalLevel.data() + kOptimalLow : m_halftoneLevel.data() + kHalftoneLow;
    const std::uint8_t* map = Optimal ? m_optimal.data() : m_cube.data();
    const std::uint32_t* shares = m_packedShares.data() + kErrorLow;
    const std::array<std::uint32_t, 4096> colourOfKey = coloursOfKeys<Optimal>();

    // The work copy: only the row being quantised and the row below it are ever live (the
    // shares reach one row down), so two row buffers take the place of a whole cloned surface.
    const std::size_t stride = std::size_t(source.bytesPerScanline());
    std::vector<std::uint8_t> rows(2 * stride);
    std::uint8_t* workRow = rows.data();
    std::uint8_t* workBelow = rows.data() + stride;
    std::memcpy(workRow, source.scanline(0), stride);

    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = workRow;
        const bool hasBelow = y < height - 1;
        std::uint8_t* below = hasBelow ? workBelow : nullptr;
        if (hasBelow)
            std::memcpy(below, source.scanline(y + 1), stride);
        std::uint8_t* out = dst.scanline(y);
        Channels pixel = loadPixel(row);
        Channels belowLeft{0, 0, 0};
        Channels belowThis = hasBelow ? loadPixel(below) : Channels{0, 0, 0};

        // One pixel; the edges are compile-time cases so the middle of the row has no tests.
        const auto step = [&](std::int32_t x, auto hasRight, auto hasLeft, auto withBelow) {
            const unsigned key = unsigned(blue[pixel.b] + green[pixel.g] + red[pixel.r]);
            out[x] = map[key];
            const std::uint32_t colour = colourOfKey[key];
            const int errorBlue = pixel.b - int(colour & 0xFF);
            const int errorGreen = pixel.g - int((colour >> 8) & 0xFF);
            const int errorRed = pixel.r - int(colour >> 16);
            // Small errors are rare on real pictures: the branch predicts well.
            const bool spread = std::abs(errorBlue) + std::abs(errorGreen) + std::abs(errorRed) >= 4;
            const std::uint32_t shareBlue = spread ? shares[errorBlue] : 0u;
            const std::uint32_t shareGreen = spread ? shares[errorGreen] : 0u;
            const std::uint32_t shareRed = spread ? shares[errorRed] : 0u;
            // A neighbour's channels plus its share of the error.
            const auto plusShare = [&](const Channels& v, int place) {
                return Channels{addShare(v.b, shareBlue, place), addShare(v.g, shareGreen, place),
                                addShare(v.r, shareRed, place)};
            };
            if constexpr (decltype(hasRight)::value)
                pixel = plusShare(loadPixel(row + 4 * std::size_t(x + 1)), kRight);
            if constexpr (decltype(withBelow)::value) {
                Channels belowRight{0, 0, 0};
                if constexpr (decltype(hasRight)::value)
                    belowRight = plusShare(loadPixel(below + 4 * std::size_t(x + 1)), kBelowRight);
                belowThis = plusShare(belowThis, kBelow);
                if constexpr (decltype(hasLeft)::value)
                    storePixel(below + 4 * std::size_t(x - 1), plusShare(belowLeft, kBelowLeft));
                belowLeft = belowThis;
                belowThis = belowRight;
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
                storePixel(below + 4 * std::size_t(width - 1), belowLeft);
        };
        if (hasBelow)
            runRow(std::true_type{});
        else
            runRow(std::false_type{});
        std::swap(workRow, workBelow);
    }
}

}  // namespace vantorell
