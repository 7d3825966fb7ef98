// Feeds bytes to FrameBitmap's bitmap-file parsing: the memory path shares every check with
// createFromFile. A taken file must give pixel and bitmap-info bytes within the input.
#include "avi/FrameBitmap.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;   // frame files are bounded by their own size; large inputs add nothing here
    vantorell::FrameBitmap dib;
    if (!dib.createFromBytes({data, size}))
        return 0;
    if (dib.bits().size() > size || dib.bitmapInfo().size() > size || dib.bits().size() != dib.imageSize())
        std::abort();
    unsigned sum = 0;
    for (std::uint8_t b : dib.bits())
        sum += b;
    for (std::uint8_t b : dib.bitmapInfo())
        sum += b;
    return sum == 0xFFFFFFFFu ? 1 : 0;
}
