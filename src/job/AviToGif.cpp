#include "job/AviToGif.h"

#include "dib/Dib.h"
#include "gif/FramesToGif.h"

#include <algorithm>

namespace vantorell {

namespace {

// AviReader's frames drawn straight into framesToGif's 32-bit surface, whose rows are W x 4
// bytes without padding: the BgrxFrame layout.
class AviFrames final : public GifFrameSource {
public:
    explicit AviFrames(AviReader& reader) : m_reader(reader) {}
    bool readFrame(Dib& surface) override { return m_reader.readFrame(frameOf(surface)); }
    bool drawFrame(Dib& surface) override { return m_reader.drawFrame(frameOf(surface)); }

private:
    static BgrxFrame frameOf(Dib& surface)
    {
        return {surface.Width(), surface.Height(), {surface.bits(), static_cast<std::size_t>(surface.Size())}};
    }
    AviReader& m_reader;
};

bool importFrom(AviReader& reader, AviReadError opened, GifDocument& gif, ProgressBar& progress, UiPort& ui,
                Ditherer& dither, AviToGifReport* report)
{
    AviToGifReport local;
    AviToGifReport& r = report ? *report : local;
    const AviStreamInfo& stream = reader.stream();
    r = AviToGifReport{opened, false, stream.frames, stream.width, stream.height, stream.delay};
    if (opened != AviReadError::None)
        return false;

    AviFrames frames(reader);
    const GifAnimationShape shape{stream.frames, stream.width, stream.height, stream.delay};
    const FramesToGifResult result = framesToGif(frames, shape, gif, progress, ui, dither);
    switch (result) {
    case FramesToGifResult::Done: break;
    case FramesToGifResult::FrameUnreadable: r.error = AviReadError::FrameUnreadable; break;
    case FramesToGifResult::DocumentChanged: r.documentChanged = true; break;
    case FramesToGifResult::NoSurface: r.error = AviReadError::OverLimit; return false;
    }
    r.direct = stream.direct;
    return result == FramesToGifResult::Done;
}

}  // namespace

bool ImportAviToGif(const std::filesystem::path& path, GifDocument& gif, ProgressBar& progress, UiPort& ui,
                    Ditherer& dither, AviToGifReport* report, const AviReadLimits& limits)
{
    AviReader reader;
    const AviReadError opened = reader.open(path, limits);
    return importFrom(reader, opened, gif, progress, ui, dither, report);
}

bool ImportAviToGif(std::span<const std::uint8_t> bytes, GifDocument& gif, ProgressBar& progress, UiPort& ui,
                    Ditherer& dither, AviToGifReport* report, const AviReadLimits& limits)
{
    AviReader reader;
    const AviReadError opened = reader.open(bytes, limits);
    return importFrom(reader, opened, gif, progress, ui, dither, report);
}

AviGifFrames::AviGifFrames(std::filesystem::path path, const AviReadLimits& limits)
    : m_path(std::move(path)), m_limits(limits)
{
    if (reopen()) {
        const AviStreamInfo& stream = m_reader->stream();
        m_frames = int(std::min<std::int64_t>(stream.frames, m_limits.maxFrames));
        m_width = stream.width;
        m_height = stream.height;
        m_delay = stream.delay;
    }
}

bool AviGifFrames::reopen()
{
    m_reader = std::make_unique<AviReader>();
    m_error = m_reader->open(m_path, m_limits);
    m_next = 0;
    return m_error == AviReadError::None;
}

bool AviGifFrames::frame(int index, Dib& surface)
{
    if (index < 0 || index >= m_frames)
        return false;
    if ((index < m_next || !m_reader) && !reopen())
        return false;
    if (surface.Width() != m_width || surface.Height() != m_height || surface.BPP() != 32)
        if (!surface.Create(m_width, m_height, 32))
            return false;
    const BgrxFrame target{surface.Width(), surface.Height(), {surface.bits(), static_cast<std::size_t>(surface.Size())}};
    while (m_next <= index) {
        if (!m_reader->readFrame(target) || !m_reader->drawFrame(target)) {
            m_reader.reset();
            return false;
        }
        ++m_next;
    }
    return true;
}

}  // namespace vantorell
