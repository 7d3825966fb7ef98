// Ditherer: reduces a 32-bit surface to an 8-bit surface with a Palette8 palette. Two
// settings choose the palette (0 halftone 216-colour cube, 1 optimal octree palette) and the
// dither (0 none, 1 ordered 4 x 4, 2 error diffusion); six loops, one per pair, do the pixel work
// through precomputed tables only. The module's state lives in one object; it serves one
// conversion at a time. The constructor builds the tables, so InitDitherTables is only needed
// to rebuild them.
#pragma once

#include <array>
#include <cstdint>

namespace vantorell {

class Dib;
class Palette8;

class Ditherer {
public:
    Ditherer();

    void InitDitherTables();
    void SetPaletteMode(std::int32_t mode);   // 0 halftone, 1 optimal; other values make no palette
    void SetDitherMode(std::int32_t mode);    // 0 none, 1 ordered, 2 error diffusion; others run no loop
    std::int32_t PaletteMode() const { return m_paletteMode; }
    std::int32_t DitherMode() const { return m_ditherMode; }

    // Makes (or with reusePalette keeps) the palette, re-creates dst as an 8-bit surface of the
    // source's size with the palette's 256 entries as colour table and fills it. source must be
    // a 32-bit surface (RuntimeError TypeMismatch otherwise) and is never modified. With
    // reusePalette and a palette that was never made, raises SubscriptOutOfRange.
    void DitherTo8bpp(const Dib& source, Dib& dst, Palette8& palette, bool reusePalette);
    // Optimal lookup entry 256b + 16g + r = palette.ClosestIndex(17r, 17g, 17b), r, g, b in 0..15.
    void BuildOptimalLookup(const Palette8& palette);

    // The tables, for tests and inspection.
    std::uint8_t T6(int i) const { return m_t6[std::size_t(i + kT6Low)]; }        // i = -51..280
    std::uint8_t T16(int i) const { return m_t16[std::size_t(i + kT16Low)]; }     // i = -8..262
    std::int16_t E(int k, int e) const;                                           // k = 1, 3, 5, 7; e = -255..255
    std::uint8_t M16(int x, int y) const { return m_m16[std::size_t(y & 3)][std::size_t(x & 3)]; }
    std::uint8_t M51(int x, int y) const { return m_m51[std::size_t(y & 3)][std::size_t(x & 3)]; }
    std::uint8_t CubeIndex(int i) const { return m_cube[std::size_t(i)]; }            // 0..215
    std::uint8_t OptimalLookup(int i) const { return m_optimal[std::size_t(i)]; }     // 0..4095

private:
    static constexpr int kT6Low = 51, kT6Count = 332;
    static constexpr int kT16Low = 8, kT16Count = 271;
    static constexpr int kErrLow = 255, kErrCount = 511;

    void halftonePlain(const Dib& src, Dib& dst) const;
    void halftoneOrdered(const Dib& src, Dib& dst) const;
    void optimalPlain(const Dib& src, Dib& dst) const;
    void optimalOrdered(const Dib& src, Dib& dst) const;
    template <bool Optimal> void errorDiffusion(const Dib& source, Dib& dst) const;

    std::int32_t m_paletteMode = 0;
    std::int32_t m_ditherMode = 0;
    std::array<std::uint8_t, kT6Count> m_t6{};
    std::array<std::uint8_t, kT16Count> m_t16{};
    // T6 and T16 scaled to their place in the index (blue x 36 or 256, green x 6 or 16), so
    // that an index is three lookups and two additions.
    std::array<std::uint16_t, kT6Count> m_t6Blue{};
    std::array<std::uint8_t, kT6Count> m_t6Green{};
    std::array<std::uint16_t, kT16Count> m_t16Blue{};
    std::array<std::uint8_t, kT16Count> m_t16Green{};
    std::array<std::uint8_t, 216> m_cube{};
    std::array<std::uint8_t, 4096> m_optimal{};
    std::array<std::int16_t, kErrCount> m_e1{}, m_e3{}, m_e5{}, m_e7{};
    // The four shares of one error packed as signed bytes (E7, E5, E1, E3 from the low byte):
    // one lookup per channel gives all of them (|E7| <= 112 fits a signed byte).
    std::array<std::uint32_t, kErrCount> m_shares{};
    std::array<std::array<std::uint8_t, 4>, 4> m_m16{};
    std::array<std::array<std::uint8_t, 4>, 4> m_m51{};
    std::array<std::uint8_t, 1024> m_paletteCopy{};
};

}  // namespace vantorell
