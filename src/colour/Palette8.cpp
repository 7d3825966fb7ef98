#include "colour/Palette8.h"

#include "platform/Conversions.h"

#include <algorithm>

namespace vantorell {

namespace {

// The EGA colours as (red, green, blue): the dark set, then the bright set.
constexpr std::uint8_t kEga[16][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
    {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

// Every logical palette gets its own non-zero handle value.
std::uintptr_t nextLogicalId()
{
    static std::uintptr_t counter = 0;
    return ++counter;
}

[[noreturn]] void raiseSubscript() { throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range"); }

}  // namespace

void Palette8::Initialize(std::int16_t InitialEntries)
{
    Destroy();
    if (InitialEntries < 0 || InitialEntries > std::int16_t(kMaxEntries))
        raiseSubscript();
    m_table.assign(kMaxEntries * 4, 0);
    m_entries = InitialEntries;
}

void Palette8::Destroy()
{
    m_entries = 0;
    m_table.clear();
    m_logical.clear();
    m_hasLogical = false;
    m_logicalId = 0;
}

void Palette8::BuildLogicalPalette()
{
    m_logical.clear();
    m_hasLogical = false;
    // A logical palette of no entries cannot be made: the search then has no palette.
    if (m_entries <= 0 || m_table.empty())
        return;
    m_logical.assign(m_table.begin(), m_table.begin() + std::ptrdiff_t(m_entries) * 4);
    m_hasLogical = true;
    m_logicalId = nextLogicalId();
}

std::uint8_t Palette8::ClosestIndex(std::uint8_t R, std::uint8_t G, std::uint8_t B) const
{
    if (!m_hasLogical)
        raiseOverflow();
    const std::size_t count = m_logical.size() / 4;
    std::size_t best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < count; ++i) {
        const int db = int(m_logical[4 * i + 0]) - B;
        const int dg = int(m_logical[4 * i + 1]) - G;
        const int dr = int(m_logical[4 * i + 2]) - R;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

void Palette8::ClosestColor(std::uint8_t R, std::uint8_t G, std::uint8_t B, std::uint8_t& cR, std::uint8_t& cG,
                            std::uint8_t& cB) const
{
    const std::uint8_t index = ClosestIndex(R, G, B);
    cR = rgbR(index);
    cG = rgbG(index);
    cB = rgbB(index);
}

bool Palette8::IsGreyScale() const
{
    if (m_entries <= 0 || m_table.empty())
        return false;
    for (std::int16_t i = 0; i < m_entries; ++i) {
        const std::uint8_t* e = &m_table[std::size_t(i) * 4];
        if (e[0] != e[1] || e[1] != e[2])
            return false;
    }
    return true;
}

void Palette8::CreateGreyScale(std::int16_t GreyLevels)
{
    Initialize(0);
    int step = 0;
    switch (GreyLevels) {
    case 0: step = 255; break;
    case 1: step = 17; break;
    case 2: step = 1; break;
    default: throw RuntimeError(errnum::DivisionByZero, "Division by zero");
    }
    const int count = 255 / step + 1;
    m_entries = static_cast<std::int16_t>(count);
    for (int i = 0; i < count; ++i)
        setEntry(std::size_t(i), std::uint8_t(i * step), std::uint8_t(i * step), std::uint8_t(i * step));
    BuildLogicalPalette();
}

void Palette8::writeEgaSet(std::size_t start, bool bright)
{
    for (std::size_t i = 0; i < 8; ++i) {
        const auto& c = kEga[i + (bright ? 8 : 0)];
        setEntry(start + i, c[0], c[1], c[2]);
    }
}

void Palette8::CreateEGA()
{
    Initialize(0);
    m_entries = 16;
    writeEgaSet(0, false);
    writeEgaSet(8, true);
    BuildLogicalPalette();
}

void Palette8::CreateHalftone(std::int16_t HalftoneLevels)
{
    Initialize(0);
    static constexpr int kSteps[5] = {256, 128, 85, 64, 51};
    if (HalftoneLevels < 0 || HalftoneLevels > 4)
        raiseSubscript();
    const int step = kSteps[HalftoneLevels];
    // Level values 0, s, 2s, ... while at most 256; 256 itself is stored as 255.
    std::uint8_t values[8];
    int n = 0;
    for (int v = 0; v <= 256; v += step)
        values[n++] = static_cast<std::uint8_t>(std::min(v, 255));
    std::size_t index = 0;
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r)
                setEntry(index++, values[r], values[g], values[b]);
    m_entries = static_cast<std::int16_t>(index);
    BuildLogicalPalette();
}

void Palette8::CreateWebsafe()
{
    Initialize(0);
    m_entries = 256;
    writeEgaSet(0, false);
    writeEgaSet(248, true);
    // The 6 x 6 x 6 cube without the eight colours the EGA sets already hold (black, white,
    // the pure primaries and secondaries: every component 0 or 255).
    std::size_t index = 8;
    for (int b = 0; b < 6; ++b)
        for (int g = 0; g < 6; ++g)
            for (int r = 0; r < 6; ++r) {
                const auto extreme = [](int level) { return level == 0 || level == 5; };
                if (extreme(r) && extreme(g) && extreme(b))
                    continue;
                setEntry(index++, std::uint8_t(51 * r), std::uint8_t(51 * g), std::uint8_t(51 * b));
            }
    // index is 216 here; entry 216 stays black.
    for (std::size_t k = 0; k < 31; ++k) {
        const auto grey = static_cast<std::uint8_t>(8 * (k + 1));
        setEntry(217 + k, grey, grey, grey);
    }
    BuildLogicalPalette();
}

void Palette8::setEntries(std::int16_t New_Entries)
{
    if (New_Entries < 0 || New_Entries > std::int16_t(kMaxEntries))
        raiseSubscript();
    m_entries = New_Entries;
}

void Palette8::setEntry(std::size_t index, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    if (index >= kMaxEntries)
        raiseSubscript();
    m_table[4 * index + 0] = b;
    m_table[4 * index + 1] = g;
    m_table[4 * index + 2] = r;
    m_table[4 * index + 3] = 0;
}

std::uint8_t& Palette8::component(std::uint8_t entry, int offset)
{
    if (m_table.empty())
        raiseSubscript();
    return m_table[std::size_t(entry) * 4 + std::size_t(offset)];
}

std::uint8_t Palette8::component(std::uint8_t entry, int offset) const
{
    if (m_table.empty())
        raiseSubscript();
    return m_table[std::size_t(entry) * 4 + std::size_t(offset)];
}

std::uint8_t Palette8::rgbR(std::uint8_t PalEntry) const { return component(PalEntry, 2); }
std::uint8_t Palette8::rgbG(std::uint8_t PalEntry) const { return component(PalEntry, 1); }
std::uint8_t Palette8::rgbB(std::uint8_t PalEntry) const { return component(PalEntry, 0); }
void Palette8::setRgbR(std::uint8_t PalEntry, std::uint8_t value) { component(PalEntry, 2) = value; }
void Palette8::setRgbG(std::uint8_t PalEntry, std::uint8_t value) { component(PalEntry, 1) = value; }
void Palette8::setRgbB(std::uint8_t PalEntry, std::uint8_t value) { component(PalEntry, 0) = value; }

}  // namespace vantorell
