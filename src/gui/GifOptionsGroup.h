// The Fade's GIF choices, mirroring the model's GifOptionsModel: palette, dither, "Smaller File",
// lossy level and target size, with the estimated size of result.gif beside them.
#pragma once

class QGroupBox;
class QWidget;

namespace vantorell {

class PreviewPane;
class WindowModel;

// The "GIF Options" box, enabled while `fadeLeader` (the AVI option's widget: enabled with the
// Fade) is enabled and `gifOption` (the "Save As Animated GIF" button) is checked. Object names
// for tests: gifPaletteCombo, gifDitherCombo, gifOptimizeCheck, gifLossySpin, gifMaxSizeEdit,
// gifEstimateLabel.
QGroupBox* gifOptionsGroup(WindowModel& model, QWidget* parent, QWidget* fadeLeader, QWidget* gifOption);

// The preview's GIF estimate reaches the model (and so the label), and a changed GIF choice asks
// the preview again.
void connectGifOptionsToPreview(WindowModel& model, PreviewPane& preview);

}  // namespace vantorell
