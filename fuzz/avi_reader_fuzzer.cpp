// Fuzzes AviReader on one AVI held in memory, with small limits so that no input makes a large
// frame. Invariants checked on every input: an open stream stays within the limits, every frame
// it announces is read into a frame of its size until one fails, nothing is read past the n-th
// frame, and a stream that did not open gives no frame.
#include "avi/AviReader.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

using namespace vantorell;

namespace {

volatile std::uint32_t g_sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    av_log_set_level(AV_LOG_QUIET);
    AviReadLimits limits;
    limits.maxFrameSide = 1024;
    limits.maxFramePixels = 1u << 18;
    limits.maxTotalPixels = 1u << 22;
    limits.maxFrames = 64;
    AviReader reader;
    const AviReadError error = reader.open(std::span<const std::uint8_t>(data, size), limits);
    const AviStreamInfo& s = reader.stream();
    std::vector<std::uint8_t> pixels(std::size_t(4) << 18);
    if (error != AviReadError::None) {
        if (reader.readFrame({s.width, s.height, pixels}))
            std::abort();
        return 0;
    }
    if (s.frames < 0 || s.frames > limits.maxFrames || s.delay < 0 || s.delay > 65535 || s.rate == 0 || s.scale == 0)
        std::abort();
    if (s.frames == 0)
        return 0;
    if (s.width <= 0 || s.height <= 0 || std::uint64_t(s.width) * std::uint64_t(s.height) > limits.maxFramePixels)
        std::abort();
    const BgrxFrame frame{s.width, s.height, std::span(pixels).first(std::size_t(s.width) * std::size_t(s.height) * 4)};
    std::uint32_t sum = 0;
    std::int64_t read = 0;
    while (read < s.frames && reader.readFrame(frame) && reader.drawFrame(frame)) {
        ++read;
        for (std::uint8_t b : frame.pixels)
            sum += b;
    }
    if (read == s.frames && reader.readFrame(frame))
        std::abort();
    g_sink = sum;
    return 0;
}
