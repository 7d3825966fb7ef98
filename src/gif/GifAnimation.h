// GifAnimation: 32-bit frames in, GIF bytes out, with the choices of palette, dither,
// inter-frame optimisation, lossy LZW and frame size; a size estimate from a sample of frames;
// and the search for the best choice that fits a byte budget. The frames come from a
// GifFrameProvider, which may render them, read them back from a file or hold them in memory.
#pragma once

#include "colour/AnimationColours.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell {

class Dib;

// The frames of an animation, all of one size, by number from 0. Frames are asked for mostly
// in order; a provider that reads a stream may start again for an earlier one.
class GifFrameProvider {
public:
    virtual ~GifFrameProvider() = default;
    virtual int frameCount() const = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Puts frame `index` into `surface` as a 32-bit width x height surface. False when it
    // cannot be read.
    virtual bool frame(int index, Dib& surface) = 0;
};

struct GifEncodeOptions {
    AnimationPalette palette = AnimationPalette::Halftone;
    AnimationDither dither = AnimationDither::Ordered;
    bool optimize = false;   // later frames store only what changed
    int lossy = 0;           // 0..200: the lossy LZW's colour error bound (0: exact)
    int scalePercent = 100;  // 1..100: the frames' size against the provider's
    int delay = 20;          // hundredths of a second each frame is shown

    bool operator==(const GifEncodeOptions&) const = default;
};

inline constexpr int kGifMaxLossy = 200;

// Called after each frame is encoded with the number of frames done; false stops the encoding.
using GifProgress = std::function<bool(int done, int total)>;

enum class GifEncodeStatus {
    Done,
    FrameUnreadable,   // the provider failed a frame
    Stopped,           // the progress callback said stop
    NoFrames,          // the provider has no frames or no size
    PaletteFailed,     // the adaptive palette could not be made
};

// Encodes every frame of the provider as one looping GIF89a into `out` (replaced).
GifEncodeStatus encodeGifAnimation(GifFrameProvider& frames, const GifEncodeOptions& options,
                                   std::vector<std::uint8_t>& out, const GifProgress& progress = {});

// The predicted size in bytes of encodeGifAnimation's output: the first frame and up to
// `samples` frames spread over the rest are encoded as they would be (each optimised against
// the frame before it), the rest extrapolated from their mean. Nullopt when a frame cannot be
// read or the palette cannot be made.
std::optional<std::int64_t> estimateGifSize(GifFrameProvider& frames, const GifEncodeOptions& options,
                                            int samples = 4);

// The choices tried by fitGifToSize, best quality first: palette and dither, then lossy levels,
// then, last, smaller frames. All are optimised.
std::vector<GifEncodeOptions> gifSizeLadder(int delay);

struct GifFitResult {
    bool fits = false;
    GifEncodeStatus status = GifEncodeStatus::Done;
    GifEncodeOptions chosen;
    std::vector<std::uint8_t> bytes;   // the encoded animation when it fits
    std::int64_t smallest = 0;         // the smallest size seen when nothing fits
};

// Walks the ladder: the first choice whose estimate fits is encoded; when the real file is
// still too large the walk goes on. `progress` sees each full encoding. Frames read are kept
// (up to 160 MB) while the search runs, as the estimates ask for the same ones again.
GifFitResult fitGifToSize(GifFrameProvider& frames, std::int64_t maxBytes, int delay,
                          const GifProgress& progress = {});

// "global palette, diffusion dither, optimised, lossy 40, 75% size"
std::string describeGifOptions(const GifEncodeOptions& options);

// A byte size as the user types it: a whole or decimal number with an optional unit B, KB, MB,
// GB (powers of 1000) or KiB, MiB, GiB (powers of 1024), case-insensitive for the unit letters;
// "5MB", "1.5 MiB", "800000". Nullopt for anything else, a size below 1 byte or above 2^53.
std::optional<std::int64_t> parseByteSize(std::string_view text);

// "4.2 MB" style: three significant digits, powers of 1000.
std::string formatByteSize(std::int64_t bytes);

}  // namespace vantorell
