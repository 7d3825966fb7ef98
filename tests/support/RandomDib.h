// A noisy test picture for the colour tests (header only: it needs the dib layer, which the
// lower layers' tests do not link).
#pragma once

#include "dib/Dib.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace vantorell::test {

// A 32-bit Dib whose every byte is drawn from a fixed-seed generator.
inline Dib randomPicture(int width, int height, unsigned seed)
{
    Dib dib;
    EXPECT_TRUE(dib.create(width, height, 32));
    std::mt19937 random(seed);
    for (int i = 0; i < dib.size(); ++i)
        dib.bits()[i] = std::uint8_t(random());
    return dib;
}

}  // namespace vantorell::test
