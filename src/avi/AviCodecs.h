// The video codecs of our AVI files, in one table: the writer offers the rows that have an
// encoder (in this order, where this FFmpeg build has the encoder), and the reader decodes the
// codec of every row and no other, so no codec tag in a file reaches another decoder.
#pragma once

#include <span>
#include <string_view>

namespace vantorell {

struct AviCodec {
    const char* name;          // command-line name of an offered codec; FFmpeg's name of it unless ffmpegName is set
    const char* encoder;       // FFmpeg encoder the writer uses; nullptr: read, never offered
    const char* description;   // what the dialog shows
    bool intraOnly;            // every frame is a key frame whatever the interval
    bool lossy;                // a data rate and a quality apply
    const char* ffmpegName = nullptr;   // FFmpeg's name of the codec (avcodec_get_name) where it is not `name`

    bool offered() const { return encoder != nullptr; }
    std::string_view codecName() const { return ffmpegName ? ffmpegName : name; }
};

std::span<const AviCodec> aviCodecs();

}  // namespace vantorell
