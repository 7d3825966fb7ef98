#include "gif/LzwDecoder.h"

#include <cstring>
#include <vector>

namespace vantorell {

namespace {

// Reads codes least significant bit first from the joined data bytes.
class CodeReader {
public:
    explicit CodeReader(std::span<const std::uint8_t> data) : m_next(data.data()), m_end(data.data() + data.size()) {}

    // False when fewer than `width` bits remain.
    bool read(int width, int& code)
    {
        while (m_bitCount < width) {
            if (m_next == m_end)
                return false;
            m_bits |= std::uint32_t(*m_next++) << m_bitCount;
            m_bitCount += 8;
        }
        code = static_cast<int>(m_bits & ((1u << width) - 1));
        m_bits >>= width;
        m_bitCount -= width;
        return true;
    }

private:
    const std::uint8_t* m_next;
    const std::uint8_t* m_end;
    std::uint32_t m_bits = 0;   // bits read but not yet used, least significant first
    int m_bitCount = 0;
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

    // The caller wrote count (<= roomInRow()) pixels at cursor().
    void advance(int count)
    {
        m_x += count;
        m_written += static_cast<std::uint64_t>(count);
        if (m_x == m_target.width) {
            m_x = 0;
            if (++m_rowIndex == m_rows.size())
                m_done = true;
            else
                m_row = m_target.bits + m_target.stride * m_rows[m_rowIndex];
        }
    }

    // Copies count pixels across row ends; whatever lies beyond the last pixel is dropped.
    void put(const std::uint8_t* pixels, int count)
    {
        while (count > 0 && !m_done) {
            const int chunk = count < roomInRow() ? count : roomInRow();
            std::memcpy(cursor(), pixels, static_cast<std::size_t>(chunk));
            pixels += chunk;
            count -= chunk;
            advance(chunk);
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

// Writes the string of `code` so that it ends just before `end`, last pixel first: the suffixes
// walked back through the prefixes down to the literal that starts it.
inline void writeStringBackwards(std::uint8_t* end, int code, int clearCode, const std::uint16_t* prefix,
                                 const std::uint8_t* suffix)
{
    while (code >= clearCode) {
        *--end = suffix[code];
        code = prefix[code];
    }
    *--end = static_cast<std::uint8_t>(code);
}

}  // namespace

LzwDecoder::LzwDecoder() = default;

LzwResult LzwDecoder::decodeFrame(std::span<const std::uint8_t> data, int minCodeSize, const IndexedTarget& target,
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
    int codeWidth = minCodeSize + 1;
    int maxCode = (1 << codeWidth) - 1;   // the widest code the current width holds
    int nextCode = clearCode + 2;
    int previous = -1;   // no previous code: the start of the stream or right after a clear
    CodeReader reader(data);

    std::uint16_t* const prefix = m_prefix.data();
    std::uint8_t* const suffix = m_suffix.data();
    std::uint8_t* const first = m_first.data();
    std::uint16_t* const length = m_length.data();
    // Literals: a smaller code size of an earlier frame may have used these slots as entries.
    for (int literal = 0; literal < clearCode; ++literal) {
        suffix[literal] = static_cast<std::uint8_t>(literal);
        first[literal] = static_cast<std::uint8_t>(literal);
        length[literal] = 1;
    }

    // Invariants: every table entry k in [clearCode + 2, nextCode) has prefix[k] < k and
    // length[k] = length[prefix[k]] + 1 <= 4096, so a prefix walk ends within length[k] steps
    // at a literal; codes at or above `nextCode` are never followed.
    int code = 0;
    while (!sink.done()) {
        if (!reader.read(codeWidth, code)) {
            result.error = GifError::LzwDataEnded;
            break;
        }
        if (code == clearCode) {
            codeWidth = minCodeSize + 1;
            maxCode = (1 << codeWidth) - 1;
            nextCode = clearCode + 2;
            previous = -1;
            continue;
        }
        if (code == endCode)
            break;
        if (previous < 0) {
            if (code > clearCode) {
                result.error = GifError::BadLzwCode;
                break;
            }
            // A literal at or above 2^minCodeSize cannot occur: those values are the clear
            // and end codes handled above.
            *sink.cursor() = static_cast<std::uint8_t>(code);
            sink.advance(1);
            previous = code;
            continue;
        }
        // The string that goes out: that of the code itself, or for the code being defined
        // right now (code == nextCode) the previous string plus its own first pixel.
        int stringCode;
        std::uint8_t appended = 0;
        bool definesNext = false;
        if (code < nextCode) {
            stringCode = code;
        } else if (code == nextCode && nextCode < kLzwMaxCodes) {
            stringCode = previous;
            appended = first[previous];
            definesNext = true;
        } else {
            result.error = GifError::BadLzwCode;
            break;
        }

        const int stringLength = length[stringCode];
        if (stringLength <= sink.roomInRow()) {
            // Common case: the string fits in the current row.
            writeStringBackwards(sink.cursor() + stringLength, stringCode, clearCode, prefix, suffix);
            sink.advance(stringLength);
        } else {
            std::uint8_t* const stack = m_stack.data();
            writeStringBackwards(stack + stringLength, stringCode, clearCode, prefix, suffix);
            sink.put(stack, stringLength);
        }
        if (definesNext && !sink.done()) {
            *sink.cursor() = appended;
            sink.advance(1);
        }

        if (nextCode < kLzwMaxCodes) {
            prefix[nextCode] = static_cast<std::uint16_t>(previous);
            suffix[nextCode] = definesNext ? appended : first[code];
            first[nextCode] = first[previous];
            length[nextCode] = static_cast<std::uint16_t>(length[previous] + 1);
            ++nextCode;
            if (nextCode > maxCode && codeWidth < kLzwMaxBits) {
                ++codeWidth;
                maxCode = (1 << codeWidth) - 1;
            }
        }
        previous = code;
    }
    result.pixels = sink.written();
    return result;
}

}  // namespace vantorell
