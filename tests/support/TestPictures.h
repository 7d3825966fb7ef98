// Small lossless test pictures written as bitmap files.
#pragma once

#include "platform/Bitmap.h"
#include "support/TempDir.h"

#include <cstdint>

#include <string>

namespace vantorell::test {

// A picture file with pixel (x, y) = blue x * 7 + seed, green y * 5, red seed * 3 (lossless BMP).
std::string writePicture(const TempDir& dir, const std::string& name, int width, int height, int seed);

// A 32-bit picture of one colour (0x00BBGGRR).
Bitmap solid(int width, int height, std::int32_t colour);

// Rectangles of random colours and sizes on grey, the same for the same seed: corners
// everywhere, as in a photograph (what feature matching and optical flow need).
Bitmap textured(int width, int height, unsigned seed);

}  // namespace vantorell::test
