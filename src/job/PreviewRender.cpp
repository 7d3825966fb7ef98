#include "job/PreviewRender.h"

#include "colour/Ditherer.h"
#include "colour/Palette8.h"
#include "dib/Dib.h"
#include "job/FadeMorph.h"
#include "job/MixJob.h"
#include "mix/Blend.h"
#include "mix/MorphEngine.h"
#include "mix/Overlay.h"
#include "mix/PixelBuffer.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"
#include "platform/SilentUi.h"
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

Picture LoadPreviewPicture(const std::filesystem::path& file, int coverWidth, int coverHeight)
{
    return LoadPicture(file, DecodeRequest{coverWidth, coverHeight});
}

Picture ReduceToFit(const Picture& picture, int maxWidth, int maxHeight)
{
    if (picture.empty() || (picture.width() <= maxWidth && picture.height() <= maxHeight))
        return picture;
    const double scale = std::min(double(maxWidth) / picture.width(), double(maxHeight) / picture.height());
    const int width = std::max(1, int(std::lround(picture.width() * scale)));
    const int height = std::max(1, int(std::lround(picture.height() * scale)));
    WorkSurface reduced(width, height);
    StretchToBox(reduced, picture);
    return Picture(reduced.image(), picture.sourceWidth(), picture.sourceHeight());
}

Picture MatchScale(const Picture& first, const Picture& second)
{
    if (first.empty() || second.empty() || first.sourceWidth() <= 0 || second.sourceWidth() <= 0)
        return second;
    const double scale = double(first.width()) / double(first.sourceWidth());
    const int width = std::max(1, int(std::lround(second.sourceWidth() * scale)));
    const int height = std::max(1, int(std::lround(second.sourceHeight() * scale)));
    if (width == second.width() && height == second.height())
        return second;
    WorkSurface scaled(width, height);
    StretchToBox(scaled, second);
    return Picture(scaled.image());
}

Bitmap RenderBlendPreview(const Picture& image1, const Picture& image2, BlendDirection direction, int start)
{
    // The job's steps 124 to 158 for one direction (job/MixJob.cpp, blendSteps).
    const bool exchanged = direction == BlendDirection::Right || direction == BlendDirection::Bottom;
    const BlendOrientation orientation = (direction == BlendDirection::Left || direction == BlendDirection::Right)
                                             ? BlendOrientation::Horizontal
                                             : BlendOrientation::Vertical;
    WorkSurface base(kBlendCanvasWidth, kBlendCanvasHeight), fadedIn(kBlendCanvasWidth, kBlendCanvasHeight),
        canvas(kBlendCanvasWidth, kBlendCanvasHeight);
    base.setPicture(exchanged ? image2 : image1);
    fadedIn.setPicture(exchanged ? image1 : image2);
    const Picture source1 = base.picture(), source2 = fadedIn.picture();
    StretchToBox(base, base.picture());
    StretchToBox(fadedIn, fadedIn.picture());
    StretchToBox(canvas, base.picture());
    const int limit = canvas.drawableWidth();
    BlendPictures(canvas, base, fadedIn, source1, source2, std::clamp(start, 0, std::max(0, limit)), orientation);
    return canvas.image();
}

Bitmap RenderOverlayPreview(const Picture& image1, const Picture& image2)
{
    // The job's steps 434 to 446 (job/MixJob.cpp, overlaySteps).
    WorkSurface first, second, result;
    first.setAutoSize(true);
    second.setAutoSize(true);
    first.setPicture(image1);
    second.setPicture(image2);
    ProgressBar progress;
    SilentUi ui;
    OverlayPictures(first, second, result, progress, ui);
    return result.image();
}

// ---- Fade -------------------------------------------------------------------------------------

// The job's steps 292 to 330 (job/FadeJob.cpp) on the given pictures.
std::unique_ptr<FadeRenderer> MakeFadeRenderer(const MixRequest& request, int steps, const Picture& image1,
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
        SetupMorphMeshes(mesh1, mesh2, meshStart, meshEnd);
    if (auto why = LayRequestMeshes(request, mesh1, mesh2))
        throw RuntimeError(0, *why);   // told in words; no number belongs to it
    auto renderer = std::make_unique<FadeRenderer>();
    renderer->setTriangles(0, MeshToTriangles(mesh1));
    renderer->setTriangles(1, MeshToTriangles(mesh2));
    TransferPixels(source1, renderer->source(0), PixelTransfer::Capture);
    TransferPixels(source2, renderer->source(1), PixelTransfer::Capture);
    renderer->setFrames(FadeFrames(request, steps));
    return renderer;
}

// ---- GIF --------------------------------------------------------------------------------------

struct GifFramePreview::State {
    Ditherer ditherer;
    Palette8 palette;
    Bitmap paletteFrame;   // the first frame the palette was made from
    GifPalette paletteChoice = GifPalette::Halftone;
    GifDither ditherChoice = GifDither::Ordered;
    bool hasPalette = false;
    Dib source, reduced;
};

GifFramePreview::GifFramePreview() : m_state(std::make_unique<State>()) {}
GifFramePreview::~GifFramePreview() = default;

namespace {

// As job/FadeGif.cpp sets the ditherer from the request.
PaletteMode paletteModeOf(GifPalette palette)
{
    return palette == GifPalette::Halftone ? PaletteMode::Halftone : PaletteMode::Optimal;
}

DitherMode ditherModeOf(GifDither dither)
{
    switch (dither) {
    case GifDither::None: return DitherMode::None;
    case GifDither::Ordered: return DitherMode::Ordered;
    case GifDither::Diffusion: return DitherMode::Diffusion;
    case GifDither::Ordered8: return DitherMode::Ordered;   // the preview's ditherer has the 4 x 4 matrix only
    }
    return DitherMode::Ordered;
}

void toDib(const Bitmap& frame, Dib& dib)
{
    if (dib.Width() != frame.width() || dib.Height() != frame.height() || dib.BPP() != 32)
        if (!dib.Create(frame.width(), frame.height(), 32))
            throw RuntimeError(errnum::OutOfMemory, "Out of memory");
    for (int y = 0; y < frame.height(); ++y) {
        std::uint8_t* row = dib.bits() + std::size_t(y) * std::size_t(dib.BytesPerScanline());
        std::memcpy(row, frame.row(y), frame.stride());
        for (int x = 0; x < frame.width(); ++x)
            row[4 * x + 3] = 0;   // frames read back from the AVI carry no fourth byte
    }
}

}  // namespace

Bitmap GifFramePreview::dither(const Bitmap& frame, const Bitmap& firstFrame, GifPalette palette, GifDither dither)
{
    State& s = *m_state;
    if (frame.empty())
        return {};
    const bool samePalette = s.hasPalette && s.paletteChoice == palette && s.ditherChoice == dither &&
                             s.paletteFrame.sharesPixelsWith(firstFrame);
    s.ditherer.SetPaletteMode(paletteModeOf(palette));
    s.ditherer.SetDitherMode(ditherModeOf(dither));
    if (!samePalette) {
        toDib(firstFrame, s.source);
        s.ditherer.DitherTo8bpp(s.source, s.reduced, s.palette, false);
        s.paletteFrame = firstFrame;
        s.paletteChoice = palette;
        s.ditherChoice = dither;
        s.hasPalette = true;
    }
    toDib(frame, s.source);
    s.ditherer.DitherTo8bpp(s.source, s.reduced, s.palette, true);
    std::vector<std::uint8_t> table;
    s.reduced.GetPalette(table);
    table.resize(256 * 4, 0);
    Bitmap shown = Bitmap::uninitialized(frame.width(), frame.height());
    for (int y = 0; y < frame.height(); ++y) {
        const std::uint8_t* in = s.reduced.bits() + std::size_t(y) * std::size_t(s.reduced.BytesPerScanline());
        std::uint8_t* out = shown.mutableRow(y);
        for (int x = 0; x < frame.width(); ++x) {
            const std::uint8_t* entry = &table[std::size_t(in[x]) * 4];
            out[4 * x] = entry[0];
            out[4 * x + 1] = entry[1];
            out[4 * x + 2] = entry[2];
            out[4 * x + 3] = 0;
        }
    }
    return shown;
}

std::uint64_t UncompressedAviSize(int width, int height, int frames)
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
