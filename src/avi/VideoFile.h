// The Fade's outputs beside AVI and GIF: MP4 (H.264), WebM (VP9), animated WebP and APNG,
// written through FFmpeg's encoders and muxers from streamed frames (FrameSink's layout).
//
// Quality: --video-quality 0 .. 100, or -1 for each encoder's own default.
//   mp4   libx264, yuv420p, +faststart: CRF = 51 - q * 51 / 100 (integer division); default CRF 23
//   webm  libvpx-vp9, yuv420p, constant quality: CRF = 63 - q * 63 / 100; default CRF 31;
//         cpu-used 4 with row threads (libvpx's default speed takes seconds per 1080p frame)
//   webp  libwebp_anim: q < 100 is lossy with libwebp's quality q; 100 is lossless; default 75
//   apng  FFmpeg's APNG encoder, RGB24: always lossless, q is ignored
// The 4:2:0 encoders need an even width and height: a picture of odd size is padded with one
// black column on the right and/or one black row at the bottom (never stretched). WebP and
// APNG keep the picture's own size. Animated WebP and APNG loop forever; a WebP of one frame
// is a still WebP (libwebp writes no animation for it).
#pragma once

#include "avi/FrameSink.h"

#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace vantorell {

enum class VideoFormat { Mp4, Webm, Webp, Apng };

struct VideoFormatInfo {
    VideoFormat format;
    const char* name;          // command-line name: "mp4", "webm", "webp", "apng"
    const char* extension;     // of the result file: "mp4", "webm", "webp", "png"
    const char* encoder;       // FFmpeg's encoder
    const char* muxer;         // FFmpeg's muxer
    const char* description;
};

std::span<const VideoFormatInfo> videoFormats();
const VideoFormatInfo& videoFormatInfo(VideoFormat format);
// True when this build's FFmpeg has the format's encoder and muxer.
bool videoFormatAvailable(VideoFormat format);
// The frame size the encoder gets for a picture of `layout`: even sides for the 4:2:0 encoders.
FrameLayout videoCodedSize(VideoFormat format, FrameLayout layout);

class VideoFile : public FrameSink {
public:
    VideoFile();
    ~VideoFile() override;
    VideoFile(const VideoFile&) = delete;
    VideoFile& operator=(const VideoFile&) = delete;

    // Makes the file, the encoder and the stream at `rate` frames per second, and writes the
    // headers. `quality` is 0 .. 100 or -1 (the encoder's default). Answers 0 or an FFmpeg error.
    int open(const std::filesystem::path& path, VideoFormat format, FrameLayout layout, int rate, int quality);
    int writeFrame(std::span<const std::uint8_t> frame, std::int64_t index) override;
    int finish() override;

private:
    struct State;
    std::unique_ptr<State> m;
};

}  // namespace vantorell
