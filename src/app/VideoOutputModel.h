// The window's video outputs for the Fade: the "Save As Video" choice beside "Save As AVI" and
// "Save As Animated GIF", the format (MP4, WebM, animated WebP, APNG: only those this build's
// FFmpeg offers) and the quality. Display-free, like the morph: the view mirrors it. A store
// without its keys leaves it off, so the window's requests are exactly those of AVI or GIF.
#pragma once

#include "avi/VideoFile.h"
#include "job/MixRequest.h"
#include "platform/SettingsStore.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell {

// Settings keys of the video output (section [Vantorell]).
namespace videokeys {
inline constexpr std::string_view kChosen = "Save As Video";    // True / False
inline constexpr std::string_view kFormat = "Video Format";     // mp4, webm, webp, apng
inline constexpr std::string_view kQuality = "Video Quality";   // 0 .. 100, or "default"
}  // namespace videokeys

class VideoOutputModel {
public:
    static constexpr int kDefaultQuality = -1;   // each encoder's own default

    explicit VideoOutputModel(SettingsStore& settings);

    // The formats this build can write, in the order the window lists them.
    const std::vector<VideoFormat>& formats() const { return m_formats; }

    // Reads the keys; a missing, unknown or out-of-range value keeps its default (off, the first
    // offered format, the encoder's default quality). Nothing is written.
    void restore();

    bool chosen() const { return m_chosen; }
    // Choosing the video output (true) is what the view's "Save As Video" option does; the
    // window then clears AVI and GIF (onChosen). Refused while no format is offered.
    void setChosen(bool chosen);
    VideoFormat format() const { return m_format; }
    void setFormat(VideoFormat format);   // ignored for a format not offered
    int quality() const { return m_quality; }
    void setQuality(int quality);         // clamped to -1 .. 100; -1 is the default

    // Chosen: the request's output and quality; otherwise the request stays as it is.
    void applyTo(MixRequest& request) const;

    std::function<void()> onChosen;    // the user (or the restore) chose the video output
    std::function<void()> onChanged;   // any change (the view follows)

private:
    void store(std::string_view key, const std::string& value);
    void changed();

    SettingsStore& m_settings;
    std::vector<VideoFormat> m_formats;
    bool m_chosen = false;
    VideoFormat m_format = VideoFormat::Mp4;
    int m_quality = kDefaultQuality;
};

// The quality as stored and shown: "default" or the number.
std::string videoQualityText(int quality);
// The stored text back: nullopt for anything but "default" or a whole number 0 .. 100.
std::optional<int> videoQualityFromText(std::string_view text);

}  // namespace vantorell
