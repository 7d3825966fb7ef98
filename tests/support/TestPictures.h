// Small lossless test pictures written as bitmap files.
#pragma once

#include "support/TempDir.h"

#include <string>

namespace vantorell::test {

// A picture file with pixel (x, y) = blue x * 7 + seed, green y * 5, red seed * 3 (lossless BMP).
std::string writePicture(const TempDir& dir, const std::string& name, int width, int height, int seed);

}  // namespace vantorell::test
