// The Overlay mix: every pixel of the result is the per-channel average of the two pictures'
// pixels at the same position, at the first picture's size; where the second picture does not
// reach, it counts as white.
#pragma once

#include "platform/StepProgress.h"
#include "platform/WorkSurface.h"

#include <cstdint>

namespace vantorell {

// A colour 0x00BBGGRR split into its channels, in the record's order red, blue, green.
struct ColorSplit {
    std::int16_t red = 0;
    std::int16_t blue = 0;
    std::int16_t green = 0;
};

// red = colour AND 255, green = (colour / 256) AND 255, blue = (colour / 65536) AND 255; the
// invalid colour -1 splits into 255, 255, 255.
ColorSplit splitColor(std::int32_t colour);

// Fills result (made first's size) with the average of first and second, each channel
// nearest((c1 + c2) / 2) with ties to even. Visits the columns 0 to first's width inclusive and
// reports each as one step: x + 1 of width + 1. False when `progress` said to stop.
bool overlayPictures(WorkSurface& first, WorkSurface& second, WorkSurface& result, const StepProgress& progress);

// One row of the Overlay: `count` pixels of the first picture's row averaged with the second's,
// whose row covers the first `covered` of them (0: the second picture ends above this row; the
// rest counts as white). For a caller that streams the pictures row by row.
void averageOverlayRow(const std::uint8_t* firstRow, const std::uint8_t* secondRow, int covered, std::uint8_t* resultRow,
                       int count);

// The steps OverlayPictures reports for a first picture `width` pixels wide, without the work.
// False when `progress` said to stop.
bool reportOverlayProgress(int width, const StepProgress& progress);

}  // namespace vantorell
