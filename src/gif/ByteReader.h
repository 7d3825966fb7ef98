// A cursor over untrusted bytes. Every read is checked: past the end a read answers zeros
// (or an empty span) and records the truncation, so a parser never touches memory outside
// the input and can test truncated() once after a group of reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantorell {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::uint8_t u8()
    {
        if (m_pos == m_bytes.size()) {
            m_truncated = true;
            return 0;
        }
        return m_bytes[m_pos++];
    }
    // Little-endian, as every GIF number is.
    std::uint16_t u16le()
    {
        const unsigned lo = u8();
        const unsigned hi = u8();
        return static_cast<std::uint16_t>(lo | (hi << 8));
    }
    // The next n bytes; empty (and truncated() set, the cursor at the end) when fewer remain.
    std::span<const std::uint8_t> take(std::size_t n)
    {
        if (n > remaining()) {
            m_pos = m_bytes.size();
            m_truncated = true;
            return {};
        }
        const auto out = m_bytes.subspan(m_pos, n);
        m_pos += n;
        return out;
    }
    void skip(std::size_t n) { take(n); }

    bool atEnd() const { return m_pos == m_bytes.size(); }
    std::size_t remaining() const { return m_bytes.size() - m_pos; }
    std::size_t offset() const { return m_pos; }
    bool truncated() const { return m_truncated; }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
    bool m_truncated = false;
};

}  // namespace vantorell
