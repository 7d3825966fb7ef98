#include "app/VideoOutputModel.h"


#include <algorithm>
#include <charconv>

namespace vantorell {
namespace {

FadeOutput fadeOutputOf(VideoFormat format)
{
    switch (format) {
    case VideoFormat::Mp4: return FadeOutput::Mp4;
    case VideoFormat::Webm: return FadeOutput::Webm;
    case VideoFormat::Webp: return FadeOutput::Webp;
    case VideoFormat::Apng: return FadeOutput::Apng;
    }
    return FadeOutput::Mp4;
}

}  // namespace

std::string videoQualityText(int quality)
{
    return quality < 0 ? std::string("default") : std::to_string(quality);
}

std::optional<int> videoQualityFromText(std::string_view text)
{
    if (text == "default")
        return VideoOutputModel::kDefaultQuality;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0 || value > 100)
        return std::nullopt;
    return value;
}

VideoOutputModel::VideoOutputModel(SettingsStore& settings) : m_settings(settings)
{
    for (const VideoFormatInfo& info : videoFormats())
        if (videoFormatAvailable(info.format))
            m_formats.push_back(info.format);
    if (!m_formats.empty())
        m_format = m_formats.front();
}

void VideoOutputModel::restore()
{
    const auto get = [&](std::string_view key) { return m_settings.value(kSettingsApplication, kSettingsSection, key); };
    if (const auto name = get(videokeys::kFormat))
        for (VideoFormat format : m_formats)
            if (*name == videoFormatInfo(format).name)
                m_format = format;
    if (const auto text = get(videokeys::kQuality))
        m_quality = videoQualityFromText(*text).value_or(kDefaultQuality);
    changed();
    if (get(videokeys::kChosen) == std::optional<std::string>("True") && !m_formats.empty()) {
        m_chosen = true;
        if (onChosen)
            onChosen();
        changed();
    }
}

void VideoOutputModel::setChosen(bool chosen)
{
    if (chosen == m_chosen || (chosen && m_formats.empty()))
        return;
    m_chosen = chosen;
    store(videokeys::kChosen, chosen ? "True" : "False");
    if (chosen && onChosen)
        onChosen();
    changed();
}

void VideoOutputModel::setFormat(VideoFormat format)
{
    if (format == m_format || std::find(m_formats.begin(), m_formats.end(), format) == m_formats.end())
        return;
    m_format = format;
    store(videokeys::kFormat, videoFormatInfo(format).name);
    changed();
}

void VideoOutputModel::setQuality(int quality)
{
    quality = std::clamp(quality, kDefaultQuality, 100);
    if (quality == m_quality)
        return;
    m_quality = quality;
    store(videokeys::kQuality, videoQualityText(quality));
    changed();
}

void VideoOutputModel::applyTo(MixRequest& request) const
{
    if (!m_chosen)
        return;
    request.fadeOutput = fadeOutputOf(m_format);
    request.videoQuality = m_quality;
}

void VideoOutputModel::store(std::string_view key, const std::string& value)
{
    m_settings.setIfWritable(kSettingsApplication, kSettingsSection, key, value);
}

void VideoOutputModel::changed()
{
    if (onChanged)
        onChanged();
}

}  // namespace vantorell
