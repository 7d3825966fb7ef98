// The EXIF orientation of a JPEG (every phone photo taken sideways is stored turned and says
// so in the Orientation tag, 0x0112, of its APP1 "Exif" segment's first IFD), and the turn that
// shows such a picture upright. The parser reads untrusted bytes: every length and offset is
// checked against the bytes it has, and anything malformed reads as "no orientation" (1).
#pragma once

#include "platform/Bitmap.h"

#include <cstdint>
#include <span>

namespace vantorell {

// 1 (upright, also for no tag or a malformed one) to 8, as EXIF numbers them: 2 mirrored,
// 3 turned 180 degrees, 4 flipped, 5 transposed, 6 to be turned 90 degrees clockwise,
// 7 transversed, 8 to be turned 90 degrees counter-clockwise.
int jpegExifOrientation(std::span<const std::uint8_t> jpeg);

// Orientations 5 to 8 swap width and height.
inline bool swapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// The stored pixels turned upright: pixel (x, y) of the answer is the stored pixel the
// orientation puts there. Orientation 1 (and any other number) answers the bitmap itself.
Bitmap orientUpright(const Bitmap& stored, int orientation);

}  // namespace vantorell
