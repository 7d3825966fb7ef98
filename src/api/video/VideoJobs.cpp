// libvantorell-video: the jobs that load FFmpeg (the Fade) or OpenCV (Align).
#include "api/JobRunner.h"
#include "job/FadeJob.h"
#include "vantorell/video.h"

namespace vantorell::api {

JobOutcome runJob(MixKind kind, const JobRequest& request, const ProgressCallback& progress)
{
    const MixType type = kind == MixKind::Blend ? MixType::Blend : kind == MixKind::Overlay ? MixType::Overlay
                                                                                            : MixType::Fade;
    return detail::runMixJob(type, request, progress, &runFadeSteps, &alignSecondPicture);
}

JobOutcome runFade(const JobRequest& request, const ProgressCallback& progress)
{
    return runJob(MixKind::Fade, request, progress);
}

}  // namespace vantorell::api
