#include "api/Convert.h"
#include "api/Requests.h"
#include "job/PreviewRender.h"
#include "vantorell/mix.h"

namespace vantorell::api {

Image blend(const Image& first, const Image& second, const BlendOptions& options)
{
    const BlendCanvas canvas = detail::blendCanvasOf(options);
    const Picture picture1 = detail::toPicture(first, "the first image");
    const Picture picture2 = detail::toPicture(second, "the second image");
    return detail::translatingErrors([&] {
        const Bitmap result =
            renderBlendPreview(picture1, picture2, detail::engineDirection(options.direction), options.start, canvas);
        return detail::fromBitmap(result, first.format());
    });
}

Image overlay(const Image& first, const Image& second)
{
    const Picture picture1 = detail::toPicture(first, "the first image");
    const Picture picture2 = detail::toPicture(second, "the second image");
    return detail::translatingErrors(
        [&] { return detail::fromBitmap(renderOverlayPreview(picture1, picture2), first.format()); });
}

struct FadeRenderer::State {
    std::unique_ptr<vantorell::FadeRenderer> renderer;
    int width = 0, height = 0;
};

FadeRenderer::FadeRenderer(const Image& first, const Image& second, const FadeOptions& options)
    : m_state(std::make_unique<State>())
{
    MixRequest request;
    detail::applyFadeOptions(options, request);
    const Picture picture1 = detail::toPicture(first, "the first image");
    const Picture picture2 = detail::toPicture(second, "the second image");
    m_state->renderer = detail::translatingErrors(
        [&] { return makeFadeRenderer(request, options.frames, picture1, picture2); });
    m_state->width = first.width();
    m_state->height = first.height();
}

FadeRenderer::~FadeRenderer() = default;
FadeRenderer::FadeRenderer(FadeRenderer&&) noexcept = default;
FadeRenderer& FadeRenderer::operator=(FadeRenderer&&) noexcept = default;

int FadeRenderer::frameCount() const { return m_state ? m_state->renderer->frameCount() : 0; }
int FadeRenderer::width() const { return m_state ? m_state->width : 0; }
int FadeRenderer::height() const { return m_state ? m_state->height : 0; }

Image FadeRenderer::frame(int index, PixelFormat format) const
{
    if (index < 0 || index >= frameCount())
        detail::invalid("frame " + std::to_string(index) + " is outside the fade's " +
                        std::to_string(frameCount()) + " frames");
    return detail::translatingErrors([&] { return detail::fromBitmap(m_state->renderer->render(index), format); });
}

}  // namespace vantorell::api
