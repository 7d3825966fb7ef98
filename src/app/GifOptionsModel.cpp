#include "app/GifOptionsModel.h"

#include "dib/Dib.h"
#include "gif/GifEncoder.h"
#include "mix/FadeRenderer.h"
#include "platform/RuntimeError.h"
#include "job/PreviewRender.h"
#include "platform/PictureLoader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
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

// The estimate codes at most this many pixels of each frame, in kEstimateBands full-width bands
// of the pictures at their own resolution spread over the height: grain and fine detail, which
// decide what LZW makes of a frame, are lost in a reduced picture.
constexpr std::int64_t kEstimatePixels = 400'000;
constexpr int kEstimateBands = 8;
// Changing frames coded for the estimate: the cost of a frame rises and falls along a fade
// (and again on the way back with ping-pong), and fewer samples missed it by several percent.
constexpr int kEstimateSamples = 8;

// Bands of `picture` stacked into one picture of `rows` rows: the whole picture when it has no
// more rows, else kEstimateBands bands spread over its height.
Picture bandsOf(const Picture& picture, int rows)
{
    const Bitmap& from = picture.bitmap();
    if (rows >= from.height())
        return picture;
    const int bandRows = std::max(1, rows / kEstimateBands);
    Bitmap out(from.width(), bandRows * kEstimateBands);
    for (int r = 0; r < out.height(); ++r) {
        const int band = r / bandRows;
        const int y = int(std::int64_t(from.height() - bandRows) * band / (kEstimateBands - 1)) + r % bandRows;
        std::memcpy(out.mutableRow(r), from.row(y), std::size_t(from.width()) * 4);
    }
    return Picture(std::move(out));
}

// Picture 2 at picture 1's size, as the estimate's bands need it (stretched).
Picture matchedTo(const Picture& second, int width, int height)
{
    const Bitmap& from = second.bitmap();
    if (from.width() == width && from.height() == height)
        return second;
    Bitmap out(width, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = from.row(int(std::int64_t(y) * from.height() / height));
        std::uint8_t* row = out.mutableRow(y);
        for (int x = 0; x < width; ++x)
            std::memcpy(row + 4 * std::size_t(x), in + 4 * std::size_t(std::int64_t(x) * from.width() / width), 4);
    }
    return Picture(std::move(out));
}

// The picture at its own resolution; empty when it cannot be read.
Picture loadPictureQuietly(const std::string& file)
{
    try {
        return loadPicture(file);
    } catch (const RuntimeError&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// The bytes a GIF of `frames` frames spends whatever its frames' size: header, colour tables,
// frame headers.
std::int64_t fixedGifBytes(const GifOptions& options, int frames)
{
    const std::int64_t table = 768;
    const bool ownTables = options.palette == GifPalette::PerFrame;
    return 32 + table + std::int64_t(frames) * (20 + (ownTables ? table : 0));
}

// What the estimate codes: bands of both pictures, and the full frame's area over theirs.
struct EstimateBands {
    std::string image1, image2;   // the files they came from
    int fullWidth = 0, fullHeight = 0;
    Picture first, second;
    double scale = 1;
};

EstimateBands estimateBands(const Bitmap& reduced1, const Bitmap& reduced2, const PreviewInputs& inputs,
                            int fullWidth, int fullHeight)
{
    // The pictures at their own resolution where they can be read, else the reduced ones.
    Picture first = inputs.image1.empty() ? Picture() : loadPictureQuietly(inputs.image1);
    Picture second = inputs.image2.empty() ? Picture() : loadPictureQuietly(inputs.image2);
    if (first.empty() || second.empty() || first.bitmap().width() != fullWidth || first.bitmap().height() != fullHeight) {
        first = Picture(reduced1);
        second = Picture(reduced2);
    }
    const int width = first.bitmap().width(), height = first.bitmap().height();
    const int rows = int(std::clamp<std::int64_t>(kEstimatePixels / width, kEstimateBands, height));
    EstimateBands bands{inputs.image1, inputs.image2, fullWidth, fullHeight, bandsOf(first, rows),
                        bandsOf(matchedTo(second, width, height), rows), 1};
    bands.scale = double(fullWidth) * fullHeight / (double(width) * bands.first.bitmap().height());
    return bands;
}

// The estimate of result.gif: the job's own Fade renderer (its timing: easing, holds,
// ping-pong) on the bands, the encoder's estimate of those frames, scaled to the full frame.
std::optional<std::uint64_t> estimateFadeGif(const EstimateBands& bands, const PreviewInputs& inputs)
{
    MixRequest request;
    request.mixType = MixType::Fade;
    request.morphTiming = inputs.morphTiming;   // the morph's warp left out: bands carry no mesh
    const std::unique_ptr<FadeRenderer> fade = makeFadeRenderer(request, inputs.steps, bands.first, bands.second);
    FadePreviewFrames frames(*fade);
    const std::optional<std::int64_t> estimate = estimateGifSize(frames, inputs.gif, kEstimateSamples);
    if (!estimate)
        return std::nullopt;
    const std::int64_t fixed = std::min(*estimate, fixedGifBytes(inputs.gif, frames.frameCount()));
    return std::uint64_t(fixed + std::llround(double(*estimate - fixed) * bands.scale));
}

}  // namespace

PreviewEngine::GifSizeEstimator makePreviewGifSizeEstimator()
{
    struct Kept {
        PreviewInputs inputs;
        int width = 0, height = 0;
        std::optional<std::uint64_t> bytes;
        std::optional<EstimateBands> bands;   // read again only for other files or sizes
    };
    auto kept = std::make_shared<Kept>();   // the worker's only
    return [kept](const Bitmap& first, const Bitmap& second, const PreviewInputs& inputs, int fullWidth,
                  int fullHeight) -> std::optional<std::uint64_t> {
        PreviewInputs key = inputs;
        key.frameIndex = 0;
        if (kept->bands && kept->inputs == key && kept->width == fullWidth && kept->height == fullHeight)
            return kept->bytes;
        kept->inputs = key;
        kept->width = fullWidth;
        kept->height = fullHeight;
        kept->bytes.reset();
        if (first.empty() || second.empty() || fullWidth <= 0 || fullHeight <= 0) {
            kept->bands.reset();
            return std::nullopt;
        }
        try {
            const EstimateBands* bands = kept->bands ? &*kept->bands : nullptr;
            if (!bands || bands->image1 != inputs.image1 || bands->image2 != inputs.image2 ||
                bands->fullWidth != fullWidth || bands->fullHeight != fullHeight)
                kept->bands = estimateBands(first, second, inputs, fullWidth, fullHeight);
            kept->bytes = estimateFadeGif(*kept->bands, inputs);
        } catch (const RuntimeError&) {
            kept->bands.reset();   // no frames to be had at this size: no figure
        }
        return kept->bytes;
    };
}

}  // namespace vantorell
