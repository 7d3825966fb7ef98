// Reading and writing picture files.
#pragma once

#include "vantorell/image.h"

#include <string>

namespace vantorell::api {

struct LoadOptions {
    PixelFormat format = PixelFormat::Rgb24;
    // When both are above 0, a JPEG may decode at 1/2, 1/4 or 1/8 scale as long as it still
    // covers coverWidth x coverHeight (a Blend job decodes so for its canvas).
    int coverWidth = 0;
    int coverHeight = 0;
};

// Any picture the program reads: JPEG through libjpeg-turbo, upright as its EXIF orientation
// says; BMP, PNG, GIF (the first frame), WebP, TIFF through Qt's image readers, whose module
// (libvantorell_qtimage.so) is loaded the first time such a picture is read. The numbers are
// the file's own: a colour profile is not applied. Throws Error (FileNotFound, FileUnreadable,
// InvalidPicture, TooLarge).
VANTORELL_API Image loadImage(const std::string& path, const LoadOptions& options = {});

enum class FileFormat { FromExtension, Png, Jpeg };

struct SaveOptions {
    FileFormat format = FileFormat::FromExtension;   // ".png" is PNG, anything else JPEG
    int jpegQuality = 85;                             // 1 .. 100
};

// Writes the image as an 8-bit RGB PNG or a baseline JPEG (the jobs' own JPEG writer),
// replacing a file of that name. Throws Error (InvalidArgument, WriteFailed).
VANTORELL_API void saveImage(const Image& image, const std::string& path, const SaveOptions& options = {});

}  // namespace vantorell::api
