// The video reader on a clip FFmpeg's H.264 encoder makes with pictures predicted from both
// sides (some of which no later picture refers to, and which the reader may leave undecoded).
#include "avi/VideoReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

using namespace vantorell;

// At a rate below the video's, frame i is the picture of time i / rate, as read at the video's
// own rate.
TEST(VideoReaderPeer, SlowerRatesShowThePicturesOfTheirTimes)
{
    test::TempDir dir;
    const auto clip = dir / "clip.mp4";
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=30 -frames:v 60 "
                                "-c:v libx264 -bf 3 -g 30 -pix_fmt yuv420p '" + clip.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const auto read = [&](double rate) {
        VideoReader reader;
        EXPECT_EQ(reader.open(clip, rate, 0, 1000), "");
        std::vector<std::vector<std::uint8_t>> pictures;
        for (int index = 0; index < reader.frameCount(); ++index) {
            std::vector<std::uint8_t> picture(160 * 120 * 4);
            EXPECT_TRUE(reader.frame(index, picture.data(), 160 * 4)) << index << ": " << reader.error();
            pictures.push_back(std::move(picture));
        }
        return pictures;
    };
    const std::vector<std::vector<std::uint8_t>> own = read(30);
    ASSERT_EQ(own.size(), 60u);
    for (std::size_t i = 1; i < own.size(); ++i)
        ASSERT_NE(own[i], own[i - 1]) << "picture " << i << " repeats the one before";
    for (const double rate : {15.0, 10.0, 7.5, 12.0, 4.0}) {
        const std::vector<std::vector<std::uint8_t>> slower = read(rate);
        ASSERT_EQ(slower.size(), std::size_t(std::ceil(2 * rate - 1e-6))) << rate;
        for (std::size_t i = 0; i < slower.size(); ++i) {
            const std::size_t picture = std::min<std::size_t>(59, std::size_t(double(i) * 30 / rate + 1e-6));
            EXPECT_EQ(slower[i], own[picture]) << "frame " << i << " at " << rate << " a second";
        }
    }
}
