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

}  // namespace vantorell::test
