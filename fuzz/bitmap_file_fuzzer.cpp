// Bitmap files through both ways of reading bitmap bytes: dib's readBitmapFile with small limits,
// the decoded image then through a Dib and back to a picture; and the headers and stored parts
// that readStoredBitmapHeaders places, which must lie within the input.
#include "dib/BitmapFile.h"
#include "dib/Dib.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

namespace {

using namespace vantorell;

unsigned decodeImage(std::span<const std::uint8_t> bytes)
{
    BmpLimits limits;
    limits.maxSide = 512;
    limits.maxPixels = 1 << 16;
    BmpImage image;
    const BmpStatus status = readBitmapFile(bytes, image, limits);
    if (status != BmpStatus::Ok && status != BmpStatus::Truncated) {
        if (!image.pixels.empty() || image.width != 0)
            std::abort();
        return 0;
    }
    if (image.width < 1 || image.height < 1 || image.width > limits.maxSide || image.height > limits.maxSide)
        std::abort();
    Dib dib;
    if (!dib.create(image.width, image.height, image.bpp))
        std::abort();
    if (std::size_t(dib.size()) != image.pixels.size() || dib.bytesPerScanline() != image.stride)
        std::abort();
    std::memcpy(dib.bits(), image.pixels.data(), image.pixels.size());
    dib.setPalette(image.colourTable);
    const Picture picture = dib.toPicture();
    unsigned sum = 0;
    for (std::size_t i = 0; i < picture.bitmap().byteCount(); ++i)
        sum += picture.bitmap().bits()[i];
    return sum;
}

// The stored parts are views of the input, wherever its headers place them.
unsigned takeStoredParts(std::span<const std::uint8_t> bytes)
{
    StoredBitmapHeaders headers;
    if (readStoredBitmapHeaders(bytes.first(std::min(bytes.size(), kStoredBitmapHeadersSize)), bytes.size(), headers) !=
        StoredBitmapStatus::Ok)
        return 0;
    const auto within = [&](std::span<const std::uint8_t> part) {
        return part.empty() || (part.data() >= bytes.data() && part.data() + part.size() <= bytes.data() + bytes.size());
    };
    const std::span<const std::uint8_t> info = storedBitmapInfo(bytes, headers);
    const std::span<const std::uint8_t> pixels = storedPixels(bytes, headers);
    if (!within(info) || !within(pixels) || (!pixels.empty() && pixels.size() != headers.pixelBytes()))
        std::abort();
    unsigned sum = 0;
    for (std::uint8_t b : pixels)
        sum += b;
    for (std::uint8_t b : info)
        sum += b;
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const unsigned sum = decodeImage(bytes) + takeStoredParts(bytes);
    return sum == 0xFFFFFFFFu ? 1 : 0;
}
