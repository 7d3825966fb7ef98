// Palette8::CreateOptimal: an octree colour quantiser. Each level halves a colour box at its
// rounded midpoint (weighted values compared in single precision), leaves sit at a fixed depth,
// and while there are more leaves than wanted the most recently listed node of the deepest
// non-empty level is folded into a leaf. Nodes come from a pool numbered from 1 that grows by a
// factor of 1.1, and the palette lists the leaves in node-number order, so the result depends
// only on the pixels and their order.
#include "colour/Palette8.h"

#include "dib/Dib.h"
#include "platform/RuntimeError.h"

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace vantorell {

namespace {

struct Node {
    bool leaf = false;
    bool listed = false;
    // The sums are 64-bit: 32-bit sums overflow past 8.4 million pixels of one leaf.
    std::int64_t red = 0, green = 0, blue = 0;
    std::int64_t count = 0;
    std::array<std::uint32_t, 8> children{};   // node numbers, 0 = absent
    std::uint32_t next = 0;
};

struct Box {
    int lo[3] = {0, 0, 0};   // red, green, blue
    int hi[3] = {255, 255, 255};
};

// Round half to even of (lo + hi) / 2 for non-negative integers.
int midpoint(int lo, int hi)
{
    const int sum = lo + hi;
    const int half = sum / 2;
    return (sum & 1) ? (half + (half & 1)) : half;
}

std::uint8_t roundedMean(std::int64_t sum, std::int64_t count)
{
    std::int64_t q = sum / count;
    const std::int64_t twice = 2 * (sum % count);
    if (twice > count || (twice == count && (q & 1)))
        ++q;
    return static_cast<std::uint8_t>(q);
}

class Octree {
public:
    Octree(int levels, float rWeight, float gWeight, float bWeight)
        : m_levels(levels), m_weight{rWeight, gWeight, bWeight}, m_pool(kInitialCapacity + 1)
    {
        m_pool[1] = Node{};
    }

    void addColour(std::uint32_t node, int level, Box box, int r, int g, int b)
    {
        // Iterative form of the recursive walk: one step per level until a leaf takes the pixel.
        const int value[3] = {r, g, b};
        for (;;) {
            int k = 0;
            for (int c = 0; c < 3; ++c) {
                const int m = midpoint(box.lo[c], box.hi[c]);
                if (float(value[c]) * m_weight[c] > float(m)) {
                    k |= 1 << c;
                    box.lo[c] = m;
                } else {
                    box.hi[c] = m;
                }
            }
            if (m_pool[node].children[std::size_t(k)] == 0) {
                const std::uint32_t fresh = newNode();
                Node& child = m_pool[fresh];
                child.red = child.green = child.blue = child.count = 0;
                child.next = 0;
                child.listed = false;
                child.leaf = level == m_levels;
                m_pool[node].children[std::size_t(k)] = fresh;
            }
            const std::uint32_t c = m_pool[node].children[std::size_t(k)];
            Node& child = m_pool[c];
            if (child.leaf) {
                if (child.count == 0)
                    ++m_colours;
                ++child.count;
                child.red += r;
                child.green += g;
                child.blue += b;
                return;
            }
            if (!child.listed) {
                child.next = m_lists[std::size_t(level)];
                m_lists[std::size_t(level)] = c;
                child.listed = true;
            }
            node = c;
            ++level;
        }
    }

    bool reduce()
    {
        int level = m_levels;
        while (level >= 1 && m_lists[std::size_t(level)] == 0)
            --level;
        if (level < 1)
            return false;
        const std::uint32_t n = m_lists[std::size_t(level)];
        m_lists[std::size_t(level)] = m_pool[n].next;
        std::int64_t red = 0, green = 0, blue = 0, count = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            const std::uint32_t c = m_pool[n].children[k];
            if (c == 0)
                continue;
            red += m_pool[c].red;
            green += m_pool[c].green;
            blue += m_pool[c].blue;
            count += m_pool[c].count;
            freeNode(c);
            --m_colours;
            m_pool[n].children[k] = 0;
        }
        Node& node = m_pool[n];
        node.leaf = true;
        node.red = red;
        node.green = green;
        node.blue = blue;
        node.count = count;
        ++m_colours;
        return true;
    }

    std::int64_t colours() const { return m_colours; }
    const std::vector<Node>& pool() const { return m_pool; }

private:
    static constexpr std::size_t kInitialCapacity = 50;

    std::uint32_t newNode()
    {
        ++m_nodeCount;
        if (m_free == 0) {
            const std::uint32_t number = m_nodeCount;
            const std::size_t capacity = m_pool.size() - 1;
            if (number > capacity) {
                const auto grown = static_cast<std::size_t>(std::nearbyint(double(m_nodeCount) * 1.1));
                m_pool.resize(grown + 1);
            }
            return number;
        }
        const std::uint32_t number = m_free;
        m_free = m_pool[number].next;
        m_pool[number].children.fill(0);
        return number;
    }

    void freeNode(std::uint32_t n)
    {
        m_pool[n].next = m_free;
        m_free = n;
        m_pool[n].leaf = false;
        m_pool[n].listed = false;
        --m_nodeCount;
    }

    int m_levels;
    float m_weight[3];
    std::vector<Node> m_pool;                // index 0 unused: node numbers start at 1
    std::array<std::uint32_t, 9> m_lists{};  // reducible list heads for levels 1..8
    std::uint32_t m_free = 0;
    std::uint32_t m_nodeCount = 1;           // the root
    std::int64_t m_colours = 0;
};

}  // namespace

void Palette8::CreateOptimal(const Dib& oDIB32, std::int32_t nColors, std::int32_t nLevels, float RWeight,
                             float GWeight, float BWeight)
{
    if (oDIB32.BPP() != 32)
        return;
    // The lists hold levels 1..8 and the palette 256 entries.
    if (nLevels < 1 || nLevels > 8 || nColors > std::int32_t(kMaxEntries))
        throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range");

    Octree tree(nLevels, RWeight, GWeight, BWeight);
    for (std::int32_t y = 0; y < oDIB32.Height(); ++y) {
        const std::uint8_t* p = oDIB32.scanline(y);
        for (std::int32_t x = 0; x < oDIB32.Width(); ++x, p += 4) {
            tree.addColour(1, 1, Box{}, p[2], p[1], p[0]);
            while (tree.colours() > nColors)
                if (!tree.reduce())
                    break;
        }
    }

    Initialize(0);
    std::size_t entries = 0;
    const std::vector<Node>& pool = tree.pool();
    for (std::size_t n = 1; n < pool.size(); ++n) {
        const Node& node = pool[n];
        if (!node.leaf || node.count == 0)
            continue;
        // With nColors below 8 the root's children cannot be merged, so at most 8 leaves remain;
        // with nColors up to 256 there are never more than 256.
        setEntry(entries++, roundedMean(node.red, node.count), roundedMean(node.green, node.count),
                 roundedMean(node.blue, node.count));
    }
    m_entries = static_cast<std::int16_t>(entries);
    BuildLogicalPalette();
}

}  // namespace vantorell
