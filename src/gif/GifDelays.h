// Frame delays written after the encoder: the encoder gives every frame one delay, and a GIF
// made from frames of their own timing (an animated GIF re-encoded, a video resampled to a rate
// whose frame time is not a whole number of hundredths) sets each frame's own afterwards.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vantorell {

// Sets the delay (hundredths of a second, clamped to 0..65535) of frame k of `gif` to
// delays[k], in the graphic control extension before each image. Frames past the list keep
// theirs. False, with `gif` unchanged, when the bytes are not a whole GIF or a frame has no
// graphic control extension.
bool setGifFrameDelays(std::vector<std::uint8_t>& gif, std::span<const int> delays);

// Delays for frames shown at `fps` frames per second: whole hundredths whose running sum keeps
// to the true times (at 30 fps: 3, 4, 3, 3, 4, 3 ...). At least 1 each.
std::vector<int> delaysForRate(int frames, double fps);

}  // namespace vantorell
