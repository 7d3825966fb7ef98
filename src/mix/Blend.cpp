#include "mix/Blend.h"

#include "platform/Conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace vantorell {

namespace {

int nearest(double v) { return toInt32(v); }

int alphaOf(std::int32_t blendFunction) { return (blendFunction >> 16) & 0xFF; }

}  // namespace

BlendCanvas clampedCanvas(BlendCanvas canvas)
{
    canvas.width = std::clamp(canvas.width, kBlendCanvasMinSide, kBlendCanvasMaxSide);
    canvas.height = std::clamp(canvas.height, kBlendCanvasMinSide, kBlendCanvasMaxSide);
    return canvas;
}

std::optional<BlendCanvas> parseBlendCanvasSize(std::string_view text, BlendCanvas canvas)
{
    const auto trimmed = [](std::string_view part) {
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ')
            part.remove_suffix(1);
        return part;
    };
    const auto side = [&](std::string_view part) -> std::optional<int> {
        part = trimmed(part);
        int value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || error != std::errc() || end != part.data() + part.size() ||
            value < kBlendCanvasMinSide || value > kBlendCanvasMaxSide)
            return std::nullopt;
        return value;
    };
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos)
        return std::nullopt;
    const auto width = side(text.substr(0, x)), height = side(text.substr(x + 1));
    if (!width || !height)
        return std::nullopt;
    canvas.width = *width;
    canvas.height = *height;
    return canvas;
}

std::string blendCanvasSizeText(const BlendCanvas& canvas)
{
    return std::to_string(canvas.width) + "x" + std::to_string(canvas.height);
}

int blendSeamExtent(int canvasWidth, int canvasHeight, BlendOrientation orientation)
{
    if (canvasWidth == kBlendCanvasWidth && canvasHeight == kBlendCanvasHeight)
        return int(kBlendEndLine);
    return orientation == BlendOrientation::Vertical ? canvasHeight : canvasWidth;
}

BlendSeam blendSeam(int canvasWidth, int canvasHeight, BlendOrientation orientation)
{
    if (canvasWidth == kBlendCanvasWidth && canvasHeight == kBlendCanvasHeight)
        return {};
    const int extent = blendSeamExtent(canvasWidth, canvasHeight, orientation);
    // A strip narrower than half a pixel would round to nothing and draw no ramp at all.
    return {double(extent), std::max(1, nearest(extent / 256.0))};
}

void stretchToBox(WorkSurface& box, const Picture& picture)
{
    box.paintPicture(picture, 0, 0, box.drawableWidth(), box.drawableHeight());
    box.setPicture(box.imageAsPicture());
    box.refresh();
}

void layOnBox(WorkSurface& box, const Picture& picture, BlendFit fit)
{
    if (fit == BlendFit::Stretch || picture.empty())
        return stretchToBox(box, picture);
    const double boxWidth = box.drawableWidth(), boxHeight = box.drawableHeight();
    const double scale = std::max(boxWidth / picture.width(), boxHeight / picture.height());
    // The covering size, never below the box (rounding), and within what a rectangle can hold.
    const auto cover = [&](double side, double least) {
        return int(std::clamp(std::round(side * scale), least, double(INT32_MAX / 2)));
    };
    const int width = cover(picture.width(), boxWidth), height = cover(picture.height(), boxHeight);
    box.paintPicture(picture, -((width - box.drawableWidth()) / 2), -((height - box.drawableHeight()) / 2), width,
                     height);
    box.setPicture(box.imageAsPicture());
    box.refresh();
}

void blendPictures(WorkSurface& canvas, WorkSurface& firstBox, WorkSurface& secondBox, const Picture& firstSource,
                   const Picture& secondSource, int startLine, BlendOrientation orientation, BlendFit fit,
                   const BlendSeam& seam)
{
    canvas.clear();
    firstBox.setPicture(firstSource);
    layOnBox(firstBox, firstSource, fit);
    layOnBox(secondBox, secondSource, fit);
    gradientAlphaBlend(canvas.drawing(), canvas.drawableWidth(), canvas.drawableHeight(), secondBox.image(),
                       secondBox.drawableWidth(), secondBox.drawableHeight(), double(startLine), seam.endLine,
                       orientation, seam.stripSize);
    canvas.refresh();
}

std::vector<BlendStrip> gradientStrips(double destWidth, double destHeight, double srcWidth, double srcHeight,
                                       double startLine, double endLine, BlendOrientation orientation,
                                       std::optional<int> stripSize)
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
            // the source strip takes the destination width too
            const int width = stripSize.value_or(nearest(destWidth / 256.0));
            strip.destination = {line, 0, width, nearest(destHeight)};
            strip.source = {line, 0, width, nearest(srcHeight)};
        } else {
            strip.destination = {0, line, nearest(destWidth), stripSize.value_or(nearest(destHeight / 256.0 + 1))};
            strip.source = {0, line, nearest(srcWidth), stripSize.value_or(nearest(srcHeight / 256.0 + 1))};
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

namespace {

bool sameRect(const Rect& a, const Rect& b)
{
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// The strips of a canvas whose source is the same size, each taken from where it lands (the
// Blend's surfaces are one size), drawn row by row: every pixel still gets its strips in
// drawing order with alphaBlendConstant's arithmetic, but a row is worked whole while it is in
// the cache, where strip by strip a strip across columns walks every row of the canvas (an
// 8192-pixel canvas has 8191 such strips). False, drawing nothing, for any other strips.
bool blendStripsByRows(Bitmap& destination, const Bitmap& source, const std::vector<BlendStrip>& strips)
{
    const int width = destination.width(), height = destination.height();
    if (destination.empty() || source.width() != width || source.height() != height)
        return false;
    struct Span {
        int x0, x1, y0, y1, alpha;
    };
    std::vector<Span> spans;
    for (const BlendStrip& strip : strips) {
        if (!sameRect(strip.destination, strip.source))
            return false;
        const Rect& r = strip.destination;
        if (r.width <= 0 || r.height <= 0)
            continue;
        const Span span{std::max(r.x, 0), int(std::min<std::int64_t>(std::int64_t(r.x) + r.width, width)),
                        std::max(r.y, 0), int(std::min<std::int64_t>(std::int64_t(r.y) + r.height, height)),
                        std::clamp(strip.alpha, 0, 255)};
        if (span.x0 < span.x1 && span.y0 < span.y1)
            spans.push_back(span);
    }
    std::uint8_t* const out = destination.mutableBits();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* const outRow = out + destination.stride() * std::size_t(y);
        const std::uint8_t* const srcRow = source.row(y);
        for (const Span& span : spans) {
            if (y < span.y0 || y >= span.y1)
                continue;
            const unsigned a = unsigned(span.alpha), b = 255u - a;
            for (std::size_t i = std::size_t(span.x0) * 4, end = std::size_t(span.x1) * 4; i < end; i += 4)
                for (std::size_t c = 0; c < 3; ++c)   // the fourth byte is left as it is
                    outRow[i + c] = std::uint8_t((srcRow[i + c] * a + outRow[i + c] * b + 127u) / 255u);
        }
    }
    return true;
}

}  // namespace

void gradientAlphaBlend(Bitmap& destination, double destWidth, double destHeight, const Bitmap& source,
                        double srcWidth, double srcHeight, double startLine, double endLine,
                        BlendOrientation orientation, std::optional<int> stripSize)
{
    const std::vector<BlendStrip> strips =
        gradientStrips(destWidth, destHeight, srcWidth, srcHeight, startLine, endLine, orientation, stripSize);
    // The canvases beyond the default take the rows' way; the default keeps its strips' own.
    if (stripSize && blendStripsByRows(destination, source, strips))
        return;
    for (const BlendStrip& strip : strips)
        alphaBlendConstant(destination, strip.destination, source, strip.source, strip.alpha);
}

std::int32_t makeBlendFunction(double alpha)
{
    if (alpha > 255)
        alpha = 255;
    return std::int32_t(toByte(alpha)) * 65536;   // NaN and negatives raise Overflow
}

}  // namespace vantorell
