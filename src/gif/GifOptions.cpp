#include "gif/GifOptions.h"

#include <algorithm>

namespace vantorell {

namespace {
// Measured on the benchmark fade and a screen recording (bench/jobs/gif_quality.sh).
constexpr int kMovingKnee = 60;
constexpr int kStillKnee = 30;
constexpr int kLossyBelowKnee = 60;
// Where most pixels are nearly still, one palette for the animation up to here: on the panning
// video at 70, 4.83 MB at 33.29 dB in half the time per-frame palettes take for 4.94 MB at
// 33.35; at 90 per-frame palettes give 0.2 dB more for 2 % more bytes.
constexpr int kNearlyStillPerFrameFrom = 90;
// Where everything moves, the slack within which a shown pixel stands for its new colour (see
// GifOptions::holeTolerance): 0.53 RGB steps per quality step below 100, but 7 steps from about
// 87 to 90 and 0.7 steps per quality step above 90 (at 100 a pixel stays only when at least as
// close). On a panning video (bench/jobs/gif_maker.sh) at 70: 5.0 MB at 33.2 dB instead of 7.7 MB
// at 33.3 without; at 90: 10.2 MB at 37.4 dB instead of 14.4 MB at 37.4.
constexpr double kHoleStepsPerQuality = 0.53;
constexpr double kHoleStepsNearTop = 0.7;
constexpr double kHoleStepsAt90 = 7;

int holeTolerance(int quality)
{
    const double below = 100 - quality;
    const double steps = std::min(kHoleStepsNearTop * below, std::max(kHoleStepsAt90, kHoleStepsPerQuality * below));
    return std::max(1, int(steps * steps + 0.5));   // at the top, only a shown pixel at least as close stays
}
}

bool keepsWholePalette(const GifOptions& options)
{
    return (options.palette == GifPalette::Halftone || options.palette == GifPalette::Optimal) &&
           options.dither != GifDither::Ordered8 && !options.optimize && options.lossy == 0 && !options.maxSize;
}

GifOptions applyGifQuality(const GifOptions& options, GifMotion motion)
{
    if (options.quality <= 0 || options.maxSize)
        return options;
    const int q = std::clamp(options.quality, 1, 100);
    const bool mostlyStill = motion == GifMotion::MostlyStill;
    GifOptions picked = options;
    picked.quality = 0;
    picked.stillAreasStay = mostlyStill;
    // Where everything moves, above the knee per-frame palettes with diffusion give the most
    // quality per byte and the lossy bound trades the rest; below it one global palette with the
    // ordered dither, whose regular pattern codes smaller, and a wider lossy bound. Where most
    // stays still the first frame is most of the file: one shared palette with diffusion that
    // keeps still pixels, and a gentler lossy bound. Above the knee the adaptive palettes are
    // also mapped finely (exact nearest entries, half-strength diffusion): on the benchmark
    // fade at 90, 0.7 dB more for 3 % fewer bytes.
    // Where most pixels stay within a few levels (a video), most of each frame stays as shown
    // and diffusion places the pixels stored best at every quality, with a gentler lossy
    // bound: on a panning video at 50, 3.03 MB at 29.97 dB where the ordered dither gives
    // 3.02 MB at 29.74.
    const int knee = mostlyStill ? kStillKnee : kMovingKnee;
    const bool high = q >= knee;
    const bool nearlyStill = motion == GifMotion::NearlyStill;
    const int lossy = mostlyStill   ? (100 - q) * 3 / 5 + std::max(0, 70 - q) / 2
                      : nearlyStill ? 102 - q + std::max(0, 50 - q)
                      : high        ? (100 - q) * 4 / 3
                                    : kLossyBelowKnee + (knee - q) * 2;
    const bool perFrame = nearlyStill ? q >= kNearlyStillPerFrameFrom : high && !mostlyStill;
    if (!(options.pinned & kGifChoicePalette))
        picked.palette = perFrame ? GifPalette::PerFrame : GifPalette::Global;
    if (!(options.pinned & kGifChoiceDither))
        picked.dither = high || nearlyStill ? GifDither::Diffusion : GifDither::Ordered;
    if (!(options.pinned & kGifChoiceOptimize))
        picked.optimize = true;
    picked.fineColours = high || nearlyStill;
    // There most of each frame stays as shown, and lossy coding that may leave a shown pixel
    // saves 7 % at the same PSNR (on the panning video at 29.4 dB, 2.86 MB where 3.08 MB). On a
    // fade it gains little and slows the coding by a tenth.
    picked.lossyLeavesShown = nearlyStill;
    picked.lzwInParts = true;
    picked.sharedAsMade = true;
    // Palettes from a sample: on the benchmark fade and a panning video, within 0.6 % of the
    // size and 0.05 dB at 50, 70 and 90, and a fifth to a quarter faster.
    picked.paletteFromSample = true;
    if (!mostlyStill)
        picked.holeTolerance = holeTolerance(q);
    if (!(options.pinned & kGifChoiceLossy))
        picked.lossy = std::clamp(lossy, 0, kGifMaxLossy);
    return picked;
}

std::string describeGifOptions(const GifOptions& options)
{
    static const char* const palettes[] = {"halftone", "optimal", "global", "per-frame"};
    static const char* const dithers[] = {"no", "ordered", "ordered8", "diffusion"};
    std::string text = std::string(palettes[int(options.palette)]) + " palette, " + dithers[int(options.dither)] +
                       " dither";
    if (options.optimize)
        text += ", optimised";
    if (options.lossy > 0)
        text += ", lossy " + std::to_string(options.lossy);
    text += ", " + std::to_string(options.scalePercent) + "% size";
    return text;
}

}  // namespace vantorell
