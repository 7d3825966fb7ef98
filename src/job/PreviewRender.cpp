#include "job/PreviewRender.h"

#include "dib/Dib.h"
#include "job/FadeMorph.h"
#include "job/MixJob.h"
#include "mix/Blend.h"
#include "mix/MorphEngine.h"
#include "mix/Overlay.h"
#include "mix/PixelBuffer.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"
#include "job/SilentUi.h"
#include "platform/WorkSurface.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vantorell {

namespace {

// The Fade works on pictures whose fourth byte is clear (job/FadeJob.cpp decodes them so).
Picture withClearFourthByte(const Picture& picture)
{
    Bitmap bits = picture.bitmap();
    bits.clearFourthBytes();   // a copy only when some byte was set: the caller keeps its picture
    return Picture(std::move(bits));
}

}  // namespace

Picture loadPreviewPicture(const std::filesystem::path& file, int coverWidth, int coverHeight)
{
    return loadPicture(file, DecodeRequest{coverWidth, coverHeight});
}

Picture reduceToFit(const Picture& picture, int maxWidth, int maxHeight)
{
    if (picture.empty() || (picture.width() <= maxWidth && picture.height() <= maxHeight))
        return picture;
    const double scale = std::min(double(maxWidth) / picture.width(), double(maxHeight) / picture.height());
    const int width = std::max(1, int(std::lround(picture.width() * scale)));
    const int height = std::max(1, int(std::lround(picture.height() * scale)));
    WorkSurface reduced(width, height);
    stretchToBox(reduced, picture);
    return Picture(reduced.image(), picture.sourceWidth(), picture.sourceHeight());
}

Picture matchScale(const Picture& first, const Picture& second)
{
    if (first.empty() || second.empty() || first.sourceWidth() <= 0 || second.sourceWidth() <= 0)
        return second;
    const double scale = double(first.width()) / double(first.sourceWidth());
    const int width = std::max(1, int(std::lround(second.sourceWidth() * scale)));
    const int height = std::max(1, int(std::lround(second.sourceHeight() * scale)));
    if (width == second.width() && height == second.height())
        return second;
    WorkSurface scaled(width, height);
    stretchToBox(scaled, second);
    return Picture(scaled.image());
}

PreviewColours previewColours(const Picture& first, const Picture& second, ColourChoice choice, bool jpegResult)
{
    PreviewColours colours{first, second, {}};
    if (choice == ColourChoice::Ignore)
        return colours;
    const ColourProfile profiles[] = {first.colourProfile(), second.colourProfile()};
    try {
        const WorkingSpace space = planWorkingSpace(profiles, choice, jpegResult);
        colours.first = space.conversions[0].converted(first);
        colours.second = space.conversions[1].converted(second);
        if (jpegResult)
            colours.toDisplay = conversionToSrgb(space.resultProfile);
    } catch (const std::exception&) {
        colours = {first, second, {}};   // as the job does: the numbers mixed as they are
    }
    return colours;
}

namespace {

// The canvas reduced to fit in maxWidth x maxHeight, and the seam and start line with it.
struct ReducedBlend {
    BlendCanvas canvas;
    BlendSeam seam;
    int start = 0;
};

ReducedBlend reducedBlend(const BlendCanvas& full, BlendOrientation orientation, int start, int maxWidth,
                          int maxHeight)
{
    ReducedBlend reduced{full, blendSeam(full.width, full.height, orientation), start};
    if (maxWidth <= 0 || maxHeight <= 0 || full.isDefaultSize() || (full.width <= maxWidth && full.height <= maxHeight))
        return reduced;
    const double scale = std::min(double(maxWidth) / full.width, double(maxHeight) / full.height);
    reduced.canvas.width = std::max(1, int(std::lround(full.width * scale)));
    reduced.canvas.height = std::max(1, int(std::lround(full.height * scale)));
    const int extent = orientation == BlendOrientation::Vertical ? reduced.canvas.height : reduced.canvas.width;
    reduced.seam = {double(extent), std::max(1, int(std::lround(extent / 256.0)))};
    reduced.start = int(std::lround(start * scale));
    return reduced;
}

}  // namespace

Bitmap renderBlendPreview(const Picture& image1, const Picture& image2, BlendDirection direction, int start,
                          const BlendCanvas& canvasChoice, int maxWidth, int maxHeight)
{
    // The job's steps kBlendLoadBase to kBlendPictures for one direction (job/MixJob.cpp,
    // blendSteps; labels::start).
    const bool exchanged = direction == BlendDirection::Right || direction == BlendDirection::Bottom;
    const BlendOrientation orientation = blendOrientationOf(direction);
    const BlendCanvas full = clampedCanvas(canvasChoice);
    const ReducedBlend blend = reducedBlend(full, orientation, start, maxWidth, maxHeight);
    const int width = blend.canvas.width, height = blend.canvas.height;
    WorkSurface base(width, height), fadedIn(width, height), canvas(width, height);
    base.setPicture(exchanged ? image2 : image1);
    fadedIn.setPicture(exchanged ? image1 : image2);
    const Picture source1 = base.picture(), source2 = fadedIn.picture();
    layOnBox(base, base.picture(), full.fit);
    layOnBox(fadedIn, fadedIn.picture(), full.fit);
    stretchToBox(canvas, base.picture());
    const int limit = int(blend.seam.endLine);
    blendPictures(canvas, base, fadedIn, source1, source2, std::clamp(blend.start, 0, std::max(0, limit)),
                  orientation, full.fit, blend.seam);
    return canvas.image();
}

Bitmap renderOverlayPreview(const Picture& image1, const Picture& image2)
{
    // The job's steps kLoadOverlay1 to kOverlayPictures (job/MixJob.cpp, overlaySteps;
    // labels::start).
    WorkSurface first, second, result;
    first.setAutoSize(true);
    second.setAutoSize(true);
    first.setPicture(image1);
    second.setPicture(image2);
    overlayPictures(first, second, result, {});
    return result.image();
}

// ---- Fade -------------------------------------------------------------------------------------

// The job's steps kLoadImage1 to kSetProgressMax (job/FadeJob.cpp; labels::start) on the given
// pictures.
std::unique_ptr<FadeRenderer> makeFadeRenderer(const MixRequest& request, int steps, const Picture& image1,
                                               const Picture& image2)
{
    const Picture first = withClearFourthByte(image1), second = withClearFourthByte(image2);
    WorkSurface meshStart, meshEnd, source1, source2;
    meshStart.setPicture(first);
    meshEnd.setPicture(second);
    source1.setAutoSize(true);
    source1.setPicture(first);
    source2.setAutoSize(true);
    source2.setPicture(second);
    meshStart.setAutoSize(true);
    meshEnd.setAutoSize(true);
    MorphMesh mesh1, mesh2;
    if (!meshEnd.picture().empty() && !meshStart.picture().empty())
        setupMorphMeshes(mesh1, mesh2, meshStart, meshEnd);
    if (auto why = layRequestMeshes(request, mesh1, mesh2))
        throw RuntimeError(0, *why);   // told in words; no number belongs to it
    auto renderer = std::make_unique<FadeRenderer>();
    renderer->setTriangles(0, meshToTriangles(mesh1));
    renderer->setTriangles(1, meshToTriangles(mesh2));
    transferPixels(source1, renderer->source(0), PixelTransfer::Capture);
    transferPixels(source2, renderer->source(1), PixelTransfer::Capture);
    renderer->setFrames(fadeFrames(request, steps));
    return renderer;
}

// ---- GIF --------------------------------------------------------------------------------------

namespace {

void toDib(const Bitmap& frame, Dib& dib)
{
    if (dib.width() != frame.width() || dib.height() != frame.height() || dib.BPP() != 32)
        if (!dib.create(frame.width(), frame.height(), 32))
            throw RuntimeError(errnum::OutOfMemory, "Out of memory");
    for (int y = 0; y < frame.height(); ++y) {
        std::uint8_t* row = dib.scanline(y);
        std::memcpy(row, frame.row(y), std::size_t(frame.width()) * 4);
        for (int x = 0; x < frame.width(); ++x)
            row[4 * x + 3] = 0;   // the GIF's frames carry no fourth byte
    }
}

}  // namespace

bool FadePreviewFrames::frame(int index, Dib& surface)
{
    const Bitmap frame = m_fade.render(index);
    if (frame.empty())
        return false;
    toDib(frame, surface);
    return true;
}

struct GifFramePreview::State {
    std::unique_ptr<GifEncoder> encoder;   // its palette made, nothing else kept
    GifOptions choices;
    int count = 0, width = 0, height = 0;
    Dib frame, shown;
};

GifFramePreview::GifFramePreview() : m_state(std::make_unique<State>()) {}
GifFramePreview::~GifFramePreview() = default;

void GifFramePreview::forgetFrames() { m_state->encoder.reset(); }

Bitmap GifFramePreview::shown(GifFrameProvider& frames, int index, const GifOptions& options)
{
    State& s = *m_state;
    // Optimising and lossy LZW change how a frame is stored, not the indices it shows.
    GifOptions choices;
    choices.palette = options.palette;
    choices.dither = options.dither;
    if (!s.encoder || s.choices != choices || s.count != frames.frameCount() || s.width != frames.width() ||
        s.height != frames.height()) {
        s.encoder.reset();
        if (frames.width() <= 0 || frames.height() <= 0 || frames.frameCount() <= 0)
            return {};
        auto encoder = std::make_unique<GifEncoder>(choices, frames.width(), frames.height());
        if (encoder->needsPalette() && encoder->preparePalette(frames) != GifEncodeStatus::Done)
            return {};
        // The first-frame palette is made from frame 0, as the GIF makes it.
        if (choices.palette == GifPalette::Optimal &&
            (!frames.frame(0, s.frame) || encoder->addFrame(s.frame) != GifEncodeStatus::Done))
            return {};
        s.encoder = std::move(encoder);
        s.choices = choices;
        s.count = frames.frameCount();
        s.width = frames.width();
        s.height = frames.height();
    }
    if (!frames.frame(index, s.frame) || s.encoder->previewFrame(s.frame, s.shown) != GifEncodeStatus::Done)
        return {};
    Bitmap shown = Bitmap::uninitialized(s.width, s.height);
    for (int y = 0; y < s.height; ++y)
        std::memcpy(shown.mutableRow(y), s.shown.scanline(y), std::size_t(s.width) * 4);
    return shown;
}

std::uint64_t uncompressedAviSize(int width, int height, int frames)
{
    // Fixed by the AVI muxer for one uncompressed video stream: the headers with their reserved
    // OpenDML index space, 8 bytes of chunk header per frame and 16 bytes of index entry.
    const std::uint64_t rowBytes = (std::uint64_t(std::max(width, 0)) * 3 + 3) & ~std::uint64_t(3);
    const std::uint64_t frameBytes = rowBytes * std::uint64_t(std::max(height, 0));
    const std::uint64_t n = std::uint64_t(std::max(frames, 0));
    constexpr std::uint64_t kAviFixedBytes = 5686;
    return kAviFixedBytes + n * (frameBytes + 8 + 16);
}

}  // namespace vantorell
