#include "job/JobProgress.h"

#include "mix/Overlay.h"

namespace vantorell {

StepProgress overlayColumnProgress(WorkSurface& result, ProgressBar& progress, UiPort& ui)
{
    return [&result, &progress, &ui](std::int64_t done, std::int64_t total) {
        ui.yield();
        result.refresh();
        const float value = float(done) / float(total) * 100.0f;
        progress.setValue(double(value));
        return true;
    };
}

}  // namespace vantorell
