// The AVI writer of the Fade job: the job's frames (frame 0 onward) become one AVI video stream
// at the chosen frame rate, through FFmpeg's AVI muxer and the encoder the user picks.
#pragma once

#include "avi/AviCodecs.h"
#include "avi/FrameSink.h"
#include "platform/BitmapInfoHeader.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vantorell {

// The video encoders of this FFmpeg build that the AVI container carries, in the order the
// dialog shows them: "uncompressed" (always), "mjpeg", "mpeg4", "ffv1", "huffyuv", "h264".
// The codecs with a choice of key frames (MPEG-4, H.264) start at a key frame every two
// seconds of frames at `framesPerSecond` (the stream's rate).
std::vector<CompressorOption> aviCompressors(int framesPerSecond = 1);

// The key-frame interval of a codec that has the choice, unless the user gives one: two
// seconds of frames at the stream's rate.
int aviDefaultKeyFrameEvery(int streamRate);

// Frames per second as the stream's rate: clamped to 1 ... 30 (scale 1).
int aviStreamRate(int framesPerSecond);

// The delay of every frame, in hundredths of a second: T = the time at which frame start + n
// begins, in whole milliseconds truncated ((start + n) x 1000 x scale / rate); t = T / n rounded
// to the nearest, ties to even; delay = t / 10 rounded the same way, at most 65535 (the GIF
// field). n, scale and rate must be above 0.
int aviFrameDelay(std::int64_t start, std::int64_t n, std::uint32_t scale, std::uint32_t rate);

// How writing an AVI ended.
enum class AviWriteResult {
    Written,     // every frame written and the file closed
    Cancelled,   // the compressor dialog was cancelled
    Failed,      // a message said why (or a RuntimeError went to the caller)
};

// The AVI stream: open, create the stream from the first frame's format, pick the encoder,
// append frames, finish. Each call answers 0 or an FFmpeg error code (negative).
class AviStreamWriter {
public:
    AviStreamWriter();
    ~AviStreamWriter();
    AviStreamWriter(const AviStreamWriter&) = delete;
    AviStreamWriter& operator=(const AviStreamWriter&) = delete;

    int open(const std::filesystem::path& path);
    // The stream's format: the first frame's information header (and colour table).
    int createStream(const BitmapInfoHeader& format, std::span<const std::uint8_t> bitmapInfo, int rate);
    // Makes the encoder for the choice and writes the file's headers.
    int makeCompressed(const CompressorChoice& choice);
    // A file without frames: the uncompressed stream's headers only (the dialog was cancelled).
    int writeEmpty();
    // Appends one frame's pixel bytes, laid out as the first frame's format.
    int writeFrame(std::span<const std::uint8_t> bits, std::int64_t index);
    // Flushes the encoder and writes the index; the file is closed.
    int finish();

private:
    struct State;
    std::unique_ptr<State> m;
};

// An AVI of streamed frames (FrameSink's layout): the fade renders each frame straight into it,
// without frame files. open() makes the stream; then either start() with the compressor the
// user chose, or writeEmpty() when the dialog was cancelled.
class AviFrameFile : public FrameSink {
public:
    int open(const std::filesystem::path& path, FrameLayout layout, int rate);
    int start(const CompressorChoice& choice);
    int writeEmpty();
    int writeFrame(std::span<const std::uint8_t> frame, std::int64_t index) override;
    int finish() override;

private:
    AviStreamWriter m_avi;
};

// Formats an FFmpeg error code.
std::string aviErrorText(int code);

}  // namespace vantorell
