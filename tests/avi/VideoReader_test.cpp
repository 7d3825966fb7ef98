#include "avi/VideoFile.h"
#include "avi/VideoReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantorell;

namespace {

// 12 frames of 32 x 16 at 5 a second, each with its own red and a green ramp.
void writeVideo(const std::filesystem::path& file)
{
    const FrameLayout layout{32, 16};
    VideoFile video;
    ASSERT_EQ(video.open(file, VideoFormat::Mp4, layout, 5, 100), 0);
    for (int k = 0; k < 12; ++k) {
        std::vector<std::uint8_t> frame(layout.bytes(), 0);
        for (int y = 0; y < layout.height; ++y)
            for (int x = 0; x < layout.width; ++x) {
                frame[std::size_t(y) * layout.stride() + std::size_t(x) * 3 + 1] = std::uint8_t(8 * x);
                frame[std::size_t(y) * layout.stride() + std::size_t(x) * 3 + 2] = std::uint8_t(20 * (k + 1));
            }
        ASSERT_EQ(video.writeFrame(frame, k), 0);
    }
    ASSERT_EQ(video.finish(), 0);
}

}  // namespace

// However frames are asked for (kept from an earlier pass or decoded again), each is the
// picture a reading in order gives.
TEST(VideoReader, AnyOrderOfReadingGivesTheSamePictures)
{
    test::TempDir dir;
    writeVideo(dir / "clip.mp4");
    const auto read = [&](const std::vector<int>& order, std::size_t keepAtMost = std::size_t(1) << 30) {
        VideoReader reader;
        EXPECT_EQ(reader.open(dir / "clip.mp4", 10, 0, 1000), "");
        reader.keepAtMost(keepAtMost);
        std::vector<std::vector<std::uint8_t>> pictures(std::size_t(reader.frameCount()));
        for (const int index : order) {
            std::vector<std::uint8_t> picture(32 * 16 * 4);
            EXPECT_TRUE(reader.frame(index, picture.data(), 32 * 4)) << index << ": " << reader.error();
            if (!pictures[std::size_t(index)].empty()) {
                EXPECT_EQ(picture, pictures[std::size_t(index)]) << "frame " << index << " read again";
            }
            pictures[std::size_t(index)] = std::move(picture);
        }
        return pictures;
    };
    std::vector<int> inOrder(24);
    for (int i = 0; i < 24; ++i)
        inOrder[std::size_t(i)] = i;
    const std::vector<std::vector<std::uint8_t>> expected = read(inOrder);
    ASSERT_EQ(expected.size(), 24u);

    std::vector<int> twice = inOrder, spreadThenAll = {4, 5, 12, 13, 22, 23}, backwards;
    twice.insert(twice.end(), inOrder.begin(), inOrder.end());
    spreadThenAll.insert(spreadThenAll.end(), inOrder.begin(), inOrder.end());
    for (int i = 23; i >= 0; --i)
        backwards.push_back(i);
    for (const std::vector<int>& order : {twice, spreadThenAll, backwards})
        for (const std::size_t keepAtMost : {std::size_t(1) << 30, std::size_t(3 * 32 * 16 * 4), std::size_t(0)})
            EXPECT_EQ(read(order, keepAtMost), expected) << "keeping at most " << keepAtMost << " bytes";
}
