// mAVIImp: reads the video stream of an AVI file into the frames of a GifDocument document. Each
// decoded frame becomes a 32-bit picture of the stream's frame size, is reduced to 8 bits with
// one palette shared by the whole animation (the first frame makes it) and stored as a GIF
// frame whose delay comes from the stream's timing.
//
// The AVI is untrusted: the fade job's temporary file can be damaged, and the fuzzer feeds
// anything. The stream headers (strh) are read here, bounded, because FFmpeg's demuxer hides or
// mends what the import depends on: it substitutes 25 frames per second for a zero rate, keeps
// the header's frame count whatever the file holds, and drops the frame rectangle. FFmpeg does
// the demuxing (AVI only, never probed) and the decoding (the codecs the AVI writer offers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace vantorell {

class GifDocument;
class Ditherer;
class ProgressBar;
class UiPort;

// Why an import ended. Each answer names one rule.
enum class AviImportError {
    None,               // every frame was read
    NoFile,             // missing, unreadable, not a regular file, or empty
    NotAvi,             // no RIFF "AVI " form, or no stream header list (hdrl) that fits the file
    NoVideoStream,      // no stream of type "vids", or FFmpeg does not see it as video
    BadFrameRate,       // dwRate or dwScale is 0: the stream has no timing
    NoFrameSize,        // the stream's frames have no width or height
    FrameTooLarge,      // frame rectangle or coded frame beyond AviImportLimits::maxFrameSide / maxFramePixels
    OverLimit,          // more frames, or more 8-bit document bytes, than the limits allow
    UnsupportedCodec,   // a codec outside the ones the AVI writer offers, or one this FFmpeg lacks
    DecoderFailed,      // the demuxer or the decoder would not open
    FrameUnreadable,    // a frame could not be read or decoded (that frame stays blank)
    DocumentChanged,    // the document was changed by a handler while the import yielded
};

std::string_view aviImportErrorName(AviImportError error);

// Bounds for what a file can make the import allocate. Tests and fuzzers lower them.
struct AviImportLimits {
    int maxFrameSide = 32767;                       // the document's 16-bit sizes
    std::uint64_t maxFramePixels = 1ull << 26;      // 64 Mi pixels (8192 x 8192): 256 MB at 32 bits
    std::uint64_t maxDocumentBytes = 1ull << 31;    // N x W x H bytes of 8-bit frames
    std::int64_t maxFrames = 32767;                 // FramesCount is a 16-bit signed number
    std::uint32_t maxHeaderBytes = 1u << 20;        // the hdrl list must fit in this
    // Read uncompressed 24/32-bit frames straight from their chunks (false: always through
    // FFmpeg's decoder; tests compare the two ways).
    bool directUncompressed = true;
};

// What an import found and why it ended.
struct AviImportReport {
    AviImportError error = AviImportError::None;
    std::int64_t frames = 0;       // n: the frames the import set out to read
    int width = 0, height = 0;     // W x H of every GIF frame
    int delay = 0;                 // FrameDelay of every frame, hundredths of a second
    bool direct = false;           // uncompressed frames read straight from their chunks
};

// The delay of every frame, in hundredths of a second: T = the time at which frame start + n
// begins, in whole milliseconds truncated ((start + n) x 1000 x scale / rate); t = T / n rounded
// to the nearest, ties to even; delay = t / 10 rounded the same way, at most 65535 (the GIF
// field). n, scale and rate must be above 0.
int AviFrameDelay(std::int64_t start, std::int64_t n, std::uint32_t scale, std::uint32_t rate);

// Reads the first video stream of the AVI at `path` into `gif` (which the caller has emptied):
// n frames of W x H, each dithered through `dither` with its current palette and dither modes,
// delay as AviFrameDelay, disposal 3, the palette as global palette and a copy in every frame's
// local palette storage (LocalPaletteUsed stays false). The progress bar runs from 1 to n with
// one yield per frame and ends at 0. True when every frame was read (n = 0 is true with no
// frames); false when the file cannot be opened or a frame cannot be read, in which case the
// document holds the frames read so far and, blank, the one that failed.
bool ImportAviToGif(const std::filesystem::path& path, GifDocument& gif, ProgressBar& progress, UiPort& ui,
                    Ditherer& dither, AviImportReport* report = nullptr, const AviImportLimits& limits = {});

// The same over an AVI held in memory (the fuzzer's way in).
bool ImportAviToGif(std::span<const std::uint8_t> bytes, GifDocument& gif, ProgressBar& progress, UiPort& ui,
                    Ditherer& dither, AviImportReport* report = nullptr, const AviImportLimits& limits = {});

}  // namespace vantorell
