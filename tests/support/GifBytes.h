// Helpers for GIF tests: a hand-written LZW code stream builder, sub-block splitting and
// joining, and a small file builder, so hostile files can be spelt out in the test itself and
// well-formed ones made from pixels with the LZW encoder.
#pragma once

#include "gif/LzwEncoder.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

namespace vantorell::test {

using Bytes = std::vector<std::uint8_t>;

// Packs codes least significant bit first, each with the width given.
class CodeWriter {
public:
    void put(int code, int width)
    {
        m_acc |= std::uint64_t(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.push_back(static_cast<std::uint8_t>(m_acc));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    Bytes finish()
    {
        if (m_bits > 0)
            m_bytes.push_back(static_cast<std::uint8_t>(m_acc));
        m_acc = 0;
        m_bits = 0;
        return std::move(m_bytes);
    }

private:
    Bytes m_bytes;
    std::uint64_t m_acc = 0;
    int m_bits = 0;
};

// Reads codes least significant bit first.
class CodeSplitter {
public:
    explicit CodeSplitter(const Bytes& bytes) : m_bytes(bytes) {}
    bool get(int width, int& code)
    {
        if (m_pos + std::size_t(width) > m_bytes.size() * 8)
            return false;
        code = 0;
        for (int i = 0; i < width; ++i, ++m_pos)
            code |= ((m_bytes[m_pos / 8] >> (m_pos % 8)) & 1) << i;
        return true;
    }
    std::size_t bitPosition() const { return m_pos; }

private:
    const Bytes& m_bytes;
    std::size_t m_pos = 0;
};

// Splits data into sub-blocks of at most `block` bytes (no terminator).
inline Bytes toSubBlocks(const Bytes& data, std::size_t block = 255)
{
    Bytes out;
    for (std::size_t i = 0; i < data.size(); i += block) {
        const std::size_t n = data.size() - i < block ? data.size() - i : block;
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + std::ptrdiff_t(i), data.begin() + std::ptrdiff_t(i + n));
    }
    return out;
}

// Joins a sub-block chain (stops at a zero length or the end); lengths go to `sizes`.
inline Bytes fromSubBlocks(const Bytes& blocks, std::vector<std::size_t>* sizes = nullptr)
{
    Bytes out;
    std::size_t i = 0;
    while (i < blocks.size() && blocks[i] != 0) {
        const std::size_t n = blocks[i++];
        if (sizes)
            sizes->push_back(n);
        for (std::size_t k = 0; k < n && i < blocks.size(); ++k)
            out.push_back(blocks[i++]);
    }
    return out;
}

// Appends bytes in file order.
struct FileBuilder {
    Bytes bytes;
    FileBuilder& raw(std::initializer_list<int> values)
    {
        for (int v : values)
            bytes.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    FileBuilder& raw(const Bytes& values)
    {
        bytes.insert(bytes.end(), values.begin(), values.end());
        return *this;
    }
    FileBuilder& text(std::string_view s)
    {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    FileBuilder& u16(unsigned v) { return raw({int(v & 0xFF), int((v >> 8) & 0xFF)}); }
    // "GIF89a", screen descriptor, and a global table of 2^bits grey entries when bits > 0.
    FileBuilder& header(unsigned width, unsigned height, int globalBits, std::string_view version = "89a")
    {
        text("GIF").text(version).u16(width).u16(height);
        raw({globalBits > 0 ? 0x80 | ((globalBits - 1) << 4) | (globalBits - 1) : 0, 0, 0});
        for (int i = 0; globalBits > 0 && i < (1 << globalBits); ++i)
            raw({i, i, i});
        return *this;
    }
    // "GIF89a" and a screen descriptor with the flags, background and aspect bytes given; the
    // caller appends any colour table.
    FileBuilder& screen(unsigned width, unsigned height, int flags, int background, int aspect)
    {
        text("GIF89a").u16(width).u16(height);
        return raw({flags, background, aspect});
    }
    FileBuilder& graphicControl(int flags, unsigned delay, int transparent)
    {
        raw({0x21, 0xF9, 4, flags}).u16(delay).raw({transparent, 0});
        return *this;
    }
    FileBuilder& netscapeLoops(unsigned loops)
    {
        raw({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").raw({3, 1}).u16(loops).raw({0});
        return *this;
    }
    // Image descriptor, LZW minimum code size and the code bytes as sub-blocks + terminator.
    FileBuilder& image(unsigned left, unsigned top, unsigned width, unsigned height, int flags, int minCodeSize,
                       const Bytes& codeBytes)
    {
        raw({0x2C}).u16(left).u16(top).u16(width).u16(height).raw({flags, minCodeSize});
        raw(toSubBlocks(codeBytes)).raw({0});
        return *this;
    }
    // Image descriptor without a local table, then `pixels` (width x height, rows top-down)
    // as the LZW encoder stores them (interlaced when flags hold 0x40) + terminator.
    FileBuilder& encodedImage(unsigned left, unsigned top, unsigned width, unsigned height, int flags,
                              int minCodeSize, const Bytes& pixels)
    {
        raw({0x2C}).u16(left).u16(top).u16(width).u16(height).raw({flags, minCodeSize});
        LzwEncoder encoder;
        const IndexedPixels frame{pixels.data(), std::ptrdiff_t(width), int(width), int(height)};
        encoder.encodeFrame(frame, (flags & 0x40) != 0, minCodeSize + 1, bytes);
        return raw({0});
    }
    FileBuilder& trailer() { return raw({0x3B}); }
};

// The plain code stream of a picture made only of literals: clear, one literal per pixel
// (with a clear before the table would widen the codes), end. Decodes to `pixels`.
inline Bytes literalCodes(const Bytes& pixels, int minCodeSize)
{
    CodeWriter w;
    const int clear = 1 << minCodeSize;
    const int width = minCodeSize + 1;
    w.put(clear, width);
    int next = clear + 2;
    bool first = true;
    for (std::uint8_t p : pixels) {
        if (!first && next + 1 >= (1 << width)) {
            w.put(clear, width);
            next = clear + 2;
            first = true;
        }
        w.put(p, width);
        if (!first)
            ++next;
        first = false;
    }
    w.put(clear + 1, width);
    return w.finish();
}

}  // namespace vantorell::test
