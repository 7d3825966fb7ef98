// The Blend mix: the second picture faded in over the first on a canvas (729 x 425 unless asked
// otherwise), by a ramp of constant-alpha strips from a start line to an end line, across
// columns (horizontal) or rows (vertical).
#pragma once

#include "platform/Bitmap.h"
#include "platform/Picture.h"
#include "platform/RasterOps.h"
#include "platform/WorkSurface.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell {

inline constexpr double kBlendEndLine = 729.0;

// The default canvas, and the sides a canvas may have.
inline constexpr int kBlendCanvasWidth = 729;
inline constexpr int kBlendCanvasHeight = 425;
inline constexpr int kBlendCanvasMinSide = 16;
inline constexpr int kBlendCanvasMaxSide = 8192;

// How each picture is laid on the canvas: stretched over all of it, or scaled to cover it with
// its proportions kept and centred (what sticks out is cut off).
enum class BlendFit { Stretch, Crop };

struct BlendCanvas {
    int width = kBlendCanvasWidth;
    int height = kBlendCanvasHeight;
    BlendFit fit = BlendFit::Stretch;

    bool isDefaultSize() const { return width == kBlendCanvasWidth && height == kBlendCanvasHeight; }
    bool operator==(const BlendCanvas&) const = default;
};

// The canvas with each side brought within kBlendCanvasMinSide .. kBlendCanvasMaxSide.
BlendCanvas clampedCanvas(BlendCanvas canvas);
// "WxH" (an "X" or a blank around it taken too) with both sides within the limits; nullopt for
// anything else. The fit is left as given.
std::optional<BlendCanvas> parseBlendCanvasSize(std::string_view text, BlendCanvas canvas = {});
std::string blendCanvasSizeText(const BlendCanvas& canvas);   // "729x425"

// Which way the ramp runs; any other value draws nothing.
enum class BlendOrientation {
    Horizontal = 0,   // across columns: the second picture comes in from the left or the right
    Vertical = 1,     // across rows: from the top or the bottom
};

// Where the ramp ends and how wide (or tall) its strips are. The default canvas keeps the
// classic seam: the end line 729 in both orientations, strips sized from the canvas (no
// stripSize). Any other canvas lays the seam along its own extent in the seam's direction.
struct BlendSeam {
    double endLine = kBlendEndLine;
    std::optional<int> stripSize;
};

// The line where the ramp ends on a canvas of this size: 729 on the default canvas whatever the
// orientation, else the canvas's width (horizontal) or height (vertical). Blend Size ranges
// from 0 to it.
int blendSeamExtent(int canvasWidth, int canvasHeight, BlendOrientation orientation);
// The seam of a canvas of this size: on any canvas but the default, it ends at the extent and
// its strips are extent / 256 rounded (at least one pixel).
BlendSeam blendSeam(int canvasWidth, int canvasHeight, BlendOrientation orientation);

// Paints the picture over the box's whole drawable area (a plain stretch), makes the drawn
// image the box's picture and refreshes the box.
void stretchToBox(WorkSurface& box, const Picture& picture);
// The same with the fit: Crop paints the picture scaled to cover the box, proportions kept,
// centred; Stretch is stretchToBox.
void layOnBox(WorkSurface& box, const Picture& picture, BlendFit fit);

// Draws the blend of secondBox over canvas: clears canvas back to its picture, lays firstSource
// into firstBox and secondSource into secondBox with the fit, then runs the ramp from startLine
// (the blend-size bar) to the seam's end line.
void blendPictures(WorkSurface& canvas, WorkSurface& firstBox, WorkSurface& secondBox, const Picture& firstSource,
                   const Picture& secondSource, int startLine, BlendOrientation orientation,
                   BlendFit fit = BlendFit::Stretch, const BlendSeam& seam = {});

// One constant-alpha strip of the ramp: where it lands, where it comes from, its alpha.
struct BlendStrip {
    Rect destination;
    Rect source;
    int alpha = 0;
};

// The strips GradientAlphaBlend draws, in drawing order (the final opaque strip included, even
// when it is empty). All arithmetic in double precision, rounding to nearest, ties to even.
// Without a stripSize the strips are nearest(destWidth / 256) wide across columns and
// nearest(destHeight / 256 + 1) tall across rows; with one, that size in both.
std::vector<BlendStrip> gradientStrips(double destWidth, double destHeight, double srcWidth, double srcHeight,
                                       double startLine, double endLine, BlendOrientation orientation,
                                       std::optional<int> stripSize = std::nullopt);

// Draws the strips of the source over the destination, each composited on the result of the
// one before.
void gradientAlphaBlend(Bitmap& destination, double destWidth, double destHeight, const Bitmap& source,
                        double srcWidth, double srcHeight, double startLine, double endLine,
                        BlendOrientation orientation, std::optional<int> stripSize = std::nullopt);

// The 32-bit blend function value for a constant alpha: operation 0 (source over), flags 0,
// the alpha (above 255 taken as 255, then rounded to a byte, ties to even), alpha format 0.
// That is alpha x 65536. Raises Overflow for an alpha that rounds below 0.
std::int32_t makeBlendFunction(double alpha);

}  // namespace vantorell
