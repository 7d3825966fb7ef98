// GifEncoder: the one GIF encoder. 32-bit frames go in, in order, as they are rendered, and each
// is reduced to palette indices at once. Where nothing later can change how a frame is numbered
// (a per-frame palette, or a palette that keeps every entry) the frame is stored at once too;
// otherwise its indices wait for the final palette and finish() stores every frame, on two
// cores. Around it: the whole-animation call over a GifFrameProvider, the size
// estimate from a sample of frames, and the search for the best choice that fits a byte budget.
#pragma once

#include "gif/GifOptions.h"
#include "platform/StepProgress.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vantorell {

class Dib;
class Palette8;

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
    // Whether the frames' alpha bytes hold coverage: a pixel under 128 shows nothing in the GIF.
    // Otherwise alpha is ignored, as rendered frames leave it 0.
    virtual bool hasTransparency() const { return false; }
    // Whether frame `index` shows exactly what frame index - 1 shows (a hold frame). The size
    // estimate codes one frame of each run of such frames and counts it for the whole run.
    virtual bool repeatsPrevious(int /*index*/) { return false; }
};

enum class GifEncodeStatus {
    Done,
    FrameUnreadable,   // the provider failed a frame, or a frame has the wrong size
    Stopped,           // the progress callback said stop
    NoFrames,          // no frames, or no size
    PaletteFailed,     // the adaptive palette could not be made
};

class GifEncoder {
public:
    // Frames of width x height (1..65535 each), encoded with `options` (its scalePercent is the
    // caller's business: frames come at their final size).
    GifEncoder(const GifOptions& options, int width, int height);
    ~GifEncoder();
    GifEncoder(const GifEncoder&) = delete;
    GifEncoder& operator=(const GifEncoder&) = delete;

    // The global palette (GifPalette::Global only; nothing to do for the others), from a
    // sample of `frames` spread over the animation at this encoder's size, or `ready`. Must
    // come before the first frame.
    GifEncodeStatus preparePalette(GifFrameProvider& frames, const Palette8* ready = nullptr);
    bool needsPalette() const;

    // Reduces the next frame (32 bits, this encoder's size) to indices, and stores it or keeps
    // the indices (1 byte a pixel) for finish().
    GifEncodeStatus addFrame(const Dib& frame);
    int framesAdded() const;
    // The last frame added as a decoder of the finished GIF shows it, as 32-bit pixels (with
    // lossy LZW the stored frame may differ a little).
    void shownFrame(Dib& out) const;
    // How `frame` would show as the next frame, as 32-bit pixels; nothing is kept. The preview
    // shows frames with it: the palette stays what preparePalette or the first frame made.
    GifEncodeStatus previewFrame(const Dib& frame, Dib& shown);

    // The whole GIF into `out` (replaced). `progress` sees each frame stored, on the calling
    // thread; false stops. NoFrames when no frame was added.
    GifEncodeStatus finish(std::vector<std::uint8_t>& out, const StepProgress& progress = {});

    // Whether finish() may store frames on a second thread (on by default).
    void setHelperThreads(bool on);
    // Pixels whose alpha is under 128 become transparent (off by default: alpha is ignored). A
    // palette entry is kept for them, and a frame that must clear what the one before showed
    // makes that one restore to the background. Must come before preparePalette.
    void setTransparentPixels(bool on);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Encodes every frame of the provider as one looping GIF89a into `out` (replaced), scaled to
// options.scalePercent. `progress` sees 2 n steps (n reduced, n stored; n for frames stored
// as they come). Without `helperThreads` every frame is coded on the calling thread.
GifEncodeStatus encodeGifAnimation(GifFrameProvider& frames, const GifOptions& options,
                                   std::vector<std::uint8_t>& out, const StepProgress& progress = {},
                                   bool helperThreads = true);

// The predicted size in bytes of encodeGifAnimation's output: the first frame and up to
// `samples` frames spread over the frames that change are encoded as they would be (each
// optimised against the frame before it), the rest extrapolated from their mean; a run of
// frames that repeat the one before (repeatsPrevious) costs its first one times its length.
// Nullopt when a frame cannot be read or the palette cannot be made.
std::optional<std::int64_t> estimateGifSize(GifFrameProvider& frames, const GifOptions& options, int samples = 4);

// The choices tried by fitGifToSize, best quality first: palette and dither, then lossy levels,
// then, last, smaller frames. All are optimised.
std::vector<GifOptions> gifSizeLadder(int delay);

struct GifFitResult {
    bool fits = false;
    GifEncodeStatus status = GifEncodeStatus::Done;
    GifOptions chosen;
    std::vector<std::uint8_t> bytes;   // the encoded animation when it fits
    std::int64_t smallest = 0;         // the smallest size seen when nothing fits
    int encodings = 0;                 // the full encodings the search made
};

// Estimates the ladder's last (smallest) choice first: when even that is over `maxBytes`, answers
// at once that nothing fits. Else finds on estimates, halving, a choice that fits after one
// that does not (the first that fits, as sizes fall down the ladder);
// when it is well under the budget, the lossy level (or, among smaller frames, the size) between
// it and the choice before is searched on estimates for about 95 % of the budget. The choice is
// encoded, and at most twice more, each time aimed again through the real sizes so far, so the
// file lands between 90 % and 100 % of the budget where the choices allow. A file over the budget
// is never answered: when three encodings did not fit, the walk goes on down the ladder.
// `progress` sees each estimate (as steps of the search) and each full encoding, and may stop
// either. Frames read are kept (up to 160 MB) while the search runs,
// as the estimates ask for the same ones again.
GifFitResult fitGifToSize(GifFrameProvider& frames, std::int64_t maxBytes, int delay,
                          const StepProgress& progress = {}, bool helperThreads = true);

}  // namespace vantorell
