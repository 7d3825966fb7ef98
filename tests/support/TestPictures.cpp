#include "support/TestPictures.h"

#include "platform/WorkSurface.h"

namespace vantorell::test {

std::string writePicture(const TempDir& dir, const std::string& name, int width, int height, int seed)
{
    WorkSurface s(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            s.setPixel(x, y, ((x * 7 + seed) & 255) << 16 | ((y * 5) & 255) << 8 | ((seed * 3) & 255));
    const auto path = dir / name;
    s.saveAsBitmapFile(path);
    return path.string();
}

Bitmap solid(int width, int height, std::int32_t colour)
{
    Bitmap bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.setPixel(x, y, colour);
    return bitmap;
}

}  // namespace vantorell::test
