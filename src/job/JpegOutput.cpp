#include "job/JpegOutput.h"

#include "platform/RuntimeError.h"

#include "platform/JpegCodec.h"

#include <cmath>
#include <filesystem>
#include <system_error>

namespace vantorell {

std::int16_t estimateJpegQuality(double width, double height, std::uint64_t length)
{
    if (length == 0)
        throw RuntimeError(errnum::DivisionByZero, "Division by zero");
    const double v = 101.0 - (width * height * 3.0) / double(length);
    const double rounded = std::nearbyint(v);   // ties to even: 98.5 -> 98, 99.5 -> 100
    // Below the 16-bit range the conversion would overflow; such a file is far smaller than any
    // real JPEG of its size, and the lowest quality is the sound answer.
    if (rounded < 1)
        return 1;
    if (rounded > 100)
        return 100;
    return std::int16_t(rounded);
}

std::int16_t estimateJpegQuality(const WorkSurface& surface, const std::string& file)
{
    // The picture's size as the platform reports it for a decoded file: the file's pixel size,
    // as single-precision values.
    const float width = float(surface.picture().sourceWidth());
    const float height = float(surface.picture().sourceHeight());
    std::error_code ec;
    const std::filesystem::path path(file);
    const auto status = std::filesystem::status(path, ec);
    if (file.empty() || status.type() == std::filesystem::file_type::not_found)
        throw RuntimeError(errnum::FileNotFound, "File not found");
    const std::uintmax_t length = std::filesystem::file_size(path, ec);
    if (ec)
        throw RuntimeError(errnum::FileAccessError, "Path/File access error");
    return estimateJpegQuality(double(width), double(height), std::uint64_t(length));
}

void savePictureAsJpeg(const Picture& picture, const std::string& file, std::uint8_t quality)
{
    // The platform encoder answers a status; ours are on its scale: no picture is an invalid
    // parameter, a file that cannot be created or written a Win32 error.
    int status = 0;
    const Bitmap& bitmap = picture.bitmap();
    if (bitmap.empty())
        status = jpegstatus::InvalidParameter;
    else if (!encodeJpeg(bitmap, file, quality, picture.colourProfile().iccBytes()))
        status = jpegstatus::Win32Error;
    if (status != 0)
        throw RuntimeError(errnum::CannotSaveImage, "Cannot save the image. GDI+ Error:" + std::to_string(status));
}

}  // namespace vantorell
