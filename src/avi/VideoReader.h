// VideoReader: the frames of a video file (any container and codec this build's FFmpeg reads)
// resampled to a fixed rate, as top-down 32-bit rows (blue, green, red, unused), scaled to a
// chosen width. Frame i is the picture shown at i / rate seconds from the stream's start.
// Frames are decoded in order. Once they are asked for out of order (a caller sampling ahead of
// its pass), the frames passed on the way are converted (on a thread of their own, beside the
// decoding) and kept, up to 512 MB (or keepAtMost's bytes), and asking for an earlier one not
// kept starts the stream again. Pictures no frame shows may be left undecoded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace vantorell {

class VideoReader {
public:
    VideoReader();
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    // Opens the file's best video stream. `width` 0 keeps the video's own size; else frames are
    // `width` wide and as tall as keeps the proportions. An empty answer on success, else why
    // not ("has no video stream", "is not a video FFmpeg can read"). Videos longer than
    // `maxFrames` frames at `fps` are refused.
    std::string open(const std::filesystem::path& file, double fps, int width, int maxFrames);

    int width() const;
    int height() const;
    int frameCount() const;
    // The video's own size.
    int sourceWidth() const;
    int sourceHeight() const;

    // Puts frame `index` into rows of `stride` bytes. False when the video cannot be decoded
    // (error() says why). Past the stream's last picture the last one is shown again.
    bool frame(int index, std::uint8_t* pixels, std::size_t stride);
    // At most this many bytes of converted frames are kept (below 512 MB; 0: none).
    void keepAtMost(std::size_t bytes);
    const std::string& error() const;

private:
    struct State;
    std::unique_ptr<State> m;
};

}  // namespace vantorell
