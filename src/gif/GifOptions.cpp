#include "gif/GifOptions.h"

#include <cctype>
#include <cmath>
#include <cstdio>

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

std::optional<std::int64_t> parseByteSize(std::string_view text)
{
    std::size_t i = 0;
    double whole = 0;
    bool digits = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        whole = whole * 10 + (text[i++] - '0');
        digits = true;
        if (whole > 1e16)
            return std::nullopt;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            whole += (text[i++] - '0') * scale;
            scale /= 10;
            digits = true;
        }
    }
    if (!digits)
        return std::nullopt;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::string unit;
    for (; i < text.size(); ++i)
        unit += char(std::tolower(static_cast<unsigned char>(text[i])));
    double factor = 0;
    if (unit.empty() || unit == "b")
        factor = 1;
    else if (unit == "kb")
        factor = 1e3;
    else if (unit == "mb")
        factor = 1e6;
    else if (unit == "gb")
        factor = 1e9;
    else if (unit == "kib")
        factor = 1024.0;
    else if (unit == "mib")
        factor = 1024.0 * 1024.0;
    else if (unit == "gib")
        factor = 1024.0 * 1024.0 * 1024.0;
    else
        return std::nullopt;
    const double bytes = std::floor(whole * factor);
    if (bytes < 1 || bytes > 9007199254740992.0)
        return std::nullopt;
    return std::int64_t(bytes);
}

std::string formatByteSize(std::int64_t bytes)
{
    char text[32];
    if (bytes < 1000)
        std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
    else if (bytes < 1000000)
        std::snprintf(text, sizeof text, "%.3g KB", double(bytes) / 1e3);
    else if (bytes < 1000000000)
        std::snprintf(text, sizeof text, "%.3g MB", double(bytes) / 1e6);
    else
        std::snprintf(text, sizeof text, "%.3g GB", double(bytes) / 1e9);
    return text;
}

}  // namespace vantorell
