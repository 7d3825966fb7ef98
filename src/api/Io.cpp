#include "api/Convert.h"
#include "job/JpegOutput.h"
#include "platform/PictureLoader.h"
#include "vantorell/io.h"

#include <zlib.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace vantorell::api {

Image loadImage(const std::string& path, const LoadOptions& options)
{
    return detail::translatingErrors([&] {
        const Picture picture = loadPicture(path, DecodeRequest{options.coverWidth, options.coverHeight});
        return detail::fromBitmap(picture.bitmap(), options.format);
    });
}

namespace {

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(value >> shift));
}

void appendChunk(std::vector<std::uint8_t>& out, const char (&type)[5], const std::vector<std::uint8_t>& data)
{
    appendBigEndian(out, std::uint32_t(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + typeAt, uInt(4 + data.size()));
    appendBigEndian(out, std::uint32_t(crc));
}

// An 8-bit RGB PNG, no interlace, every row filtered "none" and deflated at level 6.
std::vector<std::uint8_t> encodePng(const Image& image)
{
    const Image rgb = image.format() == PixelFormat::Rgb24 ? image : image.converted(PixelFormat::Rgb24);
    const std::size_t rowBytes = std::size_t(rgb.width()) * 3;
    std::vector<std::uint8_t> raw;
    raw.reserve((rowBytes + 1) * std::size_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.row(y), rgb.row(y) + rowBytes);
    }
    uLongf deflatedSize = compressBound(uLong(raw.size()));
    std::vector<std::uint8_t> deflated(deflatedSize);
    if (compress2(deflated.data(), &deflatedSize, raw.data(), uLong(raw.size()), 6) != Z_OK)
        throw Error(ErrorCode::Failed, "the PNG's pixels could not be compressed");
    deflated.resize(deflatedSize);

    std::vector<std::uint8_t> header;
    appendBigEndian(header, std::uint32_t(rgb.width()));
    appendBigEndian(header, std::uint32_t(rgb.height()));
    header.insert(header.end(), {8, 2, 0, 0, 0});   // depth 8, RGB, deflate, no filter choice, no interlace
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", deflated);
    appendChunk(png, "IEND", {});
    return png;
}

void writeWhole(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file)
        throw Error(ErrorCode::WriteFailed, path + " could not be written: " + std::strerror(errno));
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() || std::fflush(file.get()) != 0)
        throw Error(ErrorCode::WriteFailed, path + " could not be written: " + std::strerror(errno));
}

bool hasPngExtension(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string extension = path.substr(path.size() - 4);
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".png";
}

}  // namespace

void saveImage(const Image& image, const std::string& path, const SaveOptions& options)
{
    if (image.empty())
        detail::invalid("the image to save is empty");
    const bool png = options.format == FileFormat::Png ||
                     (options.format == FileFormat::FromExtension && hasPngExtension(path));
    if (png)
        return writeWhole(path, encodePng(image));
    if (options.jpegQuality < 1 || options.jpegQuality > 100)
        detail::invalid("the JPEG quality must be 1 to 100");
    const Picture picture = detail::toPicture(image, "the image to save");
    detail::translatingErrors([&] { savePictureAsJpeg(picture, path, std::uint8_t(options.jpegQuality)); });
}

}  // namespace vantorell::api
