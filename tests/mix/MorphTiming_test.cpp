#include "mix/MorphTiming.h"

#include <gtest/gtest.h>

using namespace vantorell;

TEST(MorphTimeline, DefaultsGiveTheStepsWithTheFadeJobsProgress)
{
    for (int n : {1, 2, 3, 9, 10, 97}) {
        const auto frames = morphTimeline(n, {});
        ASSERT_EQ(frames.size(), std::size_t(n));
        for (int i = 0; i < n; ++i) {
            const float t = n == 1 ? 0.0f : float(double(i) / double(n - 1));   // the job's formula
            EXPECT_EQ(frames[i].step, i);
            EXPECT_EQ(frames[i].shapeT, t);   // bit-identical, not merely near
            EXPECT_EQ(frames[i].colourT, t);
        }
    }
}

TEST(MorphTimeline, HoldsAndPingPongRepeatSteps)
{
    struct Case {
        int steps, holdStart, holdEnd;
        bool pingPong;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {9, 2, 3, false, {0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 8, 8, 8}},   // 9 + 2 + 3 = 14 frames
        {3, 0, 0, true, {0, 1, 2, 1}},
        {3, 1, 1, true, {0, 0, 1, 2, 2, 2, 1, 0}},
        {1, 0, 0, true, {0}},
        {2, 0, 0, true, {0, 1}},
        {1, 2, 0, false, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        MorphTiming timing;
        timing.holdStart = c.holdStart;
        timing.holdEnd = c.holdEnd;
        timing.pingPong = c.pingPong;
        const auto frames = morphTimeline(c.steps, timing);
        std::vector<int> steps;
        for (const MorphFrameTime& f : frames)
            steps.push_back(f.step);
        EXPECT_EQ(steps, c.expected) << c.steps << " steps, holds " << c.holdStart << "/" << c.holdEnd;
        EXPECT_EQ(morphTimelineLength(c.steps, timing), (long long)c.expected.size());
    }
}

TEST(MorphTimeline, ShapeAndColourEaseApart)
{
    MorphTiming timing;
    timing.shapeEasing = Easing::In;
    timing.colourEasing = Easing::Out;
    const auto frames = morphTimeline(5, timing);
    EXPECT_EQ(frames[2].shapeT, 0.25f);
    EXPECT_EQ(frames[2].colourT, 0.75f);
    EXPECT_EQ(frames.front().shapeT, 0.0f);
    EXPECT_EQ(frames.back().colourT, 1.0f);
}

TEST(Ease, EveryCurveRunsFromZeroToOneMonotonically)
{
    for (Easing e : {Easing::Linear, Easing::In, Easing::Out, Easing::InOut}) {
        EXPECT_EQ(ease(e, 0.0), 0.0) << easingName(e);
        EXPECT_EQ(ease(e, 1.0), 1.0) << easingName(e);
        double previous = 0;
        for (int i = 1; i <= 100; ++i) {
            const double v = ease(e, i / 100.0);
            EXPECT_GE(v, previous) << easingName(e);
            previous = v;
        }
        EXPECT_EQ(easingFromName(easingName(e)), e);
    }
    EXPECT_EQ(ease(Easing::InOut, 0.5), 0.5);
    EXPECT_LT(ease(Easing::In, 0.5), 0.5);
    EXPECT_GT(ease(Easing::Out, 0.5), 0.5);
    EXPECT_FALSE(easingFromName("ease"));
    EXPECT_FALSE(easingFromName(""));
}
