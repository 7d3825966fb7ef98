// The timing of a morph: which in-between step each output frame shows and how far its shape
// and its colours have gone. A morph of N steps moves step i from picture 1 (i = 0) to
// picture 2 (i = N - 1) with progress p = i / (N - 1); the shape and the colour progress are
// p passed through their own easing curve. Hold frames repeat the first and the last step, and
// ping-pong plays the frames back again for a loop.
//
// The defaults (linear, no holds, no ping-pong) give N frames whose shape and colour t are
// exactly float(i / (N - 1)) formed in double precision, the values the Fade job always used.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vantorell {

enum class Easing { Linear, In, Out, InOut };

struct MorphTiming {
    Easing shapeEasing = Easing::Linear;
    Easing colourEasing = Easing::Linear;
    int holdStart = 0;   // extra copies of the first step, 0 .. kMaxHoldFrames
    int holdEnd = 0;     // extra copies of the last step
    bool pingPong = false;

    static constexpr int kMaxHoldFrames = 32767;
    friend bool operator==(const MorphTiming&, const MorphTiming&) = default;
};

// One output frame: the step it shows and the progress of its shape and colour (0 ... 1).
struct MorphFrameTime {
    int step = 0;
    float shapeT = 0;
    float colourT = 0;
    friend bool operator==(const MorphFrameTime&, const MorphFrameTime&) = default;
};

// The eased progress of p in [0, 1]: linear p; in p^2; out 1 - (1 - p)^2; in-out the smooth
// step 3p^2 - 2p^3. Every curve gives 0 at 0 and 1 at 1 and rises monotonically.
double ease(Easing easing, double p);

// The progress of step i of n steps as a float: float(i / (n - 1)), 0 for a single step.
float stepFraction(int step, int steps);

// The output frames of a morph of `steps` steps (at least 1): holdStart copies of step 0,
// steps 0 ... steps - 1, holdEnd copies of the last; with ping-pong the same sequence follows
// backwards without its two ends, so a looping player shows no frame twice in a row at the turn.
std::vector<MorphFrameTime> morphTimeline(int steps, const MorphTiming& timing);
// The number of frames MorphTimeline gives, without building it.
long long morphTimelineLength(int steps, const MorphTiming& timing);

// "linear", "in", "out", "in-out" and back.
std::optional<Easing> easingFromName(std::string_view name);
std::string_view easingName(Easing easing);

}  // namespace vantorell
