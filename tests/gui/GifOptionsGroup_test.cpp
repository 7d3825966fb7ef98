// The Fade's GIF choices: the controls exist, are usable only for a Fade to GIF, reach the model
// and the store, and show the preview's estimate of result.gif.
#include "GuiHarness.h"

#include "gif/GifEncoder.h"
#include "gui/PreviewPane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

TEST(GifOptionsGroup, UsableForAFadeToGifOnlyAndReachTheModelAndTheEstimate)
{
    GuiHarness h;
    h.settings.put("Image 1", std::string(VANTORELL_SAMPLES_DIR) + "/face1.jpg");
    h.settings.put("Image 2", std::string(VANTORELL_SAMPLES_DIR) + "/face2.jpg");
    MainWindow& w = h.open();
    WindowModel& f = *h.form;
    auto* group = w.findChild<QGroupBox*>(QStringLiteral("gifOptionsGroup"));
    auto* palette = w.findChild<QComboBox*>(QStringLiteral("gifPaletteCombo"));
    auto* dither = w.findChild<QComboBox*>(QStringLiteral("gifDitherCombo"));
    auto* optimize = w.findChild<QCheckBox*>(QStringLiteral("gifOptimizeCheck"));
    auto* lossy = w.findChild<QSpinBox*>(QStringLiteral("gifLossySpin"));
    auto* maxSize = w.findChild<QLineEdit*>(QStringLiteral("gifMaxSizeEdit"));
    auto* estimate = w.findChild<QLabel*>(QStringLiteral("gifEstimateLabel"));
    ASSERT_TRUE(group && palette && dither && optimize && lossy && maxSize && estimate);
    EXPECT_EQ(palette->currentText(), "Halftone");
    EXPECT_EQ(dither->currentText(), "Ordered");

    const struct {
        Control* click;
        bool usable;
    } steps[] = {
        {nullptr, false},   // the design state: Blend
        {&f.fadeOption, false},   // Fade to AVI
        {&f.saveAsGifOption, true},
        {&f.overlayOption, false},
        {&f.fadeOption, true},
        {&f.saveAsAviOption, false},
        {&f.saveAsGifOption, true},
    };
    for (const auto& step : steps) {
        if (step.click)
            h.widget<QRadioButton>(*step.click)->click();
        EXPECT_EQ(palette->isEnabled(), step.usable);
        EXPECT_EQ(maxSize->isEnabled(), step.usable);
    }

    palette->setCurrentIndex(palette->findText("Global"));
    dither->setCurrentIndex(dither->findText("Diffusion"));
    optimize->setChecked(true);
    lossy->setValue(60);
    maxSize->setText("3 MB");
    emit maxSize->editingFinished();
    const MixRequest request = f.request();
    EXPECT_EQ(request.gif.palette, GifPalette::Global);
    EXPECT_EQ(request.gif.dither, GifDither::Diffusion);
    EXPECT_TRUE(request.gif.optimize);
    EXPECT_EQ(request.gif.lossy, 60);
    EXPECT_EQ(request.gif.maxSize, std::optional<std::int64_t>(3'000'000));
    EXPECT_EQ(h.settings.stored(gifkeys::kPalette), "global");
    EXPECT_EQ(maxSize->text().toStdString(), formatByteSize(3'000'000));
    maxSize->setText("lots");
    emit maxSize->editingFinished();   // not a size: the target stays
    EXPECT_EQ(f.request().gif.maxSize, std::optional<std::int64_t>(3'000'000));

    // The quality knob picks the four choices, which wait greyed until it is off again.
    auto* quality = w.findChild<QSlider*>(QStringLiteral("gifQualitySlider"));
    ASSERT_NE(quality, nullptr);
    quality->setValue(70);
    EXPECT_EQ(f.request().gif.quality, 70);
    EXPECT_EQ(h.settings.stored(gifkeys::kQuality), "70");
    EXPECT_FALSE(palette->isEnabled() || dither->isEnabled() || optimize->isEnabled() || lossy->isEnabled());
    quality->setValue(0);
    EXPECT_TRUE(palette->isEnabled() && dither->isEnabled() && optimize->isEnabled() && lossy->isEnabled());

    // The preview estimates result.gif for these choices: the same figure in its caption.
    PreviewPane& pane = *w.previewPane();
    QElapsedTimer clock;
    clock.start();
    while (!(pane.shown().inputs.gif.lossy == 60 && pane.shown().resultBytes) && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(pane.shown().resultBytes.has_value());
    EXPECT_EQ(f.gifOptions.estimate(), pane.shown().resultBytes);
    EXPECT_EQ(estimate->text().toStdString(), f.gifOptions.estimateText());
    EXPECT_NE(estimate->text(), "");
    EXPECT_TRUE(pane.caption()->text().contains("result.gif about")) << pane.caption()->text().toStdString();

    h.widget<QRadioButton>(f.saveAsAviOption)->click();   // not a GIF: no estimate beside the choices
    clock.restart();
    while (pane.shown().inputs.fadeOutput != FadeOutput::Avi && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(estimate->text(), "");
}

}  // namespace
}  // namespace vantorell::test
