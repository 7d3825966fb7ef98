#include "job/JobProgress.h"

#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <string>

namespace vantorell {
namespace {

// Each Overlay column is a yield, a repaint and a value in single precision, in that order.
TEST(overlayColumnProgress, YieldsRepaintsThenSetsTheValue)
{
    test::FakeUi ui;
    ProgressBar bar;
    WorkSurface result;
    std::string order;
    ui.onYield = [&] { order += 'y'; };
    result.onRefresh = [&] { order += 'r'; };
    bar.onChanged = [&] {
        order += 'v';
        ui.progressChanged(bar);
    };
    const StepProgress progress = overlayColumnProgress(result, bar, ui);
    for (std::int64_t done : {1, 75, 151})
        EXPECT_TRUE(progress(done, 151));
    EXPECT_EQ(order, "yrvyrvyrv");
    EXPECT_EQ(ui.progressValues, (std::vector<double>{double(1.0f / 151.0f * 100.0f), double(75.0f / 151.0f * 100.0f),
                                                       100.0}));
}

}  // namespace
}  // namespace vantorell
