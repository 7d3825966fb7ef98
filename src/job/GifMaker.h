// The GIF maker: one animated GIF from a list of pictures, an animated GIF, or a video, through
// the one GIF encoder. Frames come one at a time from their source (a picture is decoded when
// its frame is wanted, a video decoded and resampled to the rate as it goes), so a long video
// never sits whole in memory; only what the encoder itself keeps does (a frame's indices, one
// byte a pixel, where the palette is made final after the last frame). Every frame takes the
// first frame's size: one of another size is fitted in, its proportions kept, centred.
#pragma once

#include "gif/GifOptions.h"
#include "job/MixRequest.h"
#include "platform/StepProgress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantorell {

inline constexpr int kGifMakerMaxFrames = 32767;   // as many as a GIF reader numbers
inline constexpr int kGifMakerMaxWidth = 32767;    // as wide as any picture of the program
inline constexpr double kGifMakerDefaultFps = 10;

struct GifMakerRequest {
    std::vector<std::string> inputs;   // pictures in order, or one animated GIF, or one video
    std::string outputFile;            // the GIF, replaced whole or not at all
    double fps = kGifMakerDefaultFps;  // pictures and videos: frames a second (a GIF keeps its own)
    int width = 0;                     // 0: the first frame's own width
    GifOptions gif;                    // palette, dither, optimise, lossy, size budget
    std::int64_t memoryLimit = MixRequest::kDefaultMemoryLimit;   // 0: none
    bool helperThreads = true;
};

struct GifMakerOutcome {
    bool written = false;
    bool cancelled = false;
    std::string error;       // why no GIF was written ("Frame 3 (b.png) could not be read: ...")
    int frames = 0;
    std::int64_t bytes = 0;
};

// Makes the GIF. `progress` sees every frame read and every frame stored; false cancels, and
// nothing is written. A failure writes nothing either: an earlier file stays as it was, and the
// temporary beside it goes.
GifMakerOutcome makeGif(const GifMakerRequest& request, const StepProgress& progress = {});

// Names sorted as people count: "frame2" before "frame10"; runs of digits by their value.
void sortNumerically(std::vector<std::string>& names);

}  // namespace vantorell
