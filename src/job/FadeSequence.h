// A fade through a sequence of pictures (MixRequest::sequenceFiles): one output that fades from
// each picture to the next. Every step of the sequence has the request's N frames; the frame
// where two steps meet (the shared picture) is written once, so K pictures give
// (K - 1) * (N - 1) + 1 frames, plus the hold frames at the very start and end. Every frame has
// the first picture's size, as a two-picture fade has; the meshes are those laid on it.
#pragma once

#include "job/MixRequest.h"
#include "mix/FadeRenderer.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vantorell {

// The most pictures one sequence takes.
inline constexpr std::size_t kMaxSequencePictures = 10000;

// Whether the request fades through a sequence (two or more sequence files).
inline bool isSequenceFade(const MixRequest& request) { return request.sequenceFiles.size() >= 2; }

// One output frame of a sequence: the step (pictures pair and pair + 1) and its time in it.
using SequenceFrame = FadeFrame;

// The output frames of a sequence whose steps have `steps` frames each (at least 2).
std::vector<SequenceFrame> sequenceTimeline(const MixRequest& request, int steps);
long long sequenceFrameTotal(const MixRequest& request, int steps);

// Why the sequence cannot be faded before anything is rendered: too few frames per step,
// ping-pong or meshes asked for, a picture that is missing or not a readable file. Nothing
// when it can.
std::optional<std::string> checkSequence(const MixRequest& request, int steps);

}  // namespace vantorell
