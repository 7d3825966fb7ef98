#include "avi/FramePipeline.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantorell;

namespace {

// Records every frame's index and first byte; fails at `failAt` with -5.
struct RecordingSink : FrameSink {
    int failAt = -1;
    std::vector<std::int64_t> indices;
    std::vector<std::uint8_t> firstBytes;
    int writeFrame(std::span<const std::uint8_t> frame, std::int64_t index) override
    {
        if (index == failAt)
            return -5;
        indices.push_back(index);
        firstBytes.push_back(frame[0]);
        return 0;
    }
    int finish() override { return 0; }
};

}  // namespace

TEST(FramePipeline, WritesEveryFrameInOrderAndStopsAtTheFirstError)
{
    for (int failAt : {-1, 0, 3}) {
        RecordingSink sink;
        sink.failAt = failAt;
        std::int64_t written = 0;
        int error = 0;
        {
            FramePipeline pipeline(sink, FrameLayout{5, 3});
            EXPECT_EQ(pipeline.layout().bytes(), 48u);   // rows of 15 bytes padded to 16
            for (int i = 0; i < 8; ++i) {
                std::vector<std::uint8_t> frame = pipeline.take();
                ASSERT_EQ(frame.size(), 48u);
                frame[0] = std::uint8_t(i);
                pipeline.submit(std::move(frame));
            }
            error = pipeline.drain();
            written = pipeline.written();
        }
        const int expected = failAt < 0 ? 8 : failAt;
        EXPECT_EQ(error, failAt < 0 ? 0 : -5) << failAt;
        EXPECT_EQ(written, expected) << failAt;
        ASSERT_EQ(sink.indices.size(), std::size_t(expected));
        for (int i = 0; i < expected; ++i) {
            EXPECT_EQ(sink.indices[std::size_t(i)], i);
            EXPECT_EQ(sink.firstBytes[std::size_t(i)], i);
        }
    }
}
