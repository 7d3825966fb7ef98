#include "mix/RowBands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace vantorell {
namespace {

// Every row runs exactly once, whatever the split; short frames and one thread are one band.
TEST(runRowBands, CoversEveryRowOnceAndSplitsOnlyTallFrames)
{
    const struct { int rows, minRows, maxThreads; bool oneBand; } cases[] = {
        {0, 64, 4, true}, {63, 64, 4, true}, {1000, 64, 1, true}, {64, 64, 4, false}, {1001, 64, 4, false}, {5, 1, 4, false},
    };
    for (const auto& c : cases) {
        const auto seen = std::make_unique<std::atomic<int>[]>(std::size_t(c.rows) + 1);
        std::atomic<int> bands = 0;
        runRowBands(c.rows, c.minRows, c.maxThreads, [&](int first, int end) {
            ++bands;
            for (int y = first; y < end; ++y)
                ++seen[std::size_t(y)];
        });
        for (int y = 0; y < c.rows; ++y)
            EXPECT_EQ(seen[std::size_t(y)], 1) << c.rows << " rows, row " << y;
        if (c.oneBand)
            EXPECT_EQ(bands, 1) << c.rows << " rows";
    }
}

}  // namespace
}  // namespace vantorell
