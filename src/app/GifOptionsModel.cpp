#include "app/GifOptionsModel.h"

#include "dib/Dib.h"
#include "gif/GifEncoder.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace vantorell {
namespace {

constexpr std::array<std::pair<std::string_view, GifPalette>, 4> kPalettes = {{
    {"halftone", GifPalette::Halftone},
    {"optimal", GifPalette::Optimal},
    {"global", GifPalette::Global},
    {"per-frame", GifPalette::PerFrame},
}};
constexpr std::array<std::pair<std::string_view, GifDither>, 4> kDithers = {{
    {"none", GifDither::None},
    {"ordered", GifDither::Ordered},
    {"ordered8", GifDither::Ordered8},
    {"diffusion", GifDither::Diffusion},
}};

std::optional<int> numberFromText(std::string_view text, int max)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0 || value > max)
        return std::nullopt;
    return value;
}

}  // namespace

std::string_view gifPaletteName(GifPalette palette)
{
    for (const auto& [name, value] : kPalettes)
        if (value == palette)
            return name;
    return "halftone";
}

std::string_view gifDitherName(GifDither dither)
{
    for (const auto& [name, value] : kDithers)
        if (value == dither)
            return name;
    return "ordered";
}

std::optional<GifPalette> gifPaletteFromName(std::string_view name)
{
    for (const auto& [word, value] : kPalettes)
        if (word == name)
            return value;
    return std::nullopt;
}

std::optional<GifDither> gifDitherFromName(std::string_view name)
{
    for (const auto& [word, value] : kDithers)
        if (word == name)
            return value;
    return std::nullopt;
}

GifOptionsModel::GifOptionsModel(SettingsStore& settings) : m_settings(settings) {}

void GifOptionsModel::restore()
{
    const auto get = [&](std::string_view key) { return m_settings.value(kSettingsApplication, kSettingsSection, key); };
    if (const auto text = get(gifkeys::kPalette))
        m_palette = gifPaletteFromName(*text).value_or(GifPalette::Halftone);
    if (const auto text = get(gifkeys::kDither))
        m_dither = gifDitherFromName(*text).value_or(GifDither::Ordered);
    if (const auto text = get(gifkeys::kOptimize))
        m_optimize = *text == "True";
    if (const auto text = get(gifkeys::kLossy))
        m_lossy = numberFromText(*text, kGifMaxLossy).value_or(0);
    if (const auto text = get(gifkeys::kQuality))
        m_quality = numberFromText(*text, 100).value_or(0);
    if (const auto text = get(gifkeys::kMaxSize))
        m_maxSize = *text == "none" ? std::nullopt : parseByteSize(*text);
    changed();
}

void GifOptionsModel::setPalette(GifPalette palette)
{
    if (palette == m_palette)
        return;
    m_palette = palette;
    store(gifkeys::kPalette, std::string(gifPaletteName(palette)));
    changed();
}

void GifOptionsModel::setDither(GifDither dither)
{
    if (dither == m_dither)
        return;
    m_dither = dither;
    store(gifkeys::kDither, std::string(gifDitherName(dither)));
    changed();
}

void GifOptionsModel::setOptimize(bool optimize)
{
    if (optimize == m_optimize)
        return;
    m_optimize = optimize;
    store(gifkeys::kOptimize, optimize ? "True" : "False");
    changed();
}

void GifOptionsModel::setLossy(int lossy)
{
    lossy = std::clamp(lossy, 0, kGifMaxLossy);
    if (lossy == m_lossy)
        return;
    m_lossy = lossy;
    store(gifkeys::kLossy, std::to_string(lossy));
    changed();
}

void GifOptionsModel::setQuality(int quality)
{
    quality = std::clamp(quality, 0, 100);
    if (quality == m_quality)
        return;
    m_quality = quality;
    store(gifkeys::kQuality, std::to_string(quality));
    changed();
}

bool GifOptionsModel::setMaxSizeText(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    std::optional<std::int64_t> size;
    if (!text.empty() && text != "none") {
        size = parseByteSize(text);
        if (!size)
            return false;
    }
    if (size != m_maxSize) {
        m_maxSize = size;
        store(gifkeys::kMaxSize, size ? std::to_string(*size) : std::string("none"));
        changed();
    }
    return true;
}

std::string GifOptionsModel::maxSizeText() const { return m_maxSize ? formatByteSize(*m_maxSize) : std::string(); }

void GifOptionsModel::applyTo(MixRequest& request) const
{
    request.gif.palette = m_palette;
    request.gif.dither = m_dither;
    request.gif.optimize = m_optimize;
    request.gif.lossy = m_lossy;
    request.gif.quality = m_quality;
    request.gif.pinned = 0;   // with the knob on, the choices' own controls wait
    request.gif.maxSize = m_maxSize;
}

void GifOptionsModel::setEstimate(std::optional<std::uint64_t> bytes)
{
    if (bytes == m_estimate)
        return;
    m_estimate = bytes;
    changed();
}

std::string GifOptionsModel::estimateText() const
{
    if (!m_estimate)
        return {};
    std::string text = "about " + formatByteSize(*m_estimate);
    if (m_maxSize && std::int64_t(*m_estimate) > *m_maxSize)
        text += ", over the target: smaller choices are tried";
    return text;
}

void GifOptionsModel::store(std::string_view key, const std::string& value)
{
    m_settings.setIfWritable(kSettingsApplication, kSettingsSection, key, value);
}

void GifOptionsModel::changed()
{
    if (onChanged)
        onChanged();
}

namespace {

// The plain cross-fade of two pictures, at the first one's size (the second sampled to it).
class CrossFadeFrames final : public GifFrameProvider {
public:
    CrossFadeFrames(const Bitmap& first, const Bitmap& second, int frames)
        : m_first(first), m_second(second), m_frames(frames)
    {
    }
    int frameCount() const override { return m_frames; }
    int width() const override { return m_first.width(); }
    int height() const override { return m_first.height(); }
    bool frame(int index, Dib& surface) override
    {
        const int w = width(), h = height();
        if (index < 0 || index >= m_frames || w <= 0 || h <= 0 || m_second.empty())
            return false;
        if ((surface.width() != w || surface.height() != h || surface.BPP() != 32) && !surface.create(w, h, 32))
            return false;
        const int t = m_frames > 1 ? int(std::lround(256.0 * index / (m_frames - 1))) : 0;
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* a = m_first.row(y);
            const std::uint8_t* b = m_second.row(int(std::int64_t(y) * m_second.height() / h));
            std::uint8_t* out = surface.bits() + std::size_t(y) * std::size_t(w) * 4;
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = a + 4 * std::size_t(x);
                const std::uint8_t* q = b + 4 * std::size_t(std::int64_t(x) * m_second.width() / w);
                for (int c = 0; c < 3; ++c)
                    out[4 * x + c] = std::uint8_t((p[c] * (256 - t) + q[c] * t + 128) >> 8);
                out[4 * x + 3] = 0;
            }
        }
        return true;
    }

private:
    const Bitmap& m_first;
    const Bitmap& m_second;
    int m_frames;
};

}  // namespace

PreviewEngine::GifSizeEstimator makePreviewGifSizeEstimator()
{
    struct Kept {
        PreviewInputs inputs;
        int width = 0, height = 0;
        std::optional<std::uint64_t> bytes;
    };
    auto kept = std::make_shared<std::optional<Kept>>();   // the worker's only
    return [kept](const Bitmap& first, const Bitmap& second, const PreviewInputs& inputs, int fullWidth,
                  int fullHeight) -> std::optional<std::uint64_t> {
        PreviewInputs key = inputs;
        key.frameIndex = 0;
        if (*kept && (*kept)->inputs == key && (*kept)->width == fullWidth && (*kept)->height == fullHeight)
            return (*kept)->bytes;
        std::optional<std::uint64_t> bytes;
        if (!first.empty() && !second.empty() && fullWidth > 0 && fullHeight > 0) {
            CrossFadeFrames frames(first, second, std::max(1, inputs.frameCount));
            if (const auto reduced = estimateGifSize(frames, inputs.gif)) {
                // The pixel data grows with the area; the reduced pictures stand for the full ones.
                const double scale = double(fullWidth) * fullHeight / (double(first.width()) * first.height());
                bytes = std::uint64_t(std::llround(double(*reduced) * std::max(1.0, scale)));
            }
        }
        *kept = Kept{key, fullWidth, fullHeight, bytes};
        return bytes;
    };
}

}  // namespace vantorell
