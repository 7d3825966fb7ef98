// Bitmap files into Dib's readBitmapFile with small limits, then the decoded image through a Dib and
// back to a picture, touching every output byte.
#include "dib/BitmapFile.h"
#include "dib/Dib.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantorell;
    BmpLimits limits;
    limits.maxSide = 512;
    limits.maxPixels = 1 << 16;
    BmpImage image;
    const BmpStatus status = readBitmapFile(std::span<const std::uint8_t>(data, size), image, limits);
    if (status != BmpStatus::Ok && status != BmpStatus::Truncated) {
        if (!image.pixels.empty() || image.width != 0)
            std::abort();
        return 0;
    }
    if (image.width < 1 || image.height < 1 || image.width > limits.maxSide || image.height > limits.maxSide)
        std::abort();
    Dib dib;
    if (!dib.Create(image.width, image.height, image.bpp))
        std::abort();
    if (std::size_t(dib.Size()) != image.pixels.size() || dib.BytesPerScanline() != image.stride)
        std::abort();
    std::memcpy(dib.lpBits(), image.pixels.data(), image.pixels.size());
    dib.SetPalette(image.colourTable);
    const Picture picture = dib.ToPicture();
    unsigned sum = 0;
    for (std::size_t i = 0; i < picture.bitmap().byteCount(); ++i)
        sum += picture.bitmap().bits()[i];
    return sum == 0xFFFFFFFFu ? 1 : 0;
}
