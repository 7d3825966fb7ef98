#include "job/ErrorReport.h"
#include "job/StepRunner.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

namespace vantorell {
namespace {

TEST(ErrorReport, TextHasDescriptionLocationLabelAndRequest)
{
    EXPECT_EQ(applicationErrorText("PushButton7_Click", 102, "File not found"),
              "File not found\r\nin Vantorell2021/08/31.Form1.PushButton7_Click at line 102\r\r"
              "Please email screenshot of this message to support@vantorell.app");
}

TEST(StepRunner, FailingStepIsReportedAndRoutineGoesOn)
{
    test::FakeUi ui;
    StepRunner steps(ui, "Form_Load");
    std::vector<int> ran;
    EXPECT_TRUE(steps.run(100, [&] { ran.push_back(100); }));
    EXPECT_FALSE(steps.run(102, [&] { throw RuntimeError(errnum::FileNotFound, "File not found"); }));
    EXPECT_TRUE(steps.run(104, [&] { ran.push_back(104); }));
    EXPECT_TRUE(steps.test(106, [&]() -> bool { throw RuntimeError(errnum::TypeMismatch, "Type mismatch"); }));
    EXPECT_FALSE(steps.test(108, [] { return false; }));

    EXPECT_EQ(ran, (std::vector<int>{100, 104}));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].title, "Application Error");
    EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(ui.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_NE(ui.boxes[0].text.find("Form_Load at line 102"), std::string::npos);
    EXPECT_NE(ui.boxes[1].text.find("Type mismatch\r\n"), std::string::npos);
    EXPECT_NE(ui.boxes[1].text.find("at line 106"), std::string::npos);
}

}  // namespace
}  // namespace vantorell
