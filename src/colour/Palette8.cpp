#include "colour/Palette8.h"

#include "platform/Conversions.h"

#include <algorithm>
#include <atomic>

namespace vantorell {

namespace {

// The EGA colours as (red, green, blue): the dark set, then the bright set.
constexpr std::uint8_t kEga[16][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
    {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

// Every logical palette gets its own non-zero handle value, whichever thread builds it (a GIF's
// frames are stored on a thread of their own, batch jobs run side by side).
std::uintptr_t nextLogicalId()
{
    static std::atomic<std::uintptr_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

[[noreturn]] void raiseSubscript() { throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range"); }

}  // namespace

void Palette8::initialize(std::int16_t entries)
{
    destroy();
    if (entries < 0 || entries > std::int16_t(kMaxEntries))
        raiseSubscript();
    m_table.assign(kMaxEntries * 4, 0);
    m_entries = entries;
}

void Palette8::destroy()
{
    m_entries = 0;
    m_table.clear();
    m_logical.clear();
    m_hasLogical = false;
    m_logicalId = 0;
}

void Palette8::buildLogicalPalette()
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

std::uint8_t Palette8::closestIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue) const
{
    if (!m_hasLogical)
        raiseOverflow();
    const std::size_t count = m_logical.size() / 4;
    std::size_t best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < count; ++i) {
        const int db = int(m_logical[4 * i + 0]) - blue;
        const int dg = int(m_logical[4 * i + 1]) - green;
        const int dr = int(m_logical[4 * i + 2]) - red;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

void Palette8::closestColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& closestRed,
                            std::uint8_t& closestGreen, std::uint8_t& closestBlue) const
{
    const std::uint8_t index = closestIndex(red, green, blue);
    closestRed = this->red(index);
    closestGreen = this->green(index);
    closestBlue = this->blue(index);
}

bool Palette8::isGreyScale() const
{
    if (m_entries <= 0 || m_table.empty())
        return false;
    for (std::int16_t i = 0; i < m_entries; ++i) {
        const std::uint8_t* entry = &m_table[std::size_t(i) * 4];
        if (entry[0] != entry[1] || entry[1] != entry[2])
            return false;
    }
    return true;
}

void Palette8::createGreyScale(GreyLevels levels)
{
    initialize(0);
    int step = 0;
    switch (levels) {
    case GreyLevels::Greys2: step = 255; break;
    case GreyLevels::Greys16: step = 17; break;
    case GreyLevels::Greys256: step = 1; break;
    default: throw RuntimeError(errnum::DivisionByZero, "Division by zero");
    }
    const int count = 255 / step + 1;
    m_entries = static_cast<std::int16_t>(count);
    for (int i = 0; i < count; ++i)
        setEntry(std::size_t(i), std::uint8_t(i * step), std::uint8_t(i * step), std::uint8_t(i * step));
    buildLogicalPalette();
}

void Palette8::writeEgaSet(std::size_t start, bool bright)
{
    for (std::size_t i = 0; i < 8; ++i) {
        const auto& colour = kEga[i + (bright ? 8 : 0)];
        setEntry(start + i, colour[0], colour[1], colour[2]);
    }
}

void Palette8::createEGA()
{
    initialize(0);
    m_entries = 16;
    writeEgaSet(0, false);
    writeEgaSet(8, true);
    buildLogicalPalette();
}

void Palette8::createHalftone(HalftoneCube cube)
{
    initialize(0);
    static constexpr int kSteps[5] = {256, 128, 85, 64, 51};
    const int cubeIndex = static_cast<int>(cube);
    if (cubeIndex < 0 || cubeIndex > 4)
        raiseSubscript();
    const int step = kSteps[cubeIndex];
    // Level values 0, step, 2 x step, ... while at most 256; 256 itself is stored as 255.
    std::uint8_t values[8];
    int levels = 0;
    for (int v = 0; v <= 256; v += step)
        values[levels++] = static_cast<std::uint8_t>(std::min(v, 255));
    std::size_t index = 0;
    for (int b = 0; b < levels; ++b)
        for (int g = 0; g < levels; ++g)
            for (int r = 0; r < levels; ++r)
                setEntry(index++, values[r], values[g], values[b]);
    m_entries = static_cast<std::int16_t>(index);
    buildLogicalPalette();
}

void Palette8::createWebsafe()
{
    initialize(0);
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
    buildLogicalPalette();
}

void Palette8::setEntries(std::int16_t entries)
{
    if (entries < 0 || entries > std::int16_t(kMaxEntries))
        raiseSubscript();
    m_entries = entries;
}

void Palette8::setEntry(std::size_t index, std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    if (index >= kMaxEntries)
        raiseSubscript();
    m_table[4 * index + 0] = blue;
    m_table[4 * index + 1] = green;
    m_table[4 * index + 2] = red;
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

std::uint8_t Palette8::red(std::uint8_t entry) const { return component(entry, 2); }
std::uint8_t Palette8::green(std::uint8_t entry) const { return component(entry, 1); }
std::uint8_t Palette8::blue(std::uint8_t entry) const { return component(entry, 0); }
void Palette8::setRed(std::uint8_t entry, std::uint8_t value) { component(entry, 2) = value; }
void Palette8::setGreen(std::uint8_t entry, std::uint8_t value) { component(entry, 1) = value; }
void Palette8::setBlue(std::uint8_t entry, std::uint8_t value) { component(entry, 0) = value; }

}  // namespace vantorell
