// The window's GIF choices for a Fade saved as an animated GIF: the palette, the dither,
// "Smaller File" (frames store only what changed), the lossy level and an optional target size,
// with the estimated size of result.gif shown beside them. Display-free, like the video output:
// the view mirrors it. A store without its keys gives the halftone palette and the 4 x 4
// ordered dither and nothing else, exactly the GIF the window always wrote.
#pragma once

#include "app/PreviewEngine.h"
#include "job/MixRequest.h"
#include "platform/SettingsStore.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantorell {

// Settings keys of the GIF choices (section [Vantorell]).
namespace gifkeys {
inline constexpr std::string_view kPalette = "GIF Palette";     // halftone, optimal, global, per-frame
inline constexpr std::string_view kDither = "GIF Dither";       // none, ordered, ordered8, diffusion
inline constexpr std::string_view kOptimize = "GIF Optimize";   // True / False
inline constexpr std::string_view kLossy = "GIF Lossy";         // 0 .. 200
inline constexpr std::string_view kMaxSize = "GIF Max Size";    // "none", or a size such as "2MB"
inline constexpr std::string_view kQuality = "GIF Quality";     // 0 (off: the choices above) .. 100
}  // namespace gifkeys

// The stored words of the palettes and dithers (the command line's --gif-palette/--dither words).
std::string_view gifPaletteName(GifPalette palette);
std::string_view gifDitherName(GifDither dither);
std::optional<GifPalette> gifPaletteFromName(std::string_view name);
std::optional<GifDither> gifDitherFromName(std::string_view name);

class GifOptionsModel {
public:
    explicit GifOptionsModel(SettingsStore& settings);

    // Reads the keys; a missing or bad value keeps its default (halftone, ordered, not smaller,
    // lossy 0, no target). Nothing is written.
    void restore();

    GifPalette palette() const { return m_palette; }
    void setPalette(GifPalette palette);
    GifDither dither() const { return m_dither; }
    void setDither(GifDither dither);
    bool optimize() const { return m_optimize; }
    void setOptimize(bool optimize);
    int lossy() const { return m_lossy; }
    void setLossy(int lossy);   // clamped to 0 .. 200
    const std::optional<std::int64_t>& maxSize() const { return m_maxSize; }
    // The target as the user typed it: empty or "none" clears it; false (nothing changes) for
    // text that is no size.
    bool setMaxSizeText(std::string_view text);
    // The quality knob, 1..100, which then picks the palette, dither, "Smaller File" and lossy
    // level; 0 (off) leaves them to their own controls.
    int quality() const { return m_quality; }
    void setQuality(int quality);   // clamped to 0 .. 100
    std::string maxSizeText() const;   // "" or formatByteSize's "2.00 MB"

    // The request's GIF fields (whatever the output; only a GIF output reads them).
    void applyTo(MixRequest& request) const;

    // The estimated bytes of result.gif, from the preview (nullopt: none yet, or not a GIF).
    void setEstimate(std::optional<std::uint64_t> bytes);
    const std::optional<std::uint64_t>& estimate() const { return m_estimate; }
    // What the window shows beside the choices: "about 1.23 MB", with a note when it is over the
    // target, or "" without an estimate.
    std::string estimateText() const;

    std::function<void()> onChanged;   // any change (the view and the preview follow)

private:
    void store(std::string_view key, const std::string& value);
    void changed();

    SettingsStore& m_settings;
    GifPalette m_palette = GifPalette::Halftone;
    GifDither m_dither = GifDither::Ordered;
    bool m_optimize = false;
    int m_lossy = 0;
    int m_quality = 0;
    std::optional<std::int64_t> m_maxSize;
    std::optional<std::uint64_t> m_estimate;
};

// The preview's GIF size estimator (PreviewEngine::setGifSizeEstimator): the job's Fade frames
// (its timing, hold frames and ping-pong included; the morph's warp left out) on bands of the
// two pictures at their own resolution (up to 400 000 pixels a frame; the reduced pictures when
// the files cannot be read again), estimated by gif/GifEncoder's estimateGifSize with the
// inputs' choices and scaled from the bands' area to the frame's. The figure for one set of
// inputs is kept, so moving through the frames does not estimate again.
PreviewEngine::GifSizeEstimator makePreviewGifSizeEstimator();

}  // namespace vantorell
