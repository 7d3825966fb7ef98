#include "job/FadeMorph.h"
#include "job/FadeSequence.h"

namespace vantorell {

std::optional<std::string> layRequestMeshes(const MixRequest& request, MorphMesh& mesh1, MorphMesh& mesh2)
{
    if (!request.morphMeshes || mesh1.width < 1 || mesh1.height < 1)
        return std::nullopt;
    // Both meshes live in the frame's pixels (the first picture's size): the second picture is
    // read at the same positions, as the plain fade reads it.
    const auto lay = [](MorphMesh& laid, const MorphMesh& wanted) {
        const MorphMesh scaled = scaleMesh(wanted, laid.width, laid.height);
        laid.columns = scaled.columns;
        laid.rows = scaled.rows;
        laid.points = scaled.points;
    };
    MorphMeshPair pair{mesh1, mesh2};
    lay(pair.mesh1, request.morphMeshes->mesh1);
    lay(pair.mesh2, request.morphMeshes->mesh2);
    if (auto why = checkMeshPair(pair))
        return "the morph meshes cannot be used at " + std::to_string(mesh1.width) + " x " +
               std::to_string(mesh1.height) + ": " + *why + ".";
    mesh1 = std::move(pair.mesh1);
    mesh2 = std::move(pair.mesh2);
    return std::nullopt;
}

std::vector<MorphFrameTime> fadeTimeline(const MixRequest& request, int steps)
{
    if (steps < 1)
        return {};   // no frames, as without a morph
    return morphTimeline(steps, request.morphTiming);
}

std::vector<FadeFrame> fadeFrames(const MixRequest& request, int steps)
{
    if (isSequenceFade(request))
        return sequenceTimeline(request, steps);
    std::vector<FadeFrame> frames;
    for (const MorphFrameTime& time : fadeTimeline(request, steps))
        frames.push_back({0, time});
    return frames;
}

long long fadeFrameTotal(const MixRequest& request, int steps)
{
    if (isSequenceFade(request))
        return sequenceFrameTotal(request, steps);
    return steps < 1 ? steps : morphTimelineLength(steps, request.morphTiming);
}

std::optional<std::string> checkFadeFrameTotal(const MixRequest& request, int steps)
{
    const long long total = fadeFrameTotal(request, steps);
    if (total <= kMaxFadeFrames)
        return std::nullopt;
    return "the fade would have " + std::to_string(total) + " frames with its hold frames; at most " +
           std::to_string(kMaxFadeFrames) + " fit.";
}

}  // namespace vantorell
