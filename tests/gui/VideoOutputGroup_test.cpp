// The Fade output group's "Save As Video" row: its controls exist, follow the Fade like the
// other output choices, and reach the model and the store.
#include "GuiHarness.h"

#include <QComboBox>
#include <QRadioButton>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

TEST(VideoOutputGroup, ControlsExistFollowTheFadeAndReachTheModel)
{
    GuiHarness h;
    MainWindow& w = h.open();
    WindowModel& f = *h.form;
    auto* choice = w.findChild<QRadioButton*>(QStringLiteral("saveAsVideoOption"));
    auto* format = w.findChild<QComboBox*>(QStringLiteral("videoFormatCombo"));
    auto* quality = w.findChild<QSpinBox*>(QStringLiteral("videoQualitySpin"));
    ASSERT_TRUE(choice && format && quality);
    EXPECT_EQ(choice->text(), "Save As Video");
    EXPECT_FALSE(choice->isChecked());
    EXPECT_EQ(format->count(), static_cast<int>(f.videoOutput.formats().size()));
    EXPECT_EQ(quality->text(), "Default");

    // Blend (the design state) and Overlay: off, like the AVI and GIF options; Fade: on. The
    // format and quality wait for the choice (tests/gui/WindowHabits_test).
    const auto expectUsable = [&](bool usable) {
        EXPECT_EQ(h.widget<QRadioButton>(f.saveAsGifOption)->isEnabled(), usable);
        EXPECT_EQ(choice->isEnabled(), usable && !f.videoOutput.formats().empty());
        EXPECT_FALSE(format->isEnabled());
        EXPECT_FALSE(quality->isEnabled());
    };
    expectUsable(false);
    h.widget<QRadioButton>(f.fadeOption)->click();
    expectUsable(true);
    h.widget<QRadioButton>(f.overlayOption)->click();
    expectUsable(false);
    h.widget<QRadioButton>(f.fadeOption)->click();
    expectUsable(true);
    if (f.videoOutput.formats().empty())
        return;

    choice->click();
    EXPECT_TRUE(f.videoOutput.chosen());
    EXPECT_TRUE(choice->isChecked());
    EXPECT_FALSE(h.widget<QRadioButton>(f.saveAsAviOption)->isChecked());
    format->setCurrentIndex(format->count() - 1);
    quality->setValue(70);
    EXPECT_EQ(f.videoOutput.format(), f.videoOutput.formats().back());
    EXPECT_EQ(h.settings.stored(videokeys::kQuality), "70");
    EXPECT_EQ(f.request().videoQuality, 70);

    h.widget<QRadioButton>(f.saveAsAviOption)->click();
    EXPECT_FALSE(choice->isChecked());
    EXPECT_EQ(f.request().fadeOutput, FadeOutput::Avi);
}

}  // namespace
}  // namespace vantorell::test
