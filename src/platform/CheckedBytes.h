// A window on untrusted bytes (a TIFF structure inside EXIF, say) that answers false, or
// nothing, for every read outside them; multi-byte values in the order the file declared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantorell {

class CheckedBytes {
public:
    explicit CheckedBytes(std::span<const std::uint8_t> bytes, bool bigEndian = true)
        : m_bytes(bytes), m_bigEndian(bigEndian)
    {
    }
    std::size_t size() const { return m_bytes.size(); }
    bool u8(std::size_t at, std::uint32_t& out) const
    {
        if (at >= m_bytes.size())
            return false;
        out = m_bytes[at];
        return true;
    }
    bool u16(std::size_t at, std::uint32_t& out) const
    {
        if (at > m_bytes.size() || m_bytes.size() - at < 2)
            return false;
        out = m_bigEndian ? (std::uint32_t(m_bytes[at]) << 8 | m_bytes[at + 1])
                          : (std::uint32_t(m_bytes[at + 1]) << 8 | m_bytes[at]);
        return true;
    }
    bool u32(std::size_t at, std::uint32_t& out) const
    {
        std::uint32_t high = 0, low = 0;
        if (!u16(at, m_bigEndian ? high : low) || !u16(at + 2, m_bigEndian ? low : high))
            return false;
        out = high << 16 | low;
        return true;
    }
    // The `length` bytes at `at`; empty when they are not all there.
    std::span<const std::uint8_t> sub(std::size_t at, std::size_t length) const
    {
        if (at > m_bytes.size() || m_bytes.size() - at < length)
            return {};
        return m_bytes.subspan(at, length);
    }
    // The first of the `length` bytes at `offset`; null when they are not all there.
    const std::uint8_t* at(std::size_t offset, std::size_t length) const
    {
        return offset <= m_bytes.size() && m_bytes.size() - offset >= length ? m_bytes.data() + offset : nullptr;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    bool m_bigEndian;
};

}  // namespace vantorell
