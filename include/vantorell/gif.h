// The GIF encoder: frames in memory in, the bytes of one looping animated GIF out.
#pragma once

#include "vantorell/image.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vantorell::api {

enum class GifPalette { Halftone, Optimal, Global, PerFrame };
enum class GifDither { None, Ordered, Ordered8, Diffusion };

struct GifOptions {
    GifPalette palette = GifPalette::Halftone;
    GifDither dither = GifDither::Ordered;
    bool optimize = false;         // later frames store only what changed
    int lossy = 0;                 // 0 .. 200: lossy LZW's colour error bound
    std::int64_t maxSize = 0;      // above 0: a byte budget; the best choices that fit are searched
    int scalePercent = 100;        // 1 .. 100: the frames' size in the GIF
    int delay = 20;                // hundredths of a second a frame shows
};

// Called with (done, total) steps; answer false to stop (the call then throws Error(Cancelled)).
using StepCallback = std::function<bool(int done, int total)>;

// Every frame must have the first one's size (Error(SizeMismatch)). Throws Error
// (InvalidArgument for no frames or a bad option, Failed when nothing fits maxSize).
VANTORELL_API std::vector<std::uint8_t> encodeGif(std::span<const Image> frames, const GifOptions& options = {},
                                                  const StepCallback& progress = {});

// The predicted size of encodeGif's bytes from a sample of the frames (maxSize is not searched).
VANTORELL_API std::int64_t estimateGifSize(std::span<const Image> frames, const GifOptions& options = {});

}  // namespace vantorell::api
