#include "api/Convert.h"
#include "api/Requests.h"
#include "dib/Dib.h"
#include "gif/GifEncoder.h"
#include "vantorell/gif.h"

namespace vantorell::api {

namespace {

// The caller's frames as the encoder reads them: 32-bit surfaces, blue, green, red, 0.
class ImageFrames final : public GifFrameProvider {
public:
    explicit ImageFrames(std::span<const Image> frames) : m_frames(frames) {}
    int frameCount() const override { return int(m_frames.size()); }
    int width() const override { return m_frames[0].width(); }
    int height() const override { return m_frames[0].height(); }
    bool frame(int index, Dib& surface) override
    {
        const Image& image = m_frames[std::size_t(index)];
        if (surface.width() != image.width() || surface.height() != image.height() || surface.BPP() != 32)
            if (!surface.create(image.width(), image.height(), 32))
                return false;
        const bool rgb = image.format() == PixelFormat::Rgb24;
        for (int y = 0; y < image.height(); ++y) {
            const std::uint8_t* in = image.row(y);
            std::uint8_t* out = surface.scanline(y);
            for (int x = 0; x < image.width(); ++x, out += 4) {
                out[0] = rgb ? in[3 * x + 2] : in[4 * x];
                out[1] = in[(rgb ? 3 : 4) * x + 1];
                out[2] = rgb ? in[3 * x] : in[4 * x + 2];
                out[3] = 0;
            }
        }
        return true;
    }

private:
    std::span<const Image> m_frames;
};

void checkFrames(std::span<const Image> frames)
{
    if (frames.empty())
        detail::invalid("a GIF needs at least one frame");
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].empty())
            detail::invalid("frame " + std::to_string(i) + " is empty");
        if (frames[i].width() != frames[0].width() || frames[i].height() != frames[0].height())
            throw Error(ErrorCode::SizeMismatch, "frame " + std::to_string(i) + " is not the first frame's size");
    }
}

[[noreturn]] void throwStatus(GifEncodeStatus status)
{
    switch (status) {
    case GifEncodeStatus::Stopped: throw Error(ErrorCode::Cancelled, "the GIF was cancelled");
    case GifEncodeStatus::NoFrames: detail::invalid("a GIF needs at least one frame");
    case GifEncodeStatus::FrameUnreadable: throw Error(ErrorCode::OutOfMemory, "a frame could not be read");
    default: throw Error(ErrorCode::Failed, "the GIF's palette could not be made");
    }
}

}  // namespace

std::vector<std::uint8_t> encodeGif(std::span<const Image> frames, const GifOptions& options,
                                    const StepCallback& progress)
{
    checkFrames(frames);
    const vantorell::GifOptions choices = detail::engineGifOptions(options);
    ImageFrames provider(frames);
    StepProgress steps;
    if (progress)
        steps = [&](std::int64_t done, std::int64_t total) { return progress(int(done), int(total)); };
    return detail::translatingErrors([&] {
        if (choices.maxSize) {
            GifFitResult fit = fitGifToSize(provider, *choices.maxSize, choices.delay, steps);
            if (fit.status != GifEncodeStatus::Done)
                throwStatus(fit.status);
            if (!fit.fits)
                throw Error(ErrorCode::Failed, "no GIF of these frames fits in " + std::to_string(*choices.maxSize) +
                                                   " bytes; the smallest is " + std::to_string(fit.smallest));
            return std::move(fit.bytes);
        }
        std::vector<std::uint8_t> bytes;
        if (const GifEncodeStatus status = encodeGifAnimation(provider, choices, bytes, steps);
            status != GifEncodeStatus::Done)
            throwStatus(status);
        return bytes;
    });
}

std::int64_t estimateGifSize(std::span<const Image> frames, const GifOptions& options)
{
    checkFrames(frames);
    vantorell::GifOptions choices = detail::engineGifOptions(options);
    choices.maxSize.reset();
    ImageFrames provider(frames);
    const std::optional<std::int64_t> size =
        detail::translatingErrors([&] { return vantorell::estimateGifSize(provider, choices); });
    if (!size)
        throw Error(ErrorCode::Failed, "the GIF's size could not be estimated");
    return *size;
}

}  // namespace vantorell::api
