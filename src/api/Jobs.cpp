#include "api/JobRunner.h"

namespace vantorell::api {

JobOutcome runBlend(const JobRequest& request, const ProgressCallback& progress)
{
    return detail::runMixJob(MixType::Blend, request, progress, nullptr, nullptr);
}

JobOutcome runOverlay(const JobRequest& request, const ProgressCallback& progress)
{
    return detail::runMixJob(MixType::Overlay, request, progress, nullptr, nullptr);
}

}  // namespace vantorell::api
