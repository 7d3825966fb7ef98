// Checks, from a picture file's structure alone, that its data is all there before a decoder
// allocates the picture: Qt's readers decode what they find and leave the rest of a truncated
// BMP or GIF blank, and allocate a picture as big as the header claims however small the file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace vantorell {

// True when the file is a BMP, GIF, PNG or WebP whose data ends before the picture (its first
// frame) does, or is too short to hold the picture its header describes. Other formats, and
// headers that make no sense (left to the decoder to refuse), answer false.
bool pictureDataEndsEarly(std::span<const std::uint8_t> bytes);

// An animated WebP's canvas and frame count as its chunks say (VP8X, one ANMF a frame), read
// without decoding; none for a file that is not an animated WebP.
struct AnimationLayout {
    std::uint32_t width = 0, height = 0, frames = 0;
};
std::optional<AnimationLayout> webpAnimationLayout(std::span<const std::uint8_t> bytes);

// A BMP whose rows are stored top down (a negative height), which Qt's reader refuses.
bool isTopDownBmp(std::span<const std::uint8_t> bytes);

}  // namespace vantorell
