// The align tests' known transforms.
#pragma once

#include "align/Align.h"

#include <cmath>

namespace vantorell::test {

// Turned `degrees` and scaled about (cx, cy), then moved by (dx, dy): picture 1's point p lies
// at similarity(p) in picture 2.
inline Alignment similarity(double scale, double degrees, double cx, double cy, double dx, double dy)
{
    const double c = scale * std::cos(degrees * M_PI / 180), s = scale * std::sin(degrees * M_PI / 180);
    Alignment a;
    a.matrix = {c, -s, cx + dx - c * cx + s * cy, s, c, cy + dy - s * cx - c * cy, 0, 0, 1};
    return a;
}

}  // namespace vantorell::test
