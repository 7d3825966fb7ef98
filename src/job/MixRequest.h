// The job API's plain values: what a caller asks of a mix (MixRequest) and what it learns back
// (MixOutcome). The window builds a request from its controls, the command line from its
// options; both read the outcome.
#pragma once

#include "colour/ColourSpaces.h"
#include "gif/GifOptions.h"
#include "mix/Blend.h"
#include "mix/MeshFile.h"
#include "mix/MorphTiming.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell {

enum class MixType { Blend, Fade, Overlay };
// Where the second picture comes in on a Blend.
enum class BlendDirection { Left, Right, Top, Bottom };

// Left and Right run the ramp across columns, Top and Bottom across rows.
inline BlendOrientation blendOrientationOf(BlendDirection direction)
{
    return direction == BlendDirection::Left || direction == BlendDirection::Right ? BlendOrientation::Horizontal
                                                                                  : BlendOrientation::Vertical;
}

// The largest Blend Size (start line) of a direction on a canvas: 729 on the default canvas,
// else the canvas's width (Left, Right) or height (Top, Bottom).
inline int blendSizeLimit(BlendDirection direction, const BlendCanvas& canvas)
{
    return blendSeamExtent(canvas.width, canvas.height, blendOrientationOf(direction));
}
enum class JpegQualityChoice { SmartDetect, Fixed };
enum class FadeOutput {
    Avi,
    Gif,
    // Through FFmpeg's encoders (avi/VideoFile): result.mp4, .webm, .webp, .png (APNG).
    Mp4,
    Webm,
    Webp,
    Apng,
};

// The values of one job, with the window's design values as defaults. Numbers the user types
// (frame count, frames per second) stay text: they are converted at the step that needs them,
// so a bad value is reported at that step's label.
struct MixRequest {
    MixType mixType = MixType::Blend;
    std::string image1Path;
    std::string image2Path;
    std::string outputFolder;

    BlendDirection blendDirection = BlendDirection::Left;
    // The line where the seam starts, 0 .. blendSeamExtent of the canvas (729 on the default
    // canvas; beyond it, the job takes the extent).
    int blendStart = 0;
    // The Blend's result size and how each picture is laid on it (mix/Blend.h); the default is
    // 729 x 425, stretched. Sides beyond kBlendCanvasMinSide .. kBlendCanvasMaxSide are clamped.
    BlendCanvas blendCanvas;

    // Blend, Overlay, Fade: picture 2 mapped onto picture 1's frame first (align/Align.h),
    // through the job's PictureAligner. Off: the pictures as they are.
    bool align = false;
    // Fade: mesh 2 placed from mesh 1 (the request's, else the regular one) by the job's
    // MeshPlacer (align/AutoMesh.h), in picture 2's own pixels: picture 2 is read unaligned, its
    // alignment lives in the mesh. A non-empty saveMeshFile receives the mesh file used.
    bool autoMesh = false;
    std::string saveMeshFile;

    JpegQualityChoice qualityChoice = JpegQualityChoice::SmartDetect;
    int fixedQuality = 85;   // 1 .. 100, used with JpegQualityChoice::Fixed

    std::string frameCountText = "10";
    std::string framesPerSecondText = "5";
    FadeOutput fadeOutput = FadeOutput::Avi;
    // The AVI compressor by name ("uncompressed", "mjpeg", ...); empty: the job asks the user
    // through the compressor dialog.
    std::optional<std::string> codec;
    // The GIF's choices (gif/GifOptions.h); the defaults keep the plain GIF output. The
    // delay comes from the frames per second, the frames' size is the pictures'.
    GifOptions gif;

    // An explicit result file (the command line's --output-file, a batch's named outputs):
    // empty, the job writes outputFolder/result.<ext>; otherwise exactly this file, with
    // ".<ext>" added only when its name has no extension. outputFolder is then not used.
    std::string outputFile;

    // The video outputs (MP4, WebM, WebP, APNG): 0 .. 100, mapped to each encoder's scale
    // (avi/VideoFile.h); -1: each encoder's own default.
    int videoQuality = -1;

    // Morph (job/FadeMorph.h): the meshes the Fade lays on the two pictures, scaled to their
    // size (none: the same regular 5 x 5 mesh on both, a plain cross-fade), and the timing of
    // its frames (easing, hold frames, ping-pong). The defaults give the plain fade's frames.
    std::optional<MorphMeshPair> morphMeshes;
    MorphTiming morphTiming;

    // A fade through a sequence (job/FadeSequence.h): two or more pictures, faded each into the
    // next in one output; image1Path and image2Path then name the first two. Empty: one pair.
    std::vector<std::string> sequenceFiles;

    // The most memory one Fade may need for its pictures and frames, estimated from the
    // pictures' sizes before any frame is made; a job that needs more is refused.
    std::int64_t memoryLimit = kDefaultMemoryLimit;
    static constexpr std::int64_t kDefaultMemoryLimit = std::int64_t(4) << 30;   // 4 GiB

    // What the pictures' colour profiles do (colour/ColourSpaces.h): keep (a JPEG result in the
    // first picture's space, other results sRGB), srgb, or ignore (the numbers as they are).
    ColourChoice colour = ColourChoice::Keep;
};

// "jpg", "avi", "gif", "mp4", "webm", "webp" or "png": the extension of the request's result file.
std::string outputExtension(const MixRequest& request);

// The file name of the request's result: "result.jpg", or the name of its explicit output file.
std::string resultFileName(const MixRequest& request);

// The path of the request's result: outputFolder/result.<ext>, or its explicit output file.
std::string resultPath(const MixRequest& request);

// One message box the job showed.
struct ShownMessage {
    std::string text;
    std::string title;
};

// One "Application Error" report: the run-time error's number and description, and the routine
// and step label it names.
struct StepError {
    int number = 0;
    std::string description;
    std::string routine;
    int label = 0;
    std::string inputProblem;   // for an input file: what went wrong with it (RuntimeError::inputProblem)
};

struct MixOutcome {
    bool started = false;          // false: a job was already running, and this one returned at once
    std::string outputPath;        // the result file the job aimed at (empty before the folder check)
    std::optional<std::string> writtenFile;   // the result file, when the job wrote it
    std::string failure;           // why no result was written, as the closing box says it
    bool cancelled = false;        // the user cancelled: no result, no failure
    std::vector<ShownMessage> messages;       // every box shown, in order, the reports included
    std::vector<StepError> errors;            // the "Application Error" reports, in order
    int jpegQuality = 0;           // the JPEG quality a Blend or Overlay used (0: none decided)
    std::vector<std::string> notes;           // what the job noticed without a box (an ignored colour profile)

    bool wroteResult() const { return writtenFile.has_value(); }
    // The result was written and nothing went wrong on the way: no report, no failure.
    bool succeeded() const { return wroteResult() && errors.empty() && failure.empty(); }
};

// The closing box of a job that wrote nothing: "No result was written: " + the reason.
inline constexpr std::string_view kNoResultPrefix = "No result was written: ";

}  // namespace vantorell
