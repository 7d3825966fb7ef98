// Progress and cancel below the job: a routine that works in steps reports how many of its
// `total` steps are done, and the answer says whether to go on (false: stop as soon as it can,
// leaving nothing half-made). The job turns these counts into its progress bar, its yields and
// its cancel checks; nothing under it knows of a window, a control or a dialog.
#pragma once

#include <cstdint>
#include <functional>

namespace vantorell {

using StepProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// Reports `done` of `total` through `progress` when there is one; true to go on.
inline bool reportStep(const StepProgress& progress, std::int64_t done, std::int64_t total)
{
    return !progress || progress(done, total);
}

}  // namespace vantorell
