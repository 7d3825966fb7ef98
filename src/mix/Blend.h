// The Blend mix: the second picture faded in over the first on a 729 x 425 canvas, by a ramp of
// constant-alpha strips from a start line to a fixed end line, across columns (horizontal) or
// rows (vertical).
#pragma once

#include "platform/Bitmap.h"
#include "platform/Picture.h"
#include "platform/RasterOps.h"
#include "platform/WorkSurface.h"

#include <cstdint>
#include <vector>

namespace vantorell {

inline constexpr double kBlendEndLine = 729.0;

// Which way the ramp runs; any other value draws nothing.
enum class BlendOrientation {
    Horizontal = 0,   // across columns: the second picture comes in from the left or the right
    Vertical = 1,     // across rows: from the top or the bottom
};

// Paints the picture over the box's whole drawable area (a plain stretch), makes the drawn
// image the box's picture and refreshes the box.
void stretchToBox(WorkSurface& box, const Picture& picture);

// Draws the blend of secondBox over canvas: clears canvas back to its picture, re-stretches
// firstSource into firstBox and secondSource into secondBox, then runs the ramp from startLine
// (the blend-size bar) to kBlendEndLine.
void blendPictures(WorkSurface& canvas, WorkSurface& firstBox, WorkSurface& secondBox, const Picture& firstSource,
                   const Picture& secondSource, int startLine, BlendOrientation orientation);

// One constant-alpha strip of the ramp: where it lands, where it comes from, its alpha.
struct BlendStrip {
    Rect destination;
    Rect source;
    int alpha = 0;
};

// The strips GradientAlphaBlend draws, in drawing order (the final opaque strip included, even
// when it is empty). All arithmetic in double precision, rounding to nearest, ties to even.
std::vector<BlendStrip> gradientStrips(double destWidth, double destHeight, double srcWidth, double srcHeight,
                                       double startLine, double endLine, BlendOrientation orientation);

// Draws the strips of the source over the destination, each composited on the result of the
// one before.
void gradientAlphaBlend(Bitmap& destination, double destWidth, double destHeight, const Bitmap& source,
                        double srcWidth, double srcHeight, double startLine, double endLine,
                        BlendOrientation orientation);

// The 32-bit blend function value for a constant alpha: operation 0 (source over), flags 0,
// the alpha (above 255 taken as 255, then rounded to a byte, ties to even), alpha format 0.
// That is alpha x 65536. Raises Overflow for an alpha that rounds below 0.
std::int32_t makeBlendFunction(double alpha);

}  // namespace vantorell
