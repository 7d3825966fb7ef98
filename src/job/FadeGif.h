// The GIF output of the Fade job: the temporary AVI read back into the window's GIF document,
// each frame reduced to 8 bits, and the document saved as the job's output.
#pragma once

namespace vantorell {

class MixJob;
class StepRunner;
class FadeWorkFolder;

// Steps 388 to 414 of the Fade job, after the temporary AVI "temp.avi" was written into the
// job's work folder: reset the progress bar, set the dither mode (MixJob::GifDitherMode, 1 in
// the window), empty the window's document (made here at the first GIF job), import, check
// that there is something to save, save to OutputPath, delete the temporary AVI. A failed
// import sets GifFailed, so the job ends without "Done.".
void FadeGifSteps(MixJob& job, StepRunner& steps, const FadeWorkFolder& work);

}  // namespace vantorell
