// JPEG output: the "Smart-Detect" quality estimate from an input file, and the writer that saves
// a picture as a JPEG file at a given quality (libjpeg-turbo, from the 32-bit pixels directly).
#pragma once

#include "platform/Picture.h"
#include "platform/WorkSurface.h"

#include <cstdint>
#include <string>

namespace vantorell {

// 101 - (W x H x 3) / L, rounded to the nearest (ties to even) and clamped to 1..100, where W x H
// is the pixel size of the file the surface's picture was decoded from and L the file's length
// in bytes: the file's compression ratio against 24-bit pixels. Raises FileNotFound or
// FileAccessError when the length cannot be taken, DivisionByZero for an empty file.
std::int16_t estimateJpegQuality(const WorkSurface& surface, const std::string& file);

// The estimate itself, for a picture of width x height pixels in a file of length bytes.
std::int16_t estimateJpegQuality(double width, double height, std::uint64_t length);

// Writes the picture as a baseline JPEG at the quality (0..100, the encoder's scale), replacing
// a file of that name. Raises error 5 "Cannot save the image. GDI+ Error:" + a non-zero status.
void savePictureAsJpeg(const Picture& picture, const std::string& file, std::uint8_t quality);

// The status numbers the writer reports, on the platform encoder's scale.
namespace jpegstatus {
inline constexpr int GenericError = 1;       // the encoder failed for no reason it tells
inline constexpr int InvalidParameter = 2;   // no picture to save
inline constexpr int NotImplemented = 6;     // no JPEG encoder available
inline constexpr int Win32Error = 7;         // the file cannot be created or written
}  // namespace jpegstatus

}  // namespace vantorell
