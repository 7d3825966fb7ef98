#include "support/TestPictures.h"

#include "platform/WorkSurface.h"

#include <gtest/gtest.h>

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

Dib randomPicture(int width, int height, unsigned seed)
{
    Dib dib;
    EXPECT_TRUE(dib.Create(width, height, 32));
    std::mt19937 random(seed);
    for (int i = 0; i < dib.Size(); ++i)
        dib.lpBits()[i] = std::uint8_t(random());
    return dib;
}

}  // namespace vantorell::test
