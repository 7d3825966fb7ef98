#include "job/AviToGif.h"

#include "dib/Dib.h"
#include "gif/FramesToGif.h"

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

}  // namespace vantorell
