#include "gif/GifOptions.h"


namespace vantorell {

bool keepsWholePalette(const GifOptions& options)
{
    return (options.palette == GifPalette::Halftone || options.palette == GifPalette::Optimal) &&
           options.dither != GifDither::Ordered8 && !options.optimize && options.lossy == 0 && !options.maxSize;
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
