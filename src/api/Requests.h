// The installed API's typed options as the engine's request and choices, each value checked.
#pragma once

#include "job/MixRequest.h"
#include "vantorell/job.h"

#include <string>

namespace vantorell::api::detail {

vantorell::BlendDirection engineDirection(BlendDirection direction);
// Throws Error(InvalidArgument) for a side outside 16 .. 8192.
BlendCanvas blendCanvasOf(const BlendOptions& options);
// Frames, timing and mesh into the request (Error(InvalidArgument) for a bad value or mesh).
void applyFadeOptions(const FadeOptions& options, MixRequest& request);
vantorell::GifOptions engineGifOptions(const GifOptions& options);
// The whole request for a job of `type` (Error(InvalidArgument) for values out of range).
MixRequest mixRequestOf(MixType type, const JobRequest& request);
JobOutcome jobOutcomeOf(const MixOutcome& outcome);

}  // namespace vantorell::api::detail
