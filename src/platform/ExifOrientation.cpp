#include "platform/ExifOrientation.h"

#include "platform/CheckedBytes.h"

#include <cstring>

namespace vantorell {

namespace {

using Bytes = CheckedBytes;

constexpr std::uint32_t kOrientationTag = 0x0112;
constexpr std::uint32_t kShortType = 3;
constexpr std::uint32_t kMaxIfdEntries = 1000;   // real first IFDs hold a few dozen

// The orientation in a TIFF structure (the Exif segment after its "Exif\0\0" name).
int tiffOrientation(std::span<const std::uint8_t> tiff)
{
    if (tiff.size() < 8)
        return 1;
    bool bigEndian = false;
    if (tiff[0] == 'M' && tiff[1] == 'M')
        bigEndian = true;
    else if (!(tiff[0] == 'I' && tiff[1] == 'I'))
        return 1;
    const Bytes b(tiff, bigEndian);
    std::uint32_t magic = 0, ifd = 0, count = 0;
    if (!b.u16(2, magic) || magic != 42 || !b.u32(4, ifd) || !b.u16(ifd, count) || count > kMaxIfdEntries)
        return 1;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = std::size_t(ifd) + 2 + std::size_t(i) * 12;
        std::uint32_t tag = 0, type = 0, values = 0, value = 0;
        if (!b.u16(entry, tag) || !b.u16(entry + 2, type) || !b.u32(entry + 4, values) || !b.u16(entry + 8, value))
            return 1;
        if (tag != kOrientationTag)
            continue;
        if (type != kShortType || values != 1 || value < 1 || value > 8)
            return 1;
        return int(value);
    }
    return 1;
}

}  // namespace

int jpegExifOrientation(std::span<const std::uint8_t> jpeg)
{
    const Bytes b(jpeg);
    std::uint32_t soi = 0;
    if (!b.u16(0, soi) || soi != 0xFFD8)
        return 1;
    std::size_t at = 2;
    for (;;) {
        std::uint32_t fill = 0, marker = 0;
        if (!b.u8(at, fill) || fill != 0xFF)
            return 1;
        while (b.u8(at + 1, marker) && marker == 0xFF)
            ++at;   // fill bytes before a marker
        if (!b.u8(at + 1, marker))
            return 1;
        if (marker == 0xDA || marker == 0xD9)
            return 1;   // the image data or its end: no Exif segment before it
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;    // markers without a length
            continue;
        }
        std::uint32_t length = 0;
        if (!b.u16(at + 2, length) || length < 2)
            return 1;
        const std::span<const std::uint8_t> data = b.sub(at + 4, length - 2);
        if (data.size() != length - 2)
            return 1;   // truncated
        static constexpr std::uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
        if (marker == 0xE1 && data.size() >= 6 && std::memcmp(data.data(), kExif, 6) == 0)
            return tiffOrientation(data.subspan(6));
        at += 2 + length;
    }
}

Bitmap orientUpright(const Bitmap& stored, int orientation)
{
    if (orientation < 2 || orientation > 8 || stored.empty())
        return stored;
    const int w = stored.width(), h = stored.height();
    const bool swap = swapsSides(orientation);
    Bitmap upright = Bitmap::uninitialized(swap ? h : w, swap ? w : h);
    const int outW = upright.width(), outH = upright.height();
    const auto* in = reinterpret_cast<const std::uint32_t*>(stored.bits());
    for (int y = 0; y < outH; ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(upright.mutableRow(y));
        for (int x = 0; x < outW; ++x) {
            int sx = x, sy = y;
            switch (orientation) {
            case 2: sx = w - 1 - x; break;
            case 3: sx = w - 1 - x; sy = h - 1 - y; break;
            case 4: sy = h - 1 - y; break;
            case 5: sx = y; sy = x; break;
            case 6: sx = y; sy = h - 1 - x; break;
            case 7: sx = w - 1 - y; sy = h - 1 - x; break;
            case 8: sx = w - 1 - y; sy = x; break;
            }
            out[x] = in[std::size_t(sy) * std::size_t(w) + std::size_t(sx)];
        }
    }
    return upright;
}

}  // namespace vantorell
