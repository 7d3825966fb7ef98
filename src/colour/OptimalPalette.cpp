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

// sum / count rounded to the nearest integer, ties to even.
std::uint8_t roundedMean(std::int64_t sum, std::int64_t count)
{
    std::int64_t quotient = sum / count;
    const std::int64_t twiceRest = 2 * (sum % count);
    if (twiceRest > count || (twiceRest == count && (quotient & 1)))
        ++quotient;
    return static_cast<std::uint8_t>(quotient);
}

class Octree {
public:
    Octree(int levels, float redWeight, float greenWeight, float blueWeight)
        : m_levels(levels), m_weight{redWeight, greenWeight, blueWeight}, m_pool(kInitialCapacity + 1)
    {
        m_pool[1] = Node{};
    }

    void addColour(std::uint32_t node, int level, Box box, int red, int green, int blue)
    {
        // Iterative form of the recursive walk: one step per level until a leaf takes the pixel.
        const int value[3] = {red, green, blue};
        for (;;) {
            int octant = 0;
            for (int c = 0; c < 3; ++c) {
                const int middle = midpoint(box.lo[c], box.hi[c]);
                if (float(value[c]) * m_weight[c] > float(middle)) {
                    octant |= 1 << c;
                    box.lo[c] = middle;
                } else {
                    box.hi[c] = middle;
                }
            }
            if (m_pool[node].children[std::size_t(octant)] == 0) {
                const std::uint32_t fresh = newNode();
                Node& child = m_pool[fresh];
                child.red = child.green = child.blue = child.count = 0;
                child.next = 0;
                child.listed = false;
                child.leaf = level == m_levels;
                m_pool[node].children[std::size_t(octant)] = fresh;
            }
            const std::uint32_t childNumber = m_pool[node].children[std::size_t(octant)];
            Node& child = m_pool[childNumber];
            if (child.leaf) {
                if (child.count == 0)
                    ++m_colours;
                ++child.count;
                child.red += red;
                child.green += green;
                child.blue += blue;
                return;
            }
            if (!child.listed) {
                child.next = m_lists[std::size_t(level)];
                m_lists[std::size_t(level)] = childNumber;
                child.listed = true;
            }
            node = childNumber;
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
        const std::uint32_t folded = m_lists[std::size_t(level)];
        m_lists[std::size_t(level)] = m_pool[folded].next;
        std::int64_t red = 0, green = 0, blue = 0, count = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            const std::uint32_t child = m_pool[folded].children[k];
            if (child == 0)
                continue;
            red += m_pool[child].red;
            green += m_pool[child].green;
            blue += m_pool[child].blue;
            count += m_pool[child].count;
            freeNode(child);
            --m_colours;
            m_pool[folded].children[k] = 0;
        }
        Node& node = m_pool[folded];
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

    void freeNode(std::uint32_t number)
    {
        m_pool[number].next = m_free;
        m_free = number;
        m_pool[number].leaf = false;
        m_pool[number].listed = false;
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

void Palette8::createOptimal(const Dib& source, std::int32_t maxColours, std::int32_t depth, float redWeight,
                             float greenWeight, float blueWeight)
{
    if (source.BPP() != 32)
        return;
    // The lists hold levels 1..8 and the palette 256 entries.
    if (depth < 1 || depth > 8 || maxColours > std::int32_t(kMaxEntries))
        throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range");

    Octree tree(depth, redWeight, greenWeight, blueWeight);
    for (std::int32_t y = 0; y < source.height(); ++y) {
        const std::uint8_t* pixel = source.scanline(y);
        for (std::int32_t x = 0; x < source.width(); ++x, pixel += 4) {
            tree.addColour(1, 1, Box{}, pixel[2], pixel[1], pixel[0]);
            while (tree.colours() > maxColours)
                if (!tree.reduce())
                    break;
        }
    }

    initialize(0);
    std::size_t entries = 0;
    const std::vector<Node>& pool = tree.pool();
    for (std::size_t number = 1; number < pool.size(); ++number) {
        const Node& node = pool[number];
        if (!node.leaf || node.count == 0)
            continue;
        // With maxColours below 8 the root's children cannot be merged, so at most 8 leaves
        // remain; with maxColours up to 256 there are never more than 256.
        setEntry(entries++, roundedMean(node.red, node.count), roundedMean(node.green, node.count),
                 roundedMean(node.blue, node.count));
    }
    m_entries = static_cast<std::int16_t>(entries);
    buildLogicalPalette();
}

}  // namespace vantorell
