// The jobs that need FFmpeg or OpenCV, in libvantorell-video (the CMake target
// Vantorell::vantorell-video, pkg-config vantorell-video): link it only where they are called.
#pragma once

#include "vantorell/job.h"

namespace vantorell::api {

enum class MixKind { Blend, Overlay, Fade };

// The Fade to AVI, GIF, MP4, WebM, WebP or APNG, with every option of the request.
VANTORELL_VIDEO_API JobOutcome runFade(const JobRequest& request, const ProgressCallback& progress = {});
// Any job, Align included.
VANTORELL_VIDEO_API JobOutcome runJob(MixKind kind, const JobRequest& request, const ProgressCallback& progress = {});

}  // namespace vantorell::api
