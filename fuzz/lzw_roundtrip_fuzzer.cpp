// Encodes fuzzer-chosen palette indices with LzwEncoder and checks that LzwDecoder gives them
// back exactly. Input: byte 0 picks the minimum code size (2..8) and interlacing, bytes 1-2
// the width; the rest are the pixels (masked to the code size), as many whole rows as fit.
#include "gif/LzwDecoder.h"
#include "gif/LzwEncoder.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace vantorell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4 || size > (1u << 20))
        return 0;
    static LzwEncoder enc;
    static LzwDecoder dec;
    const int minCodeSize = 2 + data[0] % 7;
    const bool interlaced = (data[0] & 0x80) != 0;
    const int width = 1 + ((data[1] | (data[2] << 8)) % 1024);
    const std::size_t count = size - 3;
    const int height = static_cast<int>(count / std::size_t(width));
    if (height == 0)
        return 0;
    const int stride = width + (data[0] >> 4 & 3);   // padding the encoder must skip
    std::vector<std::uint8_t> px(std::size_t(stride) * std::size_t(height), 0xFF);
    const unsigned mask = (1u << minCodeSize) - 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            px[std::size_t(y) * std::size_t(stride) + std::size_t(x)] =
                static_cast<std::uint8_t>(data[3 + std::size_t(y) * std::size_t(width) + std::size_t(x)] & mask);

    std::vector<std::uint8_t> blocks;
    if (!enc.encodeFrame({px.data(), stride, width, height}, interlaced, minCodeSize + 1, blocks))
        std::abort();
    std::vector<std::uint8_t> joined;
    std::size_t i = 0;
    while (i < blocks.size()) {
        const std::size_t n = blocks[i++];
        if (n == 0 || n > 254 || i + n > blocks.size())
            std::abort();
        joined.insert(joined.end(), blocks.begin() + std::ptrdiff_t(i), blocks.begin() + std::ptrdiff_t(i + n));
        i += n;
    }
    std::vector<std::uint8_t> out(std::size_t(width) * std::size_t(height), 0xEE);
    const LzwResult r = dec.decodeFrame(joined, minCodeSize, {out.data(), width, width, height}, interlaced);
    if (r.error != GifError::None || r.pixels != out.size())
        std::abort();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (out[std::size_t(y) * std::size_t(width) + std::size_t(x)] !=
                px[std::size_t(y) * std::size_t(stride) + std::size_t(x)])
                std::abort();
    return 0;
}
