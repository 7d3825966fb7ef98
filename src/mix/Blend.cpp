#include "mix/Blend.h"

#include "platform/Conversions.h"

#include <cmath>

namespace vantorell {

namespace {

int nearest(double v) { return toInt32(v); }

int alphaOf(std::int32_t blendFunction) { return (blendFunction >> 16) & 0xFF; }

}  // namespace

void stretchToBox(WorkSurface& box, const Picture& picture)
{
    box.paintPicture(picture, 0, 0, box.drawableWidth(), box.drawableHeight());
    box.setPicture(box.imageAsPicture());
    box.refresh();
}

void blendPictures(WorkSurface& canvas, WorkSurface& firstBox, WorkSurface& secondBox, const Picture& firstSource,
                   const Picture& secondSource, int startLine, BlendOrientation orientation)
{
    canvas.clear();
    firstBox.setPicture(firstSource);
    stretchToBox(firstBox, firstSource);
    stretchToBox(secondBox, secondSource);
    gradientAlphaBlend(canvas.drawing(), canvas.drawableWidth(), canvas.drawableHeight(), secondBox.image(),
                       secondBox.drawableWidth(), secondBox.drawableHeight(), double(startLine), kBlendEndLine,
                       orientation);
    canvas.refresh();
}

std::vector<BlendStrip> gradientStrips(double destWidth, double destHeight, double srcWidth, double srcHeight,
                                       double startLine, double endLine, BlendOrientation orientation)
{
    std::vector<BlendStrip> strips;
    const double range = endLine - startLine;
    if (range <= 0)
        return strips;
    const double step = 256.0 / range;
    const bool horizontal = orientation == BlendOrientation::Horizontal;
    if (!horizontal && orientation != BlendOrientation::Vertical)
        return strips;

    // Each step moves the strip by (range / 256) x step = 1 pixel and raises the alpha by step;
    // the counter accumulates in double precision, which fixes the number of strips.
    for (double counter = 1.0; counter <= 256.0; counter += step) {
        BlendStrip strip;
        strip.alpha = alphaOf(makeBlendFunction(counter - 1));
        const int line = nearest(startLine + (range / 256.0) * counter);
        if (horizontal) {
            const int width = nearest(destWidth / 256.0);   // the source strip takes the destination width too
            strip.destination = {line, 0, width, nearest(destHeight)};
            strip.source = {line, 0, width, nearest(srcHeight)};
        } else {
            strip.destination = {0, line, nearest(destWidth), nearest(destHeight / 256.0 + 1)};
            strip.source = {0, line, nearest(srcWidth), nearest(srcHeight / 256.0 + 1)};
        }
        strips.push_back(strip);
    }

    BlendStrip last;
    last.alpha = alphaOf(makeBlendFunction(255));
    const int end = nearest(endLine);
    if (horizontal) {
        last.destination = {end, 0, nearest(destWidth - endLine), nearest(destHeight)};
        last.source = {end, 0, nearest(srcWidth - endLine), nearest(destHeight)};
    } else {
        last.destination = {0, end, nearest(destWidth), nearest(destHeight - endLine)};
        last.source = {0, end, nearest(srcWidth), nearest(destHeight - endLine)};
    }
    strips.push_back(last);
    return strips;
}

void gradientAlphaBlend(Bitmap& destination, double destWidth, double destHeight, const Bitmap& source,
                        double srcWidth, double srcHeight, double startLine, double endLine,
                        BlendOrientation orientation)
{
    for (const BlendStrip& strip :
         gradientStrips(destWidth, destHeight, srcWidth, srcHeight, startLine, endLine, orientation))
        alphaBlendConstant(destination, strip.destination, source, strip.source, strip.alpha);
}

std::int32_t makeBlendFunction(double alpha)
{
    if (alpha > 255)
        alpha = 255;
    return std::int32_t(toByte(alpha)) * 65536;   // NaN and negatives raise Overflow
}

}  // namespace vantorell
