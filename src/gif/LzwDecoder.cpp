#include "gif/LzwDecoder.h"

#include <cstring>
#include <vector>

namespace vantorell {

namespace {

// Reads codes least significant bit first from the joined data bytes.
class CodeReader {
public:
    explicit CodeReader(std::span<const std::uint8_t> data) : m_p(data.data()), m_end(data.data() + data.size()) {}

    // False when fewer than `width` bits remain.
    bool read(int width, int& code)
    {
        while (m_bits < width) {
            if (m_p == m_end)
                return false;
            m_acc |= std::uint32_t(*m_p++) << m_bits;
            m_bits += 8;
        }
        code = static_cast<int>(m_acc & ((1u << width) - 1));
        m_acc >>= width;
        m_bits -= width;
        return true;
    }

private:
    const std::uint8_t* m_p;
    const std::uint8_t* m_end;
    std::uint32_t m_acc = 0;
    int m_bits = 0;
};

// Places decoded pixels along the frame's rows in GIF order.
class PixelSink {
public:
    PixelSink(const IndexedTarget& target, bool interlaced)
        : m_target(target), m_rows(gifRowOrder(target.height, interlaced))
    {
        if (target.width > 0 && !m_rows.empty())
            m_row = target.bits + target.stride * m_rows[0];
        else
            m_done = true;
    }

    bool done() const { return m_done; }
    std::uint64_t written() const { return m_written; }
    int roomInRow() const { return m_target.width - m_x; }
    std::uint8_t* cursor() { return m_row + m_x; }

    // The caller wrote n (<= roomInRow()) pixels at cursor().
    void advance(int n)
    {
        m_x += n;
        m_written += static_cast<std::uint64_t>(n);
        if (m_x == m_target.width) {
            m_x = 0;
            if (++m_rowIndex == m_rows.size())
                m_done = true;
            else
                m_row = m_target.bits + m_target.stride * m_rows[m_rowIndex];
        }
    }

    // Copies n pixels across row ends; whatever lies beyond the last pixel is dropped.
    void put(const std::uint8_t* s, int n)
    {
        while (n > 0 && !m_done) {
            const int k = n < roomInRow() ? n : roomInRow();
            std::memcpy(cursor(), s, static_cast<std::size_t>(k));
            s += k;
            n -= k;
            advance(k);
        }
    }

private:
    IndexedTarget m_target;
    std::vector<int> m_rows;
    std::size_t m_rowIndex = 0;
    std::uint8_t* m_row = nullptr;
    int m_x = 0;
    bool m_done = false;
    std::uint64_t m_written = 0;
};

}  // namespace

LzwDecoder::LzwDecoder() = default;

LzwResult LzwDecoder::DecodeFrame(std::span<const std::uint8_t> data, int minCodeSize, const IndexedTarget& target,
                                  bool interlaced)
{
    LzwResult result;
    if (minCodeSize < 1 || minCodeSize > 8) {
        result.error = GifError::BadLiteralWidth;
        return result;
    }
    PixelSink sink(target, interlaced);
    if (sink.done())
        return result;

    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    int width = minCodeSize + 1;
    int limit = (1 << width) - 1;
    int next = clearCode + 2;
    int prev = -1;   // no previous code: the start of the stream or right after a clear
    CodeReader reader(data);

    std::uint16_t* const prefix = m_prefix.data();
    std::uint8_t* const suffix = m_suffix.data();
    std::uint8_t* const first = m_first.data();
    std::uint16_t* const length = m_length.data();
    // Literals: a smaller code size of an earlier frame may have used these slots as entries.
    for (int c = 0; c < clearCode; ++c) {
        suffix[c] = static_cast<std::uint8_t>(c);
        first[c] = static_cast<std::uint8_t>(c);
        length[c] = 1;
    }

    // Invariants: every table entry k in [clearCode + 2, next) has prefix[k] < k and
    // length[k] = length[prefix[k]] + 1 <= 4096, so a prefix walk ends within length[k] steps
    // at a literal; codes at or above `next` are never followed.
    int code = 0;
    while (!sink.done()) {
        if (!reader.read(width, code)) {
            result.error = GifError::LzwDataEnded;
            break;
        }
        if (code == clearCode) {
            width = minCodeSize + 1;
            limit = (1 << width) - 1;
            next = clearCode + 2;
            prev = -1;
            continue;
        }
        if (code == endCode)
            break;
        if (prev < 0) {
            if (code > clearCode) {
                result.error = GifError::BadLzwCode;
                break;
            }
            // A literal at or above 2^minCodeSize cannot occur: those values are the clear
            // and end codes handled above.
            *sink.cursor() = static_cast<std::uint8_t>(code);
            sink.advance(1);
            prev = code;
            continue;
        }
        int emit;             // the code whose string goes out (then one more pixel when code == next)
        std::uint8_t extra = 0;
        bool kwkwk = false;
        if (code < next) {
            emit = code;
        } else if (code == next && next < kLzwMaxCodes) {
            emit = prev;
            extra = first[prev];
            kwkwk = true;
        } else {
            result.error = GifError::BadLzwCode;
            break;
        }

        const int len = length[emit];
        if (len <= sink.roomInRow()) {
            // Common case: the string fits in the current row; write it back to front.
            std::uint8_t* out = sink.cursor() + len;
            int k = emit;
            while (k >= clearCode) {
                *--out = suffix[k];
                k = prefix[k];
            }
            *--out = static_cast<std::uint8_t>(k);
            sink.advance(len);
        } else {
            std::uint8_t* const stack = m_stack.data();
            std::uint8_t* out = stack + len;
            int k = emit;
            while (k >= clearCode) {
                *--out = suffix[k];
                k = prefix[k];
            }
            *--out = static_cast<std::uint8_t>(k);
            sink.put(stack, len);
        }
        if (kwkwk && !sink.done()) {
            *sink.cursor() = extra;
            sink.advance(1);
        }

        if (next < kLzwMaxCodes) {
            prefix[next] = static_cast<std::uint16_t>(prev);
            suffix[next] = kwkwk ? extra : first[code];
            first[next] = first[prev];
            length[next] = static_cast<std::uint16_t>(length[prev] + 1);
            ++next;
            if (next > limit && width < kLzwMaxBits) {
                ++width;
                limit = (1 << width) - 1;
            }
        }
        prev = code;
    }
    result.pixels = sink.written();
    return result;
}

}  // namespace vantorell
