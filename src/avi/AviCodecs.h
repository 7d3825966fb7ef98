// The video codecs of our AVI files, in one table: the writer offers its rows in this order,
// where this FFmpeg build has the encoder and the AVI container carries the codec.
#pragma once

#include <span>
#include <string>

namespace vantorell {

struct AviCodec {
    const char* name;          // command-line name of the codec
    const char* encoder;       // FFmpeg encoder the writer uses
    const char* description;   // what the dialog shows
    bool intraOnly;            // every frame is a key frame whatever the interval
    bool lossy;                // a data rate and a quality apply
};

std::span<const AviCodec> aviCodecs();

// One encoder as the compressor dialog offers it (aviCompressors() builds the list).
struct CompressorOption {
    std::string name;          // command-line name: "uncompressed", "mjpeg", "mpeg4", "ffv1", "huffyuv", "h264"
    std::string description;   // what the dialog shows: "Full Frames (Uncompressed)", ...
    bool supportsKeyFrames = false;
    bool supportsDataRate = false;
    bool supportsQuality = false;
    int keyFrameEvery = 1;     // the key-frame interval the dialog starts with
};

// What the compressor dialog answers.
struct CompressorChoice {
    std::string name;          // one of CompressorOption::name
    int keyFrameEvery = 0;     // a key frame every N frames (1: every frame); 0: the codec's
                               // default, two seconds of frames where key frames are chosen
    int dataRateKbps = 0;      // 0: no data-rate limit
    int quality = -1;          // 0..100, -1: the codec's default
};

}  // namespace vantorell
