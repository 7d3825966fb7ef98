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

// The greys of CreateGreyScale. Any other value raises DivisionByZero.
enum class GreyLevels : std::int16_t {
    Greys2 = 0,     // black and white
    Greys16 = 1,    // steps of 17
    Greys256 = 2,   // every grey
};

// The colour cube of CreateHalftone: n levels of each channel, n^3 colours. Any other value
// raises SubscriptOutOfRange.
enum class HalftoneCube : std::int16_t {
    Colours8 = 0,     // 2 levels
    Colours27 = 1,    // 3 levels
    Colours64 = 2,    // 4 levels
    Colours125 = 3,   // 5 levels
    Colours216 = 4,   // 6 levels, the web-safe cube
};

class Palette8 {
public:
    static constexpr std::size_t kMaxEntries = 256;

    Palette8() = default;

    // Destroy, then Entries = entries (0..256) and a fresh table of 256 zero entries.
    void initialize(std::int16_t entries);
    // Entries = 0, no table, no logical palette.
    void destroy();
    // Takes a snapshot of entries 0 .. Entries - 1 for the nearest-colour search (the logical
    // palette). Writing entries or Entries afterwards leaves the search on the old snapshot.
    void buildLogicalPalette();

    // The snapshot entry nearest to the colour: smallest squared distance, lowest index on ties.
    // Raises RuntimeError(errnum::Overflow) when there is no snapshot (or it is empty), as the
    // platform's search then answers "no match".
    std::uint8_t closestIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue) const;
    // The table's colour of closestIndex(red, green, blue).
    void closestColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& closestRed,
                      std::uint8_t& closestGreen, std::uint8_t& closestBlue) const;
    // True when Entries > 0 and entries 0 .. Entries - 1 all have red = green = blue.
    bool isGreyScale() const;

    // Every Create… starts with initialize(0) and ends with BuildLogicalPalette.
    void createGreyScale(GreyLevels levels);
    void createEGA();                          // the 16 EGA colours
    void createHalftone(HalftoneCube cube);    // the cube, blue slowest and red fastest
    void createWebsafe();                      // 256 entries: EGA sets, 208 cube colours, greys
    // Octree palette of at most maxColours (1..256) colours adapted to a 32-bit surface, tree
    // depth 1..8; a surface of another depth leaves the palette as it was. Each channel is
    // multiplied by its weight before it is placed in the tree.
    void createOptimal(const Dib& source, std::int32_t maxColours, std::int32_t depth, float redWeight,
                       float greenWeight, float blueWeight);

    // Entry 0 of the table (nullptr before Initialize); callers copy Entries x 4 or 1024 bytes.
    const std::uint8_t* entryData() const { return m_table.empty() ? nullptr : m_table.data(); }
    std::uint8_t* entryData() { return m_table.empty() ? nullptr : m_table.data(); }
    // Non-zero while a logical palette snapshot exists; each snapshot gets a new number.
    std::uintptr_t logicalPaletteId() const { return m_hasLogical ? m_logicalId : 0; }

    std::int16_t entries() const { return m_entries; }
    // Does not rebuild the logical palette. Raises SubscriptOutOfRange outside 0..256.
    void setEntries(std::int16_t entries);

    // One component of one entry. Raise SubscriptOutOfRange before Initialize. Writing does
    // not rebuild the logical palette.
    std::uint8_t red(std::uint8_t entry) const;
    std::uint8_t green(std::uint8_t entry) const;
    std::uint8_t blue(std::uint8_t entry) const;
    void setRed(std::uint8_t entry, std::uint8_t value);
    void setGreen(std::uint8_t entry, std::uint8_t value);
    void setBlue(std::uint8_t entry, std::uint8_t value);

private:
    void setEntry(std::size_t index, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
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
