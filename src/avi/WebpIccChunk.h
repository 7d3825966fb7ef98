// An ICC profile put into an animated WebP file that has none: FFmpeg's WebP writer has no
// place for colour, so the profile is added to the finished file (an ICCP chunk after VP8X and
// VP8X's ICC flag set, as the WebP container asks).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace vantorell {

// Rewrites `path` with `icc` as its ICCP chunk (through a copy renamed over it). A file that is
// not an extended WebP, or has a profile already, is left as it is. Returns 0 or the errno of a
// failed read or write, which leaves the file as it was.
int addWebpIccProfile(const std::filesystem::path& path, std::span<const std::uint8_t> icc);

}  // namespace vantorell
