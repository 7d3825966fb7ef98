// The Fade branch of the Start command: N frames that cross-fade from Image #1 to Image #2,
// rendered by the morph engine and streamed (job/FadeFrameOutput) into the output AVI while
// they render (or, for GIF output, into a temporary AVI that the GIF import reads). It
// links FFmpeg: give runFadeSteps to a MixJob where fades are wanted.
#pragma once

namespace vantorell {

struct JobRun;
class StepRunner;

// The Fade steps of the Start command: kFadeBusyPointer to kFadeResetProgress in labels::start
// (job/StepLabels.h).
void runFadeSteps(JobRun& run, StepRunner& steps);

}  // namespace vantorell
