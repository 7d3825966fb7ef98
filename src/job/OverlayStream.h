// The Overlay of two JPEG files streamed into its JPEG result a band of rows at a time: the same
// bytes as decoding both pictures whole, averaging them and encoding the average, in a few
// megabytes instead of three whole pictures. Only for inputs it can take (both JPEG, grey or
// colour, within the picture limits); for anything else, and whenever libjpeg refuses data on
// the way, the caller keeps to the whole-picture steps, which report as they always have.
#pragma once

#include "colour/ColourSpaces.h"
#include "job/ResultFile.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantorell {

struct StreamedOverlay {
    std::unique_ptr<ResultFile> result;   // written whole, not yet committed
    int width = 0;                        // the first picture's width, for the progress steps
    std::int16_t quality1 = 0, quality2 = 0;   // the Smart-Detect estimates of the two files
    std::vector<std::string> notes;       // colour profiles that were ignored
};

// Writes the Overlay of image1 and image2 to a temporary beside resultPath at the quality the
// steps would choose (the fixed one, else the larger of the two estimates). Nothing when the
// stream cannot take the inputs or fails; its temporary is then gone. The rows are brought
// into the working space of the colour choice as they are decoded.
std::optional<StreamedOverlay> streamOverlay(const std::string& image1, const std::string& image2,
                                             const std::string& resultPath, std::optional<int> fixedQuality,
                                             ColourChoice colour = ColourChoice::Keep);

}  // namespace vantorell
