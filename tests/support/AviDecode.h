// Decodes an AVI file with FFmpeg's own demuxer and decoders, for tests that check what the
// AVI writer produced against the frames it was given.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vantorell::test {

struct DecodedAvi {
    bool opened = false;
    std::string container;                          // FFmpeg's demuxer name: "avi"
    unsigned streams = 0;
    std::string codec;                               // "rawvideo", "ffv1" ...
    int width = 0, height = 0;
    int timeBaseNum = 0, timeBaseDen = 0;            // the stream's scale / rate
    std::vector<std::vector<std::uint8_t>> frames;   // top-down packed BGR24
    std::vector<bool> key;                           // key-frame flag of each packet
};

DecodedAvi DecodeAvi(const std::filesystem::path& file);

}  // namespace vantorell::test
