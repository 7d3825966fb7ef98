// The Fade output group's third choice: "Save As Video" with the format (only those this
// build's FFmpeg offers) and the quality, mirroring the model's VideoOutputModel.
#pragma once

class QWidget;

namespace vantorell {

class WindowModel;

// The row under "Save As Animated GIF", enabled exactly while `enabledWith` (the AVI option's
// widget) is, so it follows the Fade like the other output choices; its format and quality are
// usable only while "Save As Video" is chosen. Object names for tests:
// saveAsVideoOption, videoFormatCombo, videoQualitySpin.
QWidget* videoOutputRow(WindowModel& model, QWidget* parent, QWidget* enabledWith);

}  // namespace vantorell
