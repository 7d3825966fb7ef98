// Palette8: a palette of up to 256 colours for 8-bit images. The entry table is 256 entries of
// 4 bytes (blue, green, red, 0), the colour-table layout of an 8-bit surface, so it is copied
// into surfaces and GIF palettes as one block. Generators: greyscale, EGA, halftone cube,
// web-safe and the octree optimal palette (OptimalPalette.cpp). Failures raise RuntimeError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantorell {

class Dib;

class Palette8 {
public:
    static constexpr std::size_t kMaxEntries = 256;

    Palette8() = default;

    // Destroy, then Entries = InitialEntries (0..256) and a fresh table of 256 zero entries.
    void Initialize(std::int16_t InitialEntries);
    // Entries = 0, no table, no logical palette.
    void Destroy();
    // Takes a snapshot of entries 0 .. Entries - 1 for the nearest-colour search (the logical
    // palette). Writing entries or Entries afterwards leaves the search on the old snapshot.
    void BuildLogicalPalette();

    // The snapshot entry nearest to (R, G, B): smallest squared distance, lowest index on ties.
    // Raises RuntimeError(errnum::Overflow) when there is no snapshot (or it is empty), as the
    // platform's search then answers "no match".
    std::uint8_t ClosestIndex(std::uint8_t R, std::uint8_t G, std::uint8_t B) const;
    void ClosestColor(std::uint8_t R, std::uint8_t G, std::uint8_t B, std::uint8_t& cR, std::uint8_t& cG,
                      std::uint8_t& cB) const;
    // True when Entries > 0 and entries 0 .. Entries - 1 all have red = green = blue.
    bool IsGreyScale() const;

    // Every Create… starts with Initialize(0) and ends with BuildLogicalPalette.
    void CreateGreyScale(std::int16_t GreyLevels);      // 0: 2 greys, 1: 16, 2: 256; else DivisionByZero
    void CreateEGA();                                    // the 16 EGA colours
    void CreateHalftone(std::int16_t HalftoneLevels);    // 0..4: cubes of 8, 27, 64, 125, 216; else SubscriptOutOfRange
    void CreateWebsafe();                                // 256 entries: EGA sets, 208 cube colours, greys
    // Octree palette of at most nColors (1..256) colours adapted to a 32-bit surface, tree depth
    // nLevels (1..8); a surface of another depth leaves the palette as it was.
    void CreateOptimal(const Dib& oDIB32, std::int32_t nColors, std::int32_t nLevels, float RWeight, float GWeight,
                       float BWeight);

    // Entry 0 of the table (nullptr before Initialize); callers copy Entries x 4 or 1024 bytes.
    const std::uint8_t* lpPalette() const { return m_table.empty() ? nullptr : m_table.data(); }
    std::uint8_t* lpPalette() { return m_table.empty() ? nullptr : m_table.data(); }
    // Non-zero while a logical palette snapshot exists.
    std::uintptr_t hPal() const { return m_hasLogical ? m_logicalId : 0; }

    std::int16_t Entries() const { return m_entries; }
    // Does not rebuild the logical palette. Raises SubscriptOutOfRange outside 0..256.
    void setEntries(std::int16_t New_Entries);

    // One component of one entry. Raise SubscriptOutOfRange before Initialize. Writing does
    // not rebuild the logical palette.
    std::uint8_t rgbR(std::uint8_t PalEntry) const;
    std::uint8_t rgbG(std::uint8_t PalEntry) const;
    std::uint8_t rgbB(std::uint8_t PalEntry) const;
    void setRgbR(std::uint8_t PalEntry, std::uint8_t value);
    void setRgbG(std::uint8_t PalEntry, std::uint8_t value);
    void setRgbB(std::uint8_t PalEntry, std::uint8_t value);

private:
    void setEntry(std::size_t index, std::uint8_t r, std::uint8_t g, std::uint8_t b);
    void writeEgaSet(std::size_t start, bool bright);
    std::uint8_t& component(std::uint8_t entry, int offset);
    std::uint8_t component(std::uint8_t entry, int offset) const;

    std::int16_t m_entries = 0;
    std::vector<std::uint8_t> m_table;     // 1024 bytes once initialised
    std::vector<std::uint8_t> m_logical;   // the snapshot: Entries x 4 bytes
    bool m_hasLogical = false;
    std::uintptr_t m_logicalId = 0;
};

}  // namespace vantorell
