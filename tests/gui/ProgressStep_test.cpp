// The progress bar shows the job's step with the percentage, and the percentage alone (or the
// text at rest) without one.
#include "GuiHarness.h"

#include <QProgressBar>

#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

TEST(ProgressStep, ShownWithThePercentage)
{
    GuiHarness h;
    h.open();
    ProgressBar& bar = h.form->progressBar();
    auto* widget = h.widget<QProgressBar>(bar);
    ASSERT_TRUE(widget);
    EXPECT_EQ(widget->text(), "Progress Bar");
    const struct {
        const char* step;
        double max, value;
        const char* shown;
    } cases[] = {
        {"Frame 4 of 10", 100, 40, "Frame 4 of 10 \u2014 40%"},
        {"Writing GIF", 10, 3, "Writing GIF \u2014 30%"},
        {"Writing GIF", 10, 0, "Writing GIF"},
        {"", 100, 25, "25%"},
        {"", 100, 0, "Progress Bar"},
    };
    for (const auto& c : cases) {
        bar.setMax(c.max);
        bar.setStep(c.step);
        bar.setValue(c.value);
        EXPECT_EQ(widget->text().toStdString(), c.shown) << c.step << " " << c.value;
    }
}

}  // namespace
}  // namespace vantorell::test
