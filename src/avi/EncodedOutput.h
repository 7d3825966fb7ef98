// One video stream written through FFmpeg: the muxer, the encoder and its frame, packet and
// converter, freed together. The AVI writer and the other video files build on it.
#pragma once

#include <cstdint>
#include <vector>

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct SwsContext;
struct AVFrame;
struct AVPacket;

namespace vantorell {

// The encoders' own reports (x264's statistics, libvpx's version) are not the user's
// business: FFmpeg's log keeps errors only (they still reach stderr).
void QuietEncoderReports();

// Opens the muxer's file for writing. A file that is empty (the temporary a result is made
// through) is not truncated again: on ext4 a truncation marks the file to have all its data
// flushed when it is closed, which for a large AVI costs as much as the renaming over the result
// that follows. Answers 0 or FFmpeg's error.
int openOutputFile(AVFormatContext* oc, const char* path);

struct EncodedOutput {
    AVFormatContext* oc = nullptr;
    AVStream* stream = nullptr;
    AVCodecContext* encoder = nullptr;   // none for packets written as they are
    SwsContext* sws = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    bool headerWritten = false;
    bool finished = false;

    EncodedOutput() = default;
    EncodedOutput(const EncodedOutput&) = delete;
    EncodedOutput& operator=(const EncodedOutput&) = delete;
    ~EncodedOutput();

    // Writes every packet the encoder has ready; 0 or FFmpeg's error.
    int drain();
    // Converts one picture of `rows` packed rows (`first` the top one, `linesize` apart, which
    // may be negative) into the encoder's frame, stamps it `index`, sends it and drains. With
    // keyFramesByGroup, every gop_size-th frame is asked to be a key frame.
    int encode(const std::uint8_t* first, int linesize, int rows, std::int64_t index, bool keyFramesByGroup);
    // `first` itself, or the same rows in `roomy` with room after them: see encode().
    const std::uint8_t* readablePastTheEnd(const std::uint8_t* first, int linesize, int rows);
    std::vector<std::uint8_t> roomy;
    // Once, after the header: flushes the encoder, writes the trailer and closes the file.
    // Answers the first error (0: none); a second call, or one before the header, does nothing.
    int finish();
};

}  // namespace vantorell
