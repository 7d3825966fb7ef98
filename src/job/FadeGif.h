// The GIF output of the Fade job: the temporary AVI read back into the job's GIF document, each
// frame reduced to 8 bits, and the document saved as the job's result.
#pragma once

#include "gif/GifAnimation.h"

namespace vantorell {

struct MixRequest;
struct JobRun;
class StepRunner;
class FadeWorkFolder;

// Steps 388 to 414 of the Fade job, after the temporary AVI was written into the job's work
// folder: reset the progress bar, set the palette and dither modes from the request, empty the
// job's document (made here at the first GIF job), import, check that there is something to
// save, save to the output path (whole or not at all), delete the temporary AVI. A failed
// import or save, or nothing to save, is the job's failure.
// With any choice beyond the halftone or first-frame palette and the three plain dithers
// (global or per-frame palette, the 8 x 8 dither, optimisation, lossy LZW, a size limit) the
// frames go through GifAnimation instead of the document, at the same step labels.
void runGifSteps(JobRun& run, StepRunner& steps, const FadeWorkFolder& work);

// The request's GIF choices as GifAnimation options (delay left at its default).
GifEncodeOptions gifEncodeOptionsOf(const MixRequest& request);

}  // namespace vantorell
