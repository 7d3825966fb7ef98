// One whole job through the engine's MixJob, for libvantorell (no Fade, no Align) and
// libvantorell-video (both).
#pragma once

#include "job/MixJob.h"
#include "vantorell/job.h"

namespace vantorell::api::detail {

JobOutcome runMixJob(MixType type, const JobRequest& request, const ProgressCallback& progress, FadeSteps fadeSteps,
                     PictureAligner aligner);

}  // namespace vantorell::api::detail
