// The GIF size estimate bench's helper: the figure the window shows for a Fade to GIF, from the
// window's own route (PreviewEngine::renderNow with makePreviewGifSizeEstimator).
//   gif_estimate_tool IMAGE1 IMAGE2 FRAMES [CHOICE...]
//       prints the estimated bytes of result.gif; CHOICE: p=halftone|optimal|global|per-frame
//       d=none|ordered|ordered8|diffusion o=0|1 l=LOSSY q=QUALITY hs=HOLD_START he=HOLD_END pp=1
#include "app/GifOptionsModel.h"
#include "app/PreviewEngine.h"
#include "job/MixRequest.h"

#include <cstdio>
#include <map>
#include <string>

using namespace vantorell;

namespace {

const std::map<std::string, GifPalette> kPalettes = {{"halftone", GifPalette::Halftone},
                                                     {"optimal", GifPalette::Optimal},
                                                     {"global", GifPalette::Global},
                                                     {"per-frame", GifPalette::PerFrame}};
const std::map<std::string, GifDither> kDithers = {{"none", GifDither::None},
                                                   {"ordered", GifDither::Ordered},
                                                   {"ordered8", GifDither::Ordered8},
                                                   {"diffusion", GifDither::Diffusion}};

bool applyChoice(MixRequest& request, const std::string& choice)
{
    const std::size_t eq = choice.find('=');
    if (eq == std::string::npos)
        return false;
    const std::string key = choice.substr(0, eq), value = choice.substr(eq + 1);
    if (key == "p" && kPalettes.count(value))
        request.gif.palette = kPalettes.at(value);
    else if (key == "d" && kDithers.count(value))
        request.gif.dither = kDithers.at(value);
    else if (key == "o")
        request.gif.optimize = value == "1";
    else if (key == "l")
        request.gif.lossy = std::stoi(value);
    else if (key == "q")
        request.gif.quality = std::stoi(value);
    else if (key == "hs")
        request.morphTiming.holdStart = std::stoi(value);
    else if (key == "he")
        request.morphTiming.holdEnd = std::stoi(value);
    else if (key == "pp")
        request.morphTiming.pingPong = value == "1";
    else
        return false;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: gif_estimate_tool IMAGE1 IMAGE2 FRAMES [CHOICE...]\n");
        return 2;
    }
    MixRequest request;
    request.mixType = MixType::Fade;
    request.fadeOutput = FadeOutput::Gif;
    request.image1Path = argv[1];
    request.image2Path = argv[2];
    request.frameCountText = argv[3];
    for (int i = 4; i < argc; ++i)
        if (!applyChoice(request, argv[i])) {
            std::fprintf(stderr, "unknown choice: %s\n", argv[i]);
            return 2;
        }
    PreviewEngine engine({});
    engine.setGifSizeEstimator(makePreviewGifSizeEstimator());
    const PreviewResult result = engine.renderNow(PreviewInputs::from(request, 0));
    if (!result.resultBytes) {
        std::fprintf(stderr, "no estimate: %s\n", result.message.c_str());
        return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(*result.resultBytes));
    return 0;
}
