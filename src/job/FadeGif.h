// The GIF output of the Fade job: the frames the encoder took while they were rendered made
// into result.gif's bytes (or the best choice under a size budget), written whole or not at all.
#pragma once

namespace vantorell {

struct JobRun;
class StepRunner;
class GifFrameSink;

// Steps kStartGifProgress to kSaveGifFailed of the Fade job (labels::start, job/StepLabels.h),
// after the last frame went to `frames`: reset the progress bar, make the GIF
// (kTestNothingToSave: nothing to save when no frame was rendered), save it to the output path
// through its temporary. A GIF that cannot be made, nothing to save, or a failed save is
// the job's failure.
void runGifSteps(JobRun& run, StepRunner& steps, GifFrameSink& frames);

}  // namespace vantorell
