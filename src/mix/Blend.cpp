#include "mix/Blend.h"

#include "platform/Conversions.h"

#include <cmath>

namespace vantorell {

namespace {

int nearest(double v) { return toInt32(v); }

int alphaOf(std::int32_t blendFunction) { return (blendFunction >> 16) & 0xFF; }

}  // namespace

void StretchToBox(WorkSurface& box, const Picture& picture)
{
    box.paintPicture(picture, 0, 0, box.drawableWidth(), box.drawableHeight());
    box.setPicture(box.imageAsPicture());
    box.refresh();
}

void BlendPictures(WorkSurface& picDest, WorkSurface& pic1, WorkSurface& pic2, const Picture& BlendSource1,
                   const Picture& BlendSource2, int startLine, double orientation)
{
    picDest.clear();
    pic1.setPicture(BlendSource1);
    StretchToBox(pic1, BlendSource1);
    StretchToBox(pic2, BlendSource2);
    GradientAlphaBlend(picDest.drawing(), picDest.drawableWidth(), picDest.drawableHeight(), pic2.image(),
                       pic2.drawableWidth(), pic2.drawableHeight(), double(startLine), kBlendEndLine, orientation);
    picDest.refresh();
}

std::vector<BlendStrip> GradientStrips(double destWidth, double destHeight, double srcWidth, double srcHeight,
                                       double startLine, double endLine, double orientation)
{
    std::vector<BlendStrip> strips;
    const double range = endLine - startLine;
    if (range <= 0)
        return strips;
    const double step = 256.0 / range;
    const bool horizontal = orientation == kBlendHorizontal;
    if (!horizontal && orientation != kBlendVertical)
        return strips;

    // Each step moves the strip by (range / 256) x step = 1 pixel and raises the alpha by step;
    // the counter accumulates in double precision, which fixes the number of strips.
    for (double c = 1.0; c <= 256.0; c += step) {
        BlendStrip strip;
        strip.alpha = alphaOf(MakeBlendFunction(c - 1));
        const int p = nearest(startLine + (range / 256.0) * c);
        if (horizontal) {
            const int width = nearest(destWidth / 256.0);   // the source strip takes the destination width too
            strip.destination = {p, 0, width, nearest(destHeight)};
            strip.source = {p, 0, width, nearest(srcHeight)};
        } else {
            strip.destination = {0, p, nearest(destWidth), nearest(destHeight / 256.0 + 1)};
            strip.source = {0, p, nearest(srcWidth), nearest(srcHeight / 256.0 + 1)};
        }
        strips.push_back(strip);
    }

    BlendStrip last;
    last.alpha = alphaOf(MakeBlendFunction(255));
    const int e = nearest(endLine);
    if (horizontal) {
        last.destination = {e, 0, nearest(destWidth - endLine), nearest(destHeight)};
        last.source = {e, 0, nearest(srcWidth - endLine), nearest(destHeight)};
    } else {
        last.destination = {0, e, nearest(destWidth), nearest(destHeight - endLine)};
        last.source = {0, e, nearest(srcWidth), nearest(destHeight - endLine)};
    }
    strips.push_back(last);
    return strips;
}

void GradientAlphaBlend(Bitmap& destination, double destWidth, double destHeight, const Bitmap& source,
                        double srcWidth, double srcHeight, double startLine, double endLine, double orientation)
{
    for (const BlendStrip& strip :
         GradientStrips(destWidth, destHeight, srcWidth, srcHeight, startLine, endLine, orientation))
        AlphaBlendConstant(destination, strip.destination, source, strip.source, strip.alpha);
}

std::int32_t MakeBlendFunction(double alpha)
{
    if (alpha > 255)
        alpha = 255;
    return std::int32_t(toByte(alpha)) * 65536;   // NaN and negatives raise Overflow
}

}  // namespace vantorell
