// The job's side of StepProgress. The layers below only count their steps; the job turns each
// count into what the window sees (a yield, a repaint, a progress value) and into the points
// where a cancel is noticed: RecordingUi's yield and the progress bar's change both check it,
// so a cancel unwinds from inside the step report and the answer is always "go on".
#pragma once

#include "platform/Controls.h"
#include "platform/StepProgress.h"
#include "job/UiPort.h"
#include "platform/WorkSurface.h"

namespace vantorell {

// One Overlay column: a yield, a repaint of `result`, then the value done / total x 100 in
// single precision.
StepProgress overlayColumnProgress(WorkSurface& result, ProgressBar& progress, UiPort& ui);

}  // namespace vantorell
