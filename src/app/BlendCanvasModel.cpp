#include "app/BlendCanvasModel.h"


#include <charconv>

namespace vantorell {

std::string_view blendFitName(BlendFit fit) { return fit == BlendFit::Crop ? "crop" : "stretch"; }

std::optional<BlendFit> blendFitFromName(std::string_view name)
{
    if (name == "stretch")
        return BlendFit::Stretch;
    if (name == "crop")
        return BlendFit::Crop;
    return std::nullopt;
}

void BlendCanvasModel::restore()
{
    const auto get = [&](std::string_view key) { return m_settings.value(kSettingsApplication, kSettingsSection, key); };
    BlendCanvas canvas;
    if (const auto text = get(blendkeys::kCanvas))
        canvas = parseBlendCanvasSize(*text).value_or(BlendCanvas{});
    if (const auto name = get(blendkeys::kFit))
        canvas.fit = blendFitFromName(*name).value_or(BlendFit::Stretch);
    if (canvas == m_canvas)
        return;
    m_canvas = canvas;
    changed();
}

std::optional<int> BlendCanvasModel::storedBlendSize() const
{
    const auto text = m_settings.value(kSettingsApplication, kSettingsSection, blendkeys::kSize);
    if (!text)
        return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (text->empty() || error != std::errc() || end != text->data() + text->size())
        return std::nullopt;
    return value;
}

void BlendCanvasModel::storeBlendSize(int start) { store(blendkeys::kSize, std::to_string(start)); }

void BlendCanvasModel::setSize(int width, int height)
{
    BlendCanvas canvas = m_canvas;
    canvas.width = width;
    canvas.height = height;
    canvas = clampedCanvas(canvas);
    if (canvas == m_canvas)
        return;
    m_canvas = canvas;
    store(blendkeys::kCanvas, blendCanvasSizeText(m_canvas));
    changed();
}

void BlendCanvasModel::setFit(BlendFit fit)
{
    if (fit == m_canvas.fit)
        return;
    m_canvas.fit = fit;
    store(blendkeys::kFit, blendFitName(fit));
    changed();
}

void BlendCanvasModel::store(std::string_view key, std::string_view value)
{
    m_settings.setIfWritable(kSettingsApplication, kSettingsSection, key, value);
}

void BlendCanvasModel::changed()
{
    if (onCanvasChanged)
        onCanvasChanged();
    if (onChanged)
        onChanged();
}

}  // namespace vantorell
