// FramesToGif: 32-bit frames into the frames of a GifDocument. Each frame is reduced to 8 bits
// with one palette shared by the whole animation (the first frame makes it) and stored as a GIF
// frame of one size and one delay.
#pragma once

#include <cstdint>

namespace vantorell {

class Dib;
class Ditherer;
class GifDocument;
class ProgressBar;
class UiPort;

// Where the frames come from, in order. Each frame is taken in two steps with the frame's yield
// between them, so that a frame that cannot be read ends the animation before its progress step.
class GifFrameSource {
public:
    virtual ~GifFrameSource() = default;
    // Reads the next frame; a source may put its pixels into `surface` here already. False when
    // the frame cannot be read.
    virtual bool readFrame(Dib& surface) = 0;
    // Puts the frame read last into `surface` (32 bits per pixel: blue, green, red and a fourth
    // byte that is never read), unless readFrame already did. False when it cannot.
    virtual bool drawFrame(Dib& surface) = 0;
};

// The animation to make: n frames of W x H, each shown for `delay` hundredths of a second.
struct GifAnimationShape {
    std::int64_t frames = 0;
    int width = 0, height = 0;
    int delay = 0;
};

enum class FramesToGifResult {
    Done,              // every frame is in the document (none when the shape has no frames)
    FrameUnreadable,   // the source failed a frame, which stays in the document, blank
    DocumentChanged,   // a handler changed the document while a frame yielded
    NoSurface,         // the 32-bit W x H drawing surface could not be made
};

// Fills `gif` (which the caller has emptied) with the shape's frames: each one drawn into a
// 32-bit surface by `source` and dithered into the GIF frame through `dither` with its current
// palette and dither modes, delay as the shape gives, disposal 3, the palette as the global
// palette and a copy in every frame's local palette storage (LocalPaletteUsed stays false). The
// progress bar runs from 1 to n with one yield per frame and ends at 0. A failed frame or a
// changed document ends the frames but not the document: the screen size, pixel aspect and
// global palette are set as after a full run. Without a surface only the progress bar's maximum
// has been set; with no frames nothing is touched.
FramesToGifResult framesToGif(GifFrameSource& source, const GifAnimationShape& shape, GifDocument& gif,
                              ProgressBar& progress, UiPort& ui, Ditherer& dither);

}  // namespace vantorell
