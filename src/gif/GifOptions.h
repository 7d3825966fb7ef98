// The GIF choices, one set for the whole program: the command line and the window fill them,
// the request carries them, the job and the preview hand them to the encoder.
#pragma once

#include "colour/AnimationColours.h"
#include "platform/ByteSize.h"   // the byte budget is typed and shown in these sizes

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantorell {

struct GifOptions {
    GifPalette palette = GifPalette::Halftone;
    GifDither dither = GifDither::Ordered;
    bool optimize = false;                  // later frames store only what changed
    int lossy = 0;                          // 0..200: the lossy LZW's colour error bound (0: exact)
    std::optional<std::int64_t> maxSize;    // a byte budget: the size search picks the choices
    int scalePercent = 100;                 // 1..100: the frames' size against the rendered ones
    int delay = 20;                         // hundredths of a second each frame is shown
    int quality = 0;                        // 1..100: one knob for palette, dither, optimise, lossy (0: off)
    unsigned pinned = 0;                    // GifChoice bits the user gave, which the knob keeps
    bool stillAreasStay = false;            // diffusion on a shared palette keeps unchanged pixels' entries
    bool fineColours = false;               // adaptive palettes: exact nearest entries, gentler diffusion
    int holeTolerance = 0;                  // optimised: a shown pixel stays while it is as close (squared RGB)
                                            // to the frame's colour as its new entry is, plus this; frames
                                            // held for a shared palette (with clear pixels): while within
                                            // this of the new entry (0: only the same colour)

    bool lossyLeavesShown = false;          // optimised, lossy, with a hole tolerance: lossy coding may
                                            // also leave a shown pixel within its bound, or repaint one
                                            // left as shown (LzwEncoder::encodeFrameLossy's `shown`)

    bool lzwInParts = false;                // frames of 1 MP and more: LZW data in two parts (a clear
                                            // code between), coded side by side where a core is free
    bool paletteFromSample = false;         // palettes from every n-th pixel of every n-th row, n >= 2,
                                            // about 1.5 MP (not a mostly still animation's one palette)
    bool sharedAsMade = false;              // a shared palette keeps its entries as made (none dropped or
                                            // reordered after the last frame), so frames without clear
                                            // pixels are stored as they come, beside the next's reduction

    bool operator==(const GifOptions&) const = default;
};

inline constexpr int kGifMaxLossy = 200;

// The choices a quality knob would otherwise pick, as bits of GifOptions::pinned.
enum GifChoice : unsigned {
    kGifChoicePalette = 1,
    kGifChoiceDither = 2,
    kGifChoiceOptimize = 4,
    kGifChoiceLossy = 8,
};

// How much of each frame repeats the frame before, as the knob judges it.
enum class GifMotion {
    Moving,        // most pixels change by more than a few levels (a fade)
    NearlyStill,   // most pixels within a few levels of the frame before (a slow pan, a video)
    MostlyStill,   // most pixels exactly as the frame before (a screen recording)
};

// The palette, dither, optimise and lossy level the knob picks for quality 1..100 along the
// measured quality-per-byte curve, each choice in `options.pinned` kept as given; `options`
// unchanged when its quality is 0 or a byte budget decides instead. The result's quality is 0.
// Where most pixels are still, one shared palette keeps still areas still and costs nothing in
// frames after the first.
GifOptions applyGifQuality(const GifOptions& options, GifMotion motion = GifMotion::Moving);

// The choices the GIF output has always had (the halftone or first-frame palette, the 4 x 4
// or no dither or diffusion, every frame whole and exact): such a GIF keeps the palette's
// every entry, where every other choice keeps only the entries some frame uses.
bool keepsWholePalette(const GifOptions& options);

// "global palette, diffusion dither, optimised, lossy 40, 75% size"
std::string describeGifOptions(const GifOptions& options);

}  // namespace vantorell
