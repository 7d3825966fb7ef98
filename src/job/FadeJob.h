// The Fade branch of the Start command: N frames that cross-fade from Image #1 to Image #2,
// rendered by the morph engine into frame files in the job's private work folder, then written
// as the output AVI (or, for GIF output, as a temporary AVI that the GIF import reads). It
// links FFmpeg: give runFadeSteps to a MixJob where fades are wanted.
#pragma once

#include "avi/AviWriter.h"

#include <string>

namespace vantorell {

struct JobRun;
class StepRunner;
class FadeWorkFolder;

// Steps 290 to 428 of the Start command.
void runFadeSteps(JobRun& run, StepRunner& steps);

// The work folder's file of frame `index`: Morph_<index>.bmp.
std::string frameFileName(const FadeWorkFolder& folder, int index);

// What WriteAviFromFrames needs of the job: the work folder's frame files, the job's resaving
// surface, progress bar and UI, and N read from the request when the writer asks.
AviFrameSource fadeAviFrameSource(JobRun& run, const FadeWorkFolder& folder);

}  // namespace vantorell
