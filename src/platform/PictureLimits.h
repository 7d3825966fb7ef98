// The limits every picture decoded from a file must keep. They are checked from the file's
// header, before any large allocation, so a decompression bomb gets a clear error.
#pragma once

#include <cstdint>

namespace vantorell::limits {

inline constexpr int kMaxPictureSide = 32767;                        // pixels, width or height
inline constexpr std::uint64_t kMaxPicturePixels = 256ull * 1000 * 1000;   // 256 megapixels
inline constexpr std::uint64_t kMaxPictureBytes = kMaxPicturePixels * 4;   // decoded 32-bit pixels
inline constexpr int kMaxJpegScans = 256;                            // progressive scans in one JPEG

}  // namespace vantorell::limits
