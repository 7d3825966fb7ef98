#include "gif/GifDelays.h"

#include "gif/ByteReader.h"
#include "gif/GifFormat.h"

#include <algorithm>
#include <cmath>

namespace vantorell {

namespace {

// Skips a chain of sub-blocks; false when it runs past the end.
bool skipSubBlocks(ByteReader& in)
{
    for (;;) {
        const std::uint8_t size = in.u8();
        if (in.truncated())
            return false;
        if (size == 0)
            return true;
        in.skip(size);
    }
}

void skipColourTable(ByteReader& in, std::uint8_t packed)
{
    if (packed & 0x80)
        in.skip(std::size_t(3) << ((packed & 7) + 1));
}

}  // namespace

bool setGifFrameDelays(std::vector<std::uint8_t>& gif, std::span<const int> delays)
{
    ByteReader in(gif);
    in.skip(10);   // signature, version, screen size
    skipColourTable(in, in.u8());
    in.skip(2);    // background, aspect
    std::vector<std::size_t> delayOffsets;   // of each frame's delay, in order
    std::size_t pending = 0;                 // the delay of the graphic control not yet used (0: none)
    while (!in.truncated()) {
        const std::uint8_t introducer = in.u8();
        if (introducer == kGifTrailer)
            break;
        if (introducer == kGifExtensionIntroducer) {
            const std::uint8_t label = in.u8();
            if (label == kGifGraphicControlLabel && in.remaining() >= 6 && gif[in.offset()] == 4)
                pending = in.offset() + 2;
            if (!skipSubBlocks(in))
                return false;
        } else if (introducer == kGifImageSeparator) {
            in.skip(8);
            skipColourTable(in, in.u8());
            in.skip(1);   // LZW minimum code size
            if (pending == 0 || !skipSubBlocks(in))
                return false;
            delayOffsets.push_back(pending);
            pending = 0;
        } else {
            return false;
        }
    }
    if (in.truncated())
        return false;
    const std::size_t n = std::min(delayOffsets.size(), delays.size());
    for (std::size_t k = 0; k < n; ++k) {
        const int delay = std::clamp(delays[k], 0, 65535);
        gif[delayOffsets[k]] = std::uint8_t(delay & 0xff);
        gif[delayOffsets[k] + 1] = std::uint8_t(delay >> 8);
    }
    return true;
}

std::vector<int> delaysForRate(int frames, double fps)
{
    std::vector<int> delays;
    if (frames <= 0 || !(fps > 0))
        return delays;
    delays.reserve(std::size_t(frames));
    long long shown = 0;   // hundredths of the frames so far
    for (int k = 0; k < frames; ++k) {
        const long long end = std::llround(100.0 * (k + 1) / fps);
        delays.push_back(int(std::clamp<long long>(end - shown, 1, 65535)));
        shown += delays.back();
    }
    return delays;
}

}  // namespace vantorell
