// AviReader: the first video stream of an AVI file as 32-bit frames with their timing.
//
// The AVI is untrusted: the fade job's temporary file can be damaged, and the fuzzer feeds
// anything. The stream headers (strh) are read here, bounded, because FFmpeg's demuxer hides or
// mends what a reader depends on: it substitutes 25 frames per second for a zero rate, keeps
// the header's frame count whatever the file holds, and drops the frame rectangle. FFmpeg does
// the demuxing (AVI only, never probed) and the decoding (the codecs of `aviCodecs()` only).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>

namespace vantorell {

// Why a file cannot be read, or why reading stopped. Each answer names one rule.
enum class AviReadError {
    None,               // the stream is open (or every frame was read)
    NoFile,             // missing, unreadable, not a regular file, or empty
    NotAvi,             // no RIFF "AVI " form, or no stream header list (hdrl) that fits the file
    NoVideoStream,      // no stream of type "vids", or FFmpeg does not see it as video
    BadFrameRate,       // dwRate or dwScale is 0: the stream has no timing
    NoFrameSize,        // the stream's frames have no width or height
    FrameTooLarge,      // frame rectangle or coded frame beyond AviReadLimits::maxFrameSide / maxFramePixels
    OverLimit,          // more frames, or more pixels in all frames, than the limits allow
    UnsupportedCodec,   // a codec outside aviCodecs(), or one this FFmpeg lacks
    DecoderFailed,      // the demuxer or the decoder would not open
    FrameUnreadable,    // a frame could not be read or decoded
};

std::string_view aviReadErrorName(AviReadError error);

// Bounds for what a file can make a reader, and whoever keeps its frames, allocate. Tests and
// fuzzers lower them.
struct AviReadLimits {
    int maxFrameSide = 32767;                       // the GIF document's 16-bit sizes
    std::uint64_t maxFramePixels = 1ull << 26;      // 64 Mi pixels (8192 x 8192): 256 MB at 32 bits
    std::uint64_t maxTotalPixels = 1ull << 31;      // n x W x H: all frames at one byte a pixel
    std::int64_t maxFrames = 32767;                 // the GIF document's FramesCount is 16-bit signed
    std::uint32_t maxHeaderBytes = 1u << 20;        // the hdrl list must fit in this
    // Read uncompressed 24/32-bit frames straight from their chunks (false: always through
    // FFmpeg's decoder; tests compare the two ways).
    bool directUncompressed = true;
};

// The stream an open reader delivers.
struct AviStreamInfo {
    std::int64_t frames = 0;       // n: the header's frame count, never more than the file holds
    int width = 0, height = 0;     // W x H of every frame: the frame rectangle, else the coded size
    std::uint32_t rate = 0;        // frames per second = rate / scale
    std::uint32_t scale = 0;
    std::uint32_t start = 0;       // the first frame's number on the stream's time line
    int delay = 0;                 // aviFrameDelay(start, n, scale, rate); 0 when n is 0
    bool direct = false;           // uncompressed frames read straight from their chunks
};

// The delay of every frame, in hundredths of a second: T = the time at which frame start + n
// begins, in whole milliseconds truncated ((start + n) x 1000 x scale / rate); t = T / n rounded
// to the nearest, ties to even; delay = t / 10 rounded the same way, at most 65535 (the GIF
// field). n, scale and rate must be above 0.
int aviFrameDelay(std::int64_t start, std::int64_t n, std::uint32_t scale, std::uint32_t rate);

// Where a frame goes: W x H pixels, rows top-down without padding, each pixel blue, green, red
// and a fourth byte that carries nothing (what the file held, or 0); the frames are opaque.
struct BgrxFrame {
    int width = 0, height = 0;
    std::span<std::uint8_t> pixels;   // at least width x height x 4 bytes
};

class AviReader {
public:
    AviReader();
    ~AviReader();
    AviReader(const AviReader&) = delete;
    AviReader& operator=(const AviReader&) = delete;

    // Opens the first video stream of the AVI at `path`, or of the AVI held in `bytes` (which
    // must outlive the reader), and checks it against the limits. None, or why not; stream()
    // holds what was found before the answer (n, W and H also when they are over the limits).
    AviReadError open(const std::filesystem::path& path, const AviReadLimits& limits = {});
    AviReadError open(std::span<const std::uint8_t> bytes, const AviReadLimits& limits = {});

    const AviStreamInfo& stream() const;

    // The n frames in order, each in two steps: readFrame takes the next frame from the file
    // (an uncompressed frame goes straight into `frame`, others are decoded and held), and
    // drawFrame puts a held frame into `frame`, scaled to W x H by nearest pixel. A caller may
    // yield between the two. False when the frame cannot be read or decoded, when `frame` is
    // not W x H, or after the n-th frame.
    bool readFrame(const BgrxFrame& frame);
    bool drawFrame(const BgrxFrame& frame);

private:
    struct State;
    std::unique_ptr<State> m;
};

}  // namespace vantorell
