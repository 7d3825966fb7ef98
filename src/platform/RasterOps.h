// The raster operations the mixing code needs from the platform: a plain stretch, a blend with
// one constant alpha, on 32-bit bitmaps. Rectangles that stick out of the target draw the part
// that lies inside it; a rectangle with no width or height draws nothing.
#pragma once

#include "platform/Bitmap.h"

namespace vantorell {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Copies src scaled to the rectangle of dst, nearest pixel (rows and columns are repeated or
// dropped, nothing is averaged), with no raster combination.
void stretchCopy(Bitmap& dst, const Rect& to, const Bitmap& src);

// For each pixel of the destination rectangle and each of blue, green and red:
// new = round((source x alpha + destination x (255 - alpha)) / 255). The source rectangle is
// stretched (nearest pixel) to the destination rectangle when their sizes differ. Pixels whose
// destination or source position lies outside its bitmap are left alone.
void alphaBlendConstant(Bitmap& dst, const Rect& to, const Bitmap& src, const Rect& from, int alpha);

}  // namespace vantorell
