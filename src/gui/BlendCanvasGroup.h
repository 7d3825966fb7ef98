// The Blend options' canvas row: the result's width and height and the fit (Stretch, Crop),
// mirroring the model's BlendCanvasModel.
#pragma once

class QWidget;

namespace vantorell {

class WindowModel;

// The row under Blend Size, enabled exactly while `enabledWith` (the Blend Size bar's widget)
// is. Object names for tests: blendCanvasWidthSpin, blendCanvasHeightSpin, blendFitCombo.
QWidget* blendCanvasRow(WindowModel& model, QWidget* parent, QWidget* enabledWith);

}  // namespace vantorell
