// Whole jobs: the command line's Blend and Overlay (and, in libvantorell-video, the Fade),
// reading two picture files and writing one result file whole or not at all. What goes wrong
// inside a job is not thrown: it is the outcome's failure and error reports.
#pragma once

#include "vantorell/gif.h"
#include "vantorell/mix.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantorell::api {

enum class ColourHandling { Keep, Srgb, Ignore };   // the command line's --colour
enum class FadeFormat { Avi, Gif, Mp4, Webm, Webp, Apng };

// Every option of vantorell-mix, as typed values; the defaults are its defaults.
struct JobRequest {
    std::string image1;
    std::string image2;
    std::vector<std::string> sequence;   // a Fade through two or more pictures (image1/image2 unused)
    std::string outputFolder;            // the job writes outputFolder/result.<ext> ...
    std::string outputFile;              // ... or exactly this file when it is set
    BlendOptions blend;
    bool align = false;                  // needs libvantorell-video (runJob); the core refuses it
    std::optional<int> jpegQuality;      // 1 .. 100; none: estimated from the inputs (Smart-Detect)
    ColourHandling colour = ColourHandling::Keep;
    // The Fade's.
    FadeOptions fade;                    // frames, easing, holds, ping-pong, mesh
    int framesPerSecond = 5;
    FadeFormat format = FadeFormat::Avi;
    std::string codec = "uncompressed";  // the AVI compressor: uncompressed, mjpeg, mpeg4, ffv1, huffyuv, h264
    int videoQuality = -1;               // MP4, WebM, WebP: 0 .. 100; -1 the encoder's default
    GifOptions gif;                      // its delay comes from framesPerSecond
    std::int64_t memoryLimit = std::int64_t(4) << 30;   // 0: no limit
};

struct JobProgress {
    double percent = 0;    // 0 .. 100
    std::string step;      // "Frame 4 of 10", "Writing GIF"; often empty
};
// Called on the job's thread as the progress changes; answer false to cancel the job (it ends
// with JobOutcome::cancelled and writes nothing). It must not throw.
using ProgressCallback = std::function<bool(const JobProgress&)>;

struct JobMessage {
    std::string text;
    std::string title;
};

// An "Application Error" report of a step.
struct JobErrorReport {
    int number = 0;
    std::string description;
    std::string routine;
    int label = 0;
};

struct JobOutcome {
    std::string outputPath;                 // the result file the job aimed at
    std::optional<std::string> writtenFile; // set when the result was written
    std::string failure;                    // why no result was written ("" when it was)
    bool cancelled = false;
    std::vector<JobMessage> messages;       // every message, in order ("Done." last on success)
    std::vector<JobErrorReport> errors;
    int jpegQuality = 0;                    // the quality a JPEG result used
    std::vector<std::string> notes;         // what the job noticed (an ignored colour profile)

    bool succeeded() const { return writtenFile.has_value() && errors.empty() && failure.empty(); }
};

// Blend and Overlay in libvantorell. The job runs on the calling thread; different threads may
// run jobs at once. Throws Error(InvalidArgument) only for values out of range (a quality
// outside 1 .. 100, a canvas side outside 16 .. 8192).
VANTORELL_API JobOutcome runBlend(const JobRequest& request, const ProgressCallback& progress = {});
VANTORELL_API JobOutcome runOverlay(const JobRequest& request, const ProgressCallback& progress = {});

}  // namespace vantorell::api
