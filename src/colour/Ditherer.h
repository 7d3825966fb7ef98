// Ditherer: reduces a 32-bit surface to an 8-bit surface with a Palette8 palette. Two
// settings choose the palette (PaletteMode) and the dither (DitherMode); six loops, one per
// pair, do the pixel work through precomputed tables only. The module's state lives in one
// object; it serves one conversion at a time. The constructor builds the tables, so
// InitDitherTables is only needed to rebuild them.
#pragma once

#include <array>
#include <cstdint>

namespace vantorell {

class Dib;
class Palette8;

// The palette DitherTo8bpp makes. Any other value makes no palette.
enum class PaletteMode : std::int32_t {
    Halftone = 0,   // the 216-colour cube: 6 levels of each channel
    Optimal = 1,    // an octree palette of the picture, looked up through 16 levels a channel
};

// How pixels are matched to the palette. Any other value runs no loop.
enum class DitherMode : std::int32_t {
    None = 0,        // the nearest level of each channel
    Ordered = 1,     // the 4 x 4 Bayer matrix added before the nearest level
    Diffusion = 2,   // error diffusion, 7/16 right, 5/16 below, 1/16 below right, 3/16 below left
};

class Ditherer {
public:
    Ditherer();

    void initDitherTables();
    void setPaletteMode(PaletteMode mode);
    void setDitherMode(DitherMode mode);
    PaletteMode paletteMode() const { return m_paletteMode; }
    DitherMode ditherMode() const { return m_ditherMode; }

    // Makes (or with reusePalette keeps) the palette, re-creates dst as an 8-bit surface of the
    // source's size with the palette's 256 entries as colour table and fills it. source must be
    // a 32-bit surface (RuntimeError TypeMismatch otherwise) and is never modified. With
    // reusePalette and a palette that was never made, raises SubscriptOutOfRange.
    void ditherTo8bpp(const Dib& source, Dib& dst, Palette8& palette, bool reusePalette);
    // Optimal lookup entry 256b + 16g + r = palette.closestIndex(17r, 17g, 17b), r, g, b in 0..15.
    void buildOptimalLookup(const Palette8& palette);

    // The tables, for tests and inspection.
    // Level 0..5 of a channel value for the halftone cube: nearest(value / 51), value -51..280.
    std::uint8_t halftoneLevel(int value) const { return m_halftoneLevel[std::size_t(value + kHalftoneLow)]; }
    // Level 0..15 of a channel value for the optimal lookup: nearest(value / 17), value -8..262.
    std::uint8_t optimalLevel(int value) const { return m_optimalLevel[std::size_t(value + kOptimalLow)]; }
    // nearest(sixteenths x error / 16), sixteenths 1, 3, 5 or 7, error -255..255.
    std::int16_t errorShare(int sixteenths, int error) const;
    // The 4 x 4 Bayer matrix (1..16) and the same scaled to the halftone step of 51.
    std::uint8_t bayerThreshold(int x, int y) const { return m_bayer16[std::size_t(y & 3)][std::size_t(x & 3)]; }
    std::uint8_t halftoneThreshold(int x, int y) const { return m_bayer51[std::size_t(y & 3)][std::size_t(x & 3)]; }
    std::uint8_t cubeIndex(int i) const { return m_cube[std::size_t(i)]; }            // 0..215
    std::uint8_t optimalLookup(int i) const { return m_optimal[std::size_t(i)]; }     // 0..4095

private:
    static constexpr int kHalftoneLow = 51, kHalftoneCount = 332;
    static constexpr int kOptimalLow = 8, kOptimalCount = 271;
    static constexpr int kErrorLow = 255, kErrorCount = 511;

    void halftonePlain(const Dib& src, Dib& dst) const;
    void halftoneOrdered(const Dib& src, Dib& dst) const;
    void optimalPlain(const Dib& src, Dib& dst) const;
    void optimalOrdered(const Dib& src, Dib& dst) const;
    template <bool Optimal> void errorDiffusion(const Dib& source, Dib& dst) const;
    template <bool Optimal> std::array<std::uint32_t, 4096> coloursOfKeys() const;

    PaletteMode m_paletteMode = PaletteMode::Halftone;
    DitherMode m_ditherMode = DitherMode::None;
    std::array<std::uint8_t, kHalftoneCount> m_halftoneLevel{};
    std::array<std::uint8_t, kOptimalCount> m_optimalLevel{};
    // The levels scaled to their place in the index (blue x 36 or 256, green x 6 or 16), so
    // that an index is three lookups and two additions.
    std::array<std::uint16_t, kHalftoneCount> m_halftoneBlue{};
    std::array<std::uint8_t, kHalftoneCount> m_halftoneGreen{};
    std::array<std::uint16_t, kOptimalCount> m_optimalBlue{};
    std::array<std::uint8_t, kOptimalCount> m_optimalGreen{};
    std::array<std::uint8_t, 216> m_cube{};
    std::array<std::uint8_t, 4096> m_optimal{};
    std::array<std::int16_t, kErrorCount> m_share1{}, m_share3{}, m_share5{}, m_share7{};
    // The four shares of one error packed as signed bytes (7, 5, 1 and 3 sixteenths from the
    // low byte): one lookup per channel gives all of them (|7/16 x 255| <= 112 fits a signed byte).
    std::array<std::uint32_t, kErrorCount> m_packedShares{};
    std::array<std::array<std::uint8_t, 4>, 4> m_bayer16{};
    std::array<std::array<std::uint8_t, 4>, 4> m_bayer51{};
    std::array<std::uint8_t, 1024> m_paletteCopy{};
};

}  // namespace vantorell
