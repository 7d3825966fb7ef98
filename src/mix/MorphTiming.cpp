#include "mix/MorphTiming.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vantorell {

namespace {

constexpr std::array<std::pair<std::string_view, Easing>, 4> kEasingNames{{
    {"linear", Easing::Linear},
    {"in", Easing::In},
    {"out", Easing::Out},
    {"in-out", Easing::InOut},
}};

}  // namespace

double ease(Easing easing, double p)
{
    p = std::clamp(p, 0.0, 1.0);
    switch (easing) {
    case Easing::Linear:
        return p;
    case Easing::In:
        return p * p;
    case Easing::Out:
        return 1.0 - (1.0 - p) * (1.0 - p);
    case Easing::InOut:
        return p * p * (3.0 - 2.0 * p);
    }
    return p;
}

float stepFraction(int step, int steps)
{
    return steps <= 1 ? 0.0f : float(double(step) / double(steps - 1));
}

namespace {

// Linear progress stays the float the Fade job always used; a curve is applied to that
// progress in double precision and rounded once.
float eased(Easing easing, int step, int steps)
{
    const float p = stepFraction(step, steps);
    return easing == Easing::Linear ? p : float(ease(easing, double(p)));
}

}  // namespace

long long morphTimelineLength(int steps, const MorphTiming& timing)
{
    const long long forward = std::max(1, steps) + std::max(0, timing.holdStart) + std::max(0, timing.holdEnd);
    return timing.pingPong && forward > 2 ? 2 * forward - 2 : forward;
}

std::vector<MorphFrameTime> morphTimeline(int steps, const MorphTiming& timing)
{
    steps = std::max(1, steps);
    std::vector<MorphFrameTime> frames;
    frames.reserve(std::size_t(morphTimelineLength(steps, timing)));
    const auto add = [&](int step) {
        frames.push_back({step, eased(timing.shapeEasing, step, steps), eased(timing.colourEasing, step, steps)});
    };
    for (int k = 0; k < timing.holdStart; ++k)
        add(0);
    for (int i = 0; i < steps; ++i)
        add(i);
    for (int k = 0; k < timing.holdEnd; ++k)
        add(steps - 1);
    if (timing.pingPong && frames.size() > 2)
        for (std::size_t k = frames.size() - 2; k >= 1; --k)
            frames.push_back(frames[k]);
    return frames;
}

std::optional<Easing> easingFromName(std::string_view name)
{
    for (const auto& [word, easing] : kEasingNames)
        if (word == name)
            return easing;
    return std::nullopt;
}

std::string_view easingName(Easing easing)
{
    for (const auto& [word, value] : kEasingNames)
        if (value == easing)
            return word;
    return "linear";
}

}  // namespace vantorell
