#include "job/MixJob.h"

namespace vantorell {

void MixJob::FadeJob(StepRunner& steps)
{
    // The Fade branch of the Start command: frames, then AVI or animated GIF (the fade job).
}

}  // namespace vantorell
