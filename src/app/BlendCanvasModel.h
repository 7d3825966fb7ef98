// The Blend's canvas in the window: its size ("Blend Canvas", WxH) and fit ("Blend Fit"), and
// the stored Blend Size. Display-free, like the video output: the view mirrors it. A store
// without its keys gives the 729 x 425 stretched canvas and the Blend Size of today's start.
#pragma once

#include "job/MixRequest.h"
#include "platform/SettingsStore.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantorell {

// Settings keys of the Blend's canvas (section [Vantorell]).
namespace blendkeys {
inline constexpr std::string_view kSize = "Blend Size";       // the start line, a whole number
inline constexpr std::string_view kCanvas = "Blend Canvas";   // "729x425"
inline constexpr std::string_view kFit = "Blend Fit";         // stretch, crop
}  // namespace blendkeys

std::string_view blendFitName(BlendFit fit);   // "stretch", "crop"
std::optional<BlendFit> blendFitFromName(std::string_view name);

class BlendCanvasModel {
public:
    explicit BlendCanvasModel(SettingsStore& settings) : m_settings(settings) {}

    // Reads the canvas and the fit; a missing or bad value keeps the default. Nothing is written.
    void restore();
    // The stored Blend Size when it is a whole number (the caller clamps it to its range).
    std::optional<int> storedBlendSize() const;
    void storeBlendSize(int start);

    const BlendCanvas& canvas() const { return m_canvas; }
    void setSize(int width, int height);   // each side clamped to 16 .. 8192
    void setFit(BlendFit fit);

    void applyTo(MixRequest& request) const { request.blendCanvas = m_canvas; }

    std::function<void()> onCanvasChanged;   // size or fit changed (the window adjusts Blend Size's range)
    std::function<void()> onChanged;         // any change (the view follows)

private:
    void store(std::string_view key, std::string_view value);
    void changed();

    SettingsStore& m_settings;
    BlendCanvas m_canvas;
};

}  // namespace vantorell
