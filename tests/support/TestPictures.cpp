#include "support/TestPictures.h"

#include "platform/WorkSurface.h"

#include <algorithm>
#include <random>

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

Bitmap textured(int width, int height, unsigned seed)
{
    Bitmap bitmap = solid(width, height, 0x808080);
    std::mt19937 random(seed);
    for (int n = 0; n < 400; ++n) {
        const int w = 6 + int(random() % 60), h = 6 + int(random() % 60);
        const int x0 = int(random() % unsigned(width)), y0 = int(random() % unsigned(height));
        const std::int32_t colour = std::int32_t(random() & 0xFFFFFF);
        for (int y = y0; y < std::min(height, y0 + h); ++y)
            for (int x = x0; x < std::min(width, x0 + w); ++x)
                bitmap.setPixel(x, y, colour);
    }
    return bitmap;
}

}  // namespace vantorell::test
