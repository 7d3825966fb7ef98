// Helpers of the Fade job (MixJob::FadeJob, job/FadeJob.cpp) that the GIF branch shares.
#pragma once

#include "avi/AviWriter.h"

#include <cstdint>
#include <string>

namespace vantorell {

class MixJob;
class FadeWorkFolder;

// A text box's value as a 16-bit integer, the way the job converts Text4 and txtFPS: a number
// (spaces around it allowed) rounded to the nearest integer, ties to even. Raises RuntimeError
// TypeMismatch (13) for text that is not a number and Overflow (6) beyond -32768 ... 32767.
std::int16_t TextToInt16(const std::string& text);

// What WriteAviFromFrames needs of the job: the work folder's frame files, picSave,
// ProgressBar1, the job's UI and N read from Text4 when the writer asks.
AviFrameSource FadeAviFrameSource(MixJob& job, const FadeWorkFolder& folder);

}  // namespace vantorell
