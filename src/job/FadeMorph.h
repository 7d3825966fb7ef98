// What the Fade job takes from a request's morph settings: the meshes it lays and the output
// frames it renders (which step, at which shape and colour progress).
#pragma once

#include "job/MixRequest.h"
#include "mix/FadeRenderer.h"

namespace vantorell {

// The most frames one Fade writes, holds and ping-pong included.
inline constexpr long long kMaxFadeFrames = 32767;

// Replaces the regular meshes the job laid (mesh1 and mesh2, laid over the frame's size) with
// the request's meshes scaled to that size; does nothing without request meshes or before the
// regular meshes are laid. Answers why the meshes cannot be used (a fold at this size).
std::optional<std::string> layRequestMeshes(const MixRequest& request, MorphMesh& mesh1, MorphMesh& mesh2);

// The output frames of a fade of `steps` steps (the request's frame count) and their number.
// (FadeFrameTotal counts a sequence's frames too: job/FadeSequence.h.)
std::vector<MorphFrameTime> fadeTimeline(const MixRequest& request, int steps);
// Every frame the Fade writes, a sequence's included: its pair and its time (FadeRenderer).
std::vector<FadeFrame> fadeFrames(const MixRequest& request, int steps);
long long fadeFrameTotal(const MixRequest& request, int steps);
// Why the fade's frames cannot be written (more than kMaxFadeFrames), or nothing.
std::optional<std::string> checkFadeFrameTotal(const MixRequest& request, int steps);

}  // namespace vantorell
