// Where the frames of a fade go: the writers (AVI, and through the job the GIF) take each frame
// as one buffer of top-down rows of 24-bit BGR pixels, each row padded with zeros to a multiple
// of 4 bytes (the layout of an uncompressed AVI's samples, so that writer copies nothing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantorell {

struct FrameLayout {
    int width = 0;
    int height = 0;

    std::size_t stride() const { return (std::size_t(width) * 3 + 3) & ~std::size_t(3); }
    std::size_t bytes() const { return stride() * std::size_t(height); }
};

// A consumer of frames 0, 1, 2 ... in order. Each call answers 0 or an FFmpeg error code
// (negative); after an error the caller writes no further frame.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual int writeFrame(std::span<const std::uint8_t> frame, std::int64_t index) = 0;
    // Flushes what the encoder holds and closes the file.
    virtual int finish() = 0;
};

}  // namespace vantorell
