#include "gif/FramesToGif.h"

#include "colour/Ditherer.h"
#include "colour/Palette8.h"
#include "dib/Dib.h"
#include "gif/GifDocument.h"
#include "platform/Controls.h"
#include "platform/UiPort.h"

#include <cstring>

namespace vantorell {

namespace {

// The document's screen and global palette, set after the last frame, also after a failed one.
void finishDocument(GifDocument& gif, const GifAnimationShape& shape, const Palette8& palette)
{
    gif.setScreenWidth(shape.width);
    gif.setScreenHeight(shape.height);
    gif.setScreenPixelAspectRatio(1.0f);
    gif.setGlobalPaletteExists(true);
    gif.setGlobalPaletteEntries(palette.Entries());
    if (const std::uint8_t* entries = palette.entryData())
        std::memcpy(gif.globalPaletteData(), entries, std::size_t(palette.Entries()) * 4);
}

}  // namespace

FramesToGifResult framesToGif(GifFrameSource& source, const GifAnimationShape& shape, GifDocument& gif,
                              ProgressBar& progress, UiPort& ui, Ditherer& dither)
{
    const std::int64_t n = shape.frames;
    if (n <= 0)
        return FramesToGifResult::Done;
    progress.setMax(static_cast<double>(n));
    const int W = shape.width, H = shape.height;
    Dib surface;
    if (!surface.Create(W, H, 32))
        return FramesToGifResult::NoSurface;
    Palette8 palette;

    FramesToGifResult result = FramesToGifResult::Done;
    for (int i = 1; i <= n; ++i) {
        gif.FrameInsert(i, W, H);
        if (!source.readFrame(surface)) {
            result = FramesToGifResult::FrameUnreadable;
            break;
        }
        progress.setValue(i);
        ui.yield();
        if (gif.FramesCount() != i) {
            result = FramesToGifResult::DocumentChanged;
            break;
        }
        if (!source.drawFrame(surface)) {
            result = FramesToGifResult::FrameUnreadable;
            break;
        }
        dither.DitherTo8bpp(surface, gif.frameImage(i), palette, i > 1);
        if (const std::uint8_t* entries = palette.entryData())
            std::memcpy(gif.localPaletteData(i), entries, std::size_t(palette.Entries()) * 4);
        gif.setFrameDisposalMethod(i, 3);   // restore to previous
        gif.setFrameDelay(i, shape.delay);
    }
    finishDocument(gif, shape, palette);
    progress.setValue(0);
    return result;
}

}  // namespace vantorell
