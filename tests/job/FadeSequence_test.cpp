// The frames of a fade through a sequence: their number, their pairs and times, and what the
// job refuses before it loads anything.
#include "job/FadeMorph.h"
#include "job/FadeSequence.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vantorell {
namespace {

MixRequest sequenceOf(int pictures, int holdStart = 0, int holdEnd = 0)
{
    MixRequest request;
    request.mixType = MixType::Fade;
    for (int i = 0; i < pictures; ++i)
        request.sequenceFiles.push_back("p" + std::to_string(i) + ".jpg");
    request.morphTiming.holdStart = holdStart;
    request.morphTiming.holdEnd = holdEnd;
    return request;
}

TEST(FadeSequence, EveryStepOnceWithTheJointFramesShared)
{
    for (const auto& [pictures, steps, holdStart, holdEnd] :
         std::vector<std::tuple<int, int, int, int>>{{2, 2, 0, 0}, {2, 10, 1, 2}, {3, 5, 0, 0}, {7, 3, 4, 1}}) {
        const MixRequest request = sequenceOf(pictures, holdStart, holdEnd);
        const std::vector<SequenceFrame> frames = sequenceTimeline(request, steps);
        const long long total = holdStart + (pictures - 1LL) * (steps - 1) + 1 + holdEnd;
        ASSERT_EQ((long long)frames.size(), total) << pictures << " x " << steps;
        EXPECT_EQ(sequenceFrameTotal(request, steps), total);
        EXPECT_EQ(fadeFrameTotal(request, steps), total);   // what the output is told
        for (std::size_t i = 1; i < frames.size(); ++i)
            EXPECT_LE(frames[i - 1].pair, frames[i].pair);
        for (int pair = 0; pair < pictures - 1; ++pair) {   // each pair ends on its second picture
            const std::size_t end = std::size_t(holdStart + (pair + 1) * (steps - 1));
            EXPECT_EQ(frames[end].pair, pair);
            EXPECT_EQ(frames[end].time.colourT, 1.0f);
            EXPECT_EQ(frames[end - std::size_t(steps - 2)].pair, pair);   // and starts after the joint
        }
        EXPECT_EQ(frames[std::size_t(holdStart)].time.colourT, 0.0f);
        EXPECT_EQ(frames.back().pair, pictures - 2);
    }
    // Two pictures give the two-picture fade's frames.
    const MixRequest pair = sequenceOf(2, 3, 2);
    std::vector<MorphFrameTime> times;
    for (const SequenceFrame& frame : sequenceTimeline(pair, 6))
        times.push_back(frame.time);
    MixRequest plain = pair;
    plain.sequenceFiles.clear();
    EXPECT_EQ(times, fadeTimeline(plain, 6));
}

TEST(FadeSequence, RefusesWhatItCannotFade)
{
    test::TempDir dir;
    MixRequest request = sequenceOf(0);
    for (const char* name : {"a.bmp", "b.bmp"}) {
        std::ofstream(dir / name) << "x";
        request.sequenceFiles.push_back((dir / name).string());
    }
    EXPECT_EQ(checkSequence(request, 2), std::nullopt);
    EXPECT_EQ(*checkSequence(request, 1), "a fade through a sequence needs at least 2 frames per step.");
    MixRequest pingPong = request;
    pingPong.morphTiming.pingPong = true;
    EXPECT_EQ(*checkSequence(pingPong, 5), "a fade through a sequence cannot ping-pong.");
    MixRequest morph = request;
    morph.morphMeshes = MorphMeshPair{};
    EXPECT_EQ(*checkSequence(morph, 5), "morph meshes are for one pair of pictures, not a sequence.");
    for (const auto& [bad, why] : {std::pair{(dir / "missing.bmp").string(), "no such file"},
                                   std::pair{dir.path().string(), "it is a folder"}}) {
        MixRequest missing = request;
        missing.sequenceFiles.insert(missing.sequenceFiles.begin() + 1, bad);
        EXPECT_EQ(*checkSequence(missing, 5), "picture 2 of the sequence (" + bad + ") cannot be read: " + why + ".");
    }
    MixRequest tooMany = request;
    tooMany.sequenceFiles.resize(kMaxSequencePictures + 1, request.sequenceFiles[0]);
    EXPECT_EQ(*checkSequence(tooMany, 5), "a sequence takes at most 10000 pictures.");
}

}  // namespace
}  // namespace vantorell
