#include "job/FadeSequence.h"

#include "platform/InputFile.h"

#include <filesystem>

#include <unistd.h>

namespace vantorell {

namespace {

// The steps' own timing: the easing of each step; holds and ping-pong belong to the whole.
MorphTiming stepTiming(const MixRequest& request)
{
    MorphTiming timing = request.morphTiming;
    timing.holdStart = timing.holdEnd = 0;
    timing.pingPong = false;
    return timing;
}

}  // namespace

std::vector<SequenceFrame> sequenceTimeline(const MixRequest& request, int steps)
{
    if (!isSequenceFade(request) || steps < 2)
        return {};
    const std::vector<MorphFrameTime> step = morphTimeline(steps, stepTiming(request));
    const int pairs = int(request.sequenceFiles.size()) - 1;
    std::vector<SequenceFrame> frames;
    frames.reserve(std::size_t(sequenceFrameTotal(request, steps)));
    for (int h = 0; h < request.morphTiming.holdStart; ++h)
        frames.push_back({0, step.front()});
    for (int pair = 0; pair < pairs; ++pair)
        for (std::size_t i = pair == 0 ? 0 : 1; i < step.size(); ++i)   // the joint frame once
            frames.push_back({pair, step[i]});
    for (int h = 0; h < request.morphTiming.holdEnd; ++h)
        frames.push_back({pairs - 1, step.back()});
    return frames;
}

long long sequenceFrameTotal(const MixRequest& request, int steps)
{
    if (steps < 1)
        return steps;
    const long long pairs = std::max<long long>(0, (long long)request.sequenceFiles.size() - 1);
    return request.morphTiming.holdStart + pairs * (steps - 1) + 1 + request.morphTiming.holdEnd;
}

std::optional<std::string> checkSequence(const MixRequest& request, int steps)
{
    if (request.sequenceFiles.size() > kMaxSequencePictures)
        return "a sequence takes at most " + std::to_string(kMaxSequencePictures) + " pictures.";
    if (steps < 2)
        return "a fade through a sequence needs at least 2 frames per step.";
    if (request.morphTiming.pingPong)
        return "a fade through a sequence cannot ping-pong.";
    if (request.morphMeshes)
        return "morph meshes are for one pair of pictures, not a sequence.";
    for (std::size_t i = 0; i < request.sequenceFiles.size(); ++i) {
        const std::string& file = request.sequenceFiles[i];
        std::string problem;
        const int fd = openInputFile(file, problem);
        if (fd < 0)
            return "picture " + std::to_string(i + 1) + " of the sequence (" + file + ") cannot be read: " + problem + ".";
        ::close(fd);
    }
    return std::nullopt;
}

}  // namespace vantorell
